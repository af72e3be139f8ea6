// Action 1 run as the built program against a real headless Chromium and the
// real chromedriver. The fixture page reports what happens in it (clicks,
// typed values, script effects) to the fixture server, so every effect is
// seen from outside the program; a logging stand-in for chromedriver shows
// the exact requests where the page cannot.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "json/json_document.h"
#include "tests/support/browser.h"
#include "tests/support/run_program.h"
#include "tests/support/xvfb.h"
#include "webdriver/png_decoder.h"

namespace tarnvex::testing {
namespace {

constexpr const char* kRefKey = "element-6066-11e4-a52e-4f735466cecf";
// Marks every process these tests start, so leftovers can be found in /proc.
constexpr const char* kMarker = "TARNVEX_ACTION1_E2E";

const char* const kPage = R"html(<!doctype html><html><head><title>Fixture</title>
<script>
function report(name, value) { fetch('/report/' + name + '/' + encodeURIComponent(value)); }
</script></head><body>
<div id="main" class="box" data-x="7">action one fixture</div>
<button id="b1" class="btn" name="nb" onclick="report('click', 'b1')">Press</button>
<a id="l1" class="lnk" href="#" onclick="report('click', 'l1'); return false">First link</a>
<a id="l2" class="lnk" href="#" onclick="report('click', 'l2'); return false">Second link</a>
<a id="l3" class="lnk" href="#" onclick="report('click', 'l3'); return false">Third link</a>
<a id="l4" class="lnk" href="#" onclick="report('click', 'l4'); return false">Fourth link</a>
<a id="l5" class="lnk" href="#" onclick="report('click', 'l5'); return false">Fifth link</a>
<input id="name" name="who" oninput="report('name', this.value)">
<textarea id="t" oninput="report('t', this.value)"></textarea>
<iframe id="frame" src="/inner.html"></iframe>
</body></html>)html";

// JavaScript's encodeURIComponent, to find what the page reported.
std::string EncodeUriComponent(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    if (std::isalnum(c) || std::string_view("-_.!~*'()").find(static_cast<char>(c)) != std::string_view::npos) {
      out += static_cast<char>(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      out += escape;
    }
  }
  return out;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Processes carrying the marker whose command line names chromedriver.
std::vector<std::string> MarkedDrivers() {
  std::vector<std::string> found;
  const std::string marker = std::string(kMarker) + "=" + std::to_string(::getpid());
  DIR* proc = ::opendir("/proc");
  while (dirent* entry = proc ? ::readdir(proc) : nullptr) {
    const std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string cmdline = Slurp("/proc/" + pid + "/cmdline");
    const std::string environ = Slurp("/proc/" + pid + "/environ");
    if (cmdline.find("chromedriver") == std::string::npos || environ.find(marker) == std::string::npos) continue;
    if (!ProcessAlive(std::stoi(pid))) continue;
    for (char& c : cmdline) c = c == '\0' ? ' ' : c;
    found.push_back(pid + ": " + cmdline);
  }
  if (proc) ::closedir(proc);
  return found;
}

struct Response {
  std::string value;
  int drv_pid = 0;
};

class Action1 : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::setenv(kMarker, std::to_string(::getpid()).c_str(), 1);
    browser_ = std::make_unique<Browser>();
    site_ = std::make_unique<FixtureServer>();
    site_->Add("/page.html", kPage);
    site_->Add("/inner.html", "<!doctype html><p id='inner'>inside the frame</p>");
    site_->Add("/target.html", "<!doctype html><title>Target</title>");
  }
  static void TearDownTestSuite() {
    site_.reset();
    browser_.reset();
    EXPECT_EQ(MarkedDrivers(), std::vector<std::string>{}) << "chromedriver left behind";
  }

  void SetUp() override { Open("/page.html"); }

  // One action-1 run; `members` are added to the request as they are.
  ProgramRun Run(const std::string& function, const std::string& args, const std::string& members = "",
                 const std::string& chrome = "/usr/bin/chromium") {
    std::remove(dir_.File("response.json").c_str());
    const ProgramRun run = RunRequest(
        dir_, "{\"api\":1,\"profileId\":\"p1\",\"port\":" + std::to_string(browser_->port()) +
                  ",\"function\":" + JsonQuote(function) + ",\"args\":" + JsonQuote(args) +
                  ",\"chrome\":" + JsonQuote(chrome) + ",\"logfile\":\"@LOG@\"" + members + "}");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, "");
    return run;
  }

  // The final response of a run; its server must be gone.
  Response Final(const ProgramRun& run) {
    Response response;
    if (!run.response) {
      ADD_FAILURE() << "no response file";
      return response;
    }
    json::TJsonObject object;
    object.FromUtf8JSON(*run.response);
    response.value = object.GetString("value");
    response.drv_pid = object.GetInt("drv_pid");
    EXPECT_GT(response.drv_pid, 0) << *run.response;
    EXPECT_FALSE(ProcessAlive(response.drv_pid)) << "chromedriver still runs";
    return response;
  }

  std::string Value(const std::string& function, const std::string& args, const std::string& members = "") {
    return Final(Run(function, args, members)).value;
  }

  // Loads a fixture page in the first tab; the navigation waits for the load.
  void Open(const std::string& path) {
    ASSERT_EQ(Value("click", site_->Url(path)), site_->Url(path));
  }

  int Hits(const std::string& path) const { return site_->Hits(path); }
  // Whether the page reported `value` under `name` (within a few seconds).
  bool Reported(const std::string& name, const std::string& value) const {
    const std::string path = "/report/" + name + "/" + EncodeUriComponent(value);
    return WaitUntil([&] { return site_->Hits(path) > 0; }, 5000);
  }
  // Clicks reported per link since `before`.
  std::vector<int> LinkClicks(const std::vector<int>& before = {0, 0, 0, 0, 0}) const {
    std::vector<int> clicks;
    for (int i = 1; i <= 5; ++i) clicks.push_back(Hits("/report/click/l" + std::to_string(i)) - before[i - 1]);
    return clicks;
  }

  static std::unique_ptr<Browser> browser_;
  static std::unique_ptr<FixtureServer> site_;
  TempDir dir_;
};

std::unique_ptr<Browser> Action1::browser_;
std::unique_ptr<FixtureServer> Action1::site_;

bool IsReference(const std::string& text) {
  json::TJsonObject reference;
  reference.FromUtf8JSON(text);
  return reference.Count() == 1 && reference.Names(0) == kRefKey && !reference.GetString(kRefKey).empty();
}

TEST_F(Action1, SourceGivesThePageSource) {
  const std::string source = Value("source", "");
  EXPECT_NE(source.find("<div id=\"main\" class=\"box\" data-x=\"7\">action one fixture</div>"), std::string::npos)
      << source;
  EXPECT_NE(source.find("<textarea id=\"t\""), std::string::npos);
}

TEST_F(Action1, RefreshReloadsThePageAndEchoesArgs) {
  const int loads = Hits("/page.html");
  EXPECT_EQ(Value("refresh", "kept"), "kept");
  EXPECT_TRUE(WaitUntil([&] { return Hits("/page.html") == loads + 1; }));
}

TEST_F(Action1, OpenUrlPrefixesABareAddressAndNavigates) {
  const std::string bare = "127.0.0.1:" + std::to_string(site_->port()) + "/target.html";
  const int loads = Hits("/target.html");
  EXPECT_EQ(Value("openurl", bare), "http://" + bare);
  EXPECT_EQ(Hits("/target.html"), loads + 1);
  EXPECT_NE(browser_->ListTargets().find("\"url\": \"http://" + bare + "\""), std::string::npos);
}

struct FindCase {
  std::string function;
  std::string locator;
  std::string clicked;  // the element whose click the page reports
};

TEST_F(Action1, EachSingleFindGivesTheReferenceAndClicksOnRequest) {
  const FindCase cases[] = {
      {"findElementByID", "b1", "b1"},
      {"findElementByClassName", "btn", "b1"},
      {"findElementByName", "nb", "b1"},
      {"findElementByLinkText", "Third link", "l3"},
      {"findElementByXPath", "//a[@id='l2']", "l2"},
      // Not a frame: the frame switch fails and the click still lands.
      {"findElementByTag", "button", "b1"},
  };
  for (const FindCase& c : cases) {
    const std::string clicks = "/report/click/" + c.clicked;
    const int before = Hits(clicks);
    EXPECT_TRUE(IsReference(Value(c.function, c.locator))) << c.function;
    EXPECT_TRUE(IsReference(Value(c.function, c.locator, ",\"click\":true"))) << c.function;
    EXPECT_TRUE(WaitUntil([&] { return Hits(clicks) == before + 1; }, 5000)) << c.function;
  }
  EXPECT_EQ(Value("findElementByID", "missing", ",\"click\":true"), "");
}

struct ListCase {
  std::string function;
  std::string locator;
  int index;
  size_t found;
  std::vector<int> clicks;
};

TEST_F(Action1, ListFindsGiveEveryReferenceAndClickTheIndexedOne) {
  const ListCase cases[] = {
      {"findElementsByTag", "a", 3, 5, {0, 0, 0, 1, 0}},
      {"findElementsByClassName", "lnk", 2, 5, {0, 0, 1, 0, 0}},
      {"findElementsByID", "l4", 0, 1, {0, 0, 0, 1, 0}},
      {"findElementsByLinkText", "Fifth link", 0, 1, {0, 0, 0, 0, 1}},
      {"findElementsByXPath", "//a", 1, 5, {0, 1, 0, 0, 0}},
  };
  for (const ListCase& c : cases) {
    const std::vector<int> before = LinkClicks();
    const std::string value =
        Value(c.function, c.locator, ",\"click\":true,\"index\":" + std::to_string(c.index));
    json::TJsonArray list;
    list.FromUtf8JSON(value);
    ASSERT_EQ(static_cast<size_t>(list.Count()), c.found) << c.function << " " << value;
    for (int i = 0; i < list.Count(); ++i) EXPECT_TRUE(IsReference(list.GetObject(i)->ToJSON()));
    std::vector<int> expected_total = before;
    for (size_t i = 0; i < 5; ++i) expected_total[i] += c.clicks[i];
    EXPECT_TRUE(WaitUntil([&] { return LinkClicks() == expected_total; }, 5000)) << c.function;
  }
}

TEST_F(Action1, IndexMinusOneClicksOneLinkAtRandomAndSevenNone) {
  const std::vector<int> before = LinkClicks();
  EXPECT_NE(Value("findElementsByTag", "a", ",\"click\":true,\"index\":-1"), "");
  auto total = [&] {
    int sum = 0;
    for (const int n : LinkClicks(before)) sum += n;
    return sum;
  };
  EXPECT_TRUE(WaitUntil([&] { return total() == 1; }, 5000));
  const std::vector<int> after_random = LinkClicks();
  EXPECT_NE(Value("findElementsByTag", "a", ",\"click\":true,\"index\":7"), "");
  // The next click would have been reported by now: the run clicks before it
  // writes its final response.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(LinkClicks(), after_random);
}

TEST_F(Action1, SendKeysTypesIntoTheInputAndAnswersEmpty) {
  json::TJsonObject reference;
  reference.FromUtf8JSON(Value("findElementByID", "name"));
  const std::string element_id = reference.GetString(kRefKey);
  ASSERT_FALSE(element_id.empty());
  EXPECT_EQ(Value("sendKeys", element_id, ",\"args2\":\"hello \xc3\xa9\""), "");
  EXPECT_TRUE(Reported("name", "hello \xc3\xa9"));
}

TEST_F(Action1, ExecuteScriptChangesThePageAndEchoesTheScript) {
  const std::string script = "report('script', document.title + ' ran')";
  EXPECT_EQ(Value("ExecuteScript", script), script);
  EXPECT_TRUE(Reported("script", "Fixture ran"));
}

TEST_F(Action1, GetAttributeReadsPropertiesOrAttributesByCssOrXPath) {
  const std::pair<std::string, std::string> cases[] = {
      {R"(["#l1","id"])", "l1"},
      {R"(["//input[@id='name']","name"])", "who"},
      {R"(["(//a)[2]","textContent"])", "Second link"},
      {R"(["#main","data-x"])", "7"},  // an attribute only
      {R"(["#b1","disabled"])", "false"},
      {R"(["#l1","tabIndex"])", "0"},
      {R"(["#main","nothing"])", ""},
      {R"(["#missing","id"])", ""},
      {R"(["//nothing","id"])", ""},
      {R"(["[broken","id"])", ""},
      {"not an array", "not an array"},
  };
  for (const auto& [args, expected] : cases) EXPECT_EQ(Value("getAttribute", args), expected) << args;
}

TEST_F(Action1, ScreenShotReplacesAReadOnlyFileWithAPng) {
  const std::string path = dir_.File("shot.png");
  WriteFile(path, "old content");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  EXPECT_EQ(Value("ScreenShot", path), path);
  const std::string png = ReadFile(path);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  const webdriver::TBitmap image =
      webdriver::DecodePng({reinterpret_cast<const uint8_t*>(png.data()), png.size()});
  EXPECT_GT(image.Width(), 100);
  EXPECT_GT(image.Height(), 100);
}

// The requests that a logging stand-in for chromedriver saw.
class Action1Requests : public Action1 {
 protected:
  Action1Requests() {
    const std::string proxy = std::string(TARNVEX_SOURCE_DIR) + "/tests/e2e/action1_chromedriver_proxy.py";
    WriteFile(proxy_dir_.File("chromedriver"), ReadFile(proxy));
    ::chmod(proxy_dir_.File("chromedriver").c_str(), 0755);
  }

  // Runs through the stand-in; returns the final value.
  std::string ValueLogged(const std::string& function, const std::string& args, const std::string& members = "") {
    std::remove(proxy_dir_.File("requests.log").c_str());
    return Final(Run(function, args, members, proxy_dir_.File("chromium"))).value;
  }

  // "METHOD path" of each request after the session and tab set-up, with
  // the session id left out.
  std::vector<json::TJsonObject*> Logged() {
    logged_.clear();
    std::istringstream lines(ReadFile(proxy_dir_.File("requests.log")));
    for (std::string line; std::getline(lines, line);) {
      auto entry = std::make_unique<json::TJsonObject>();
      entry->FromUtf8JSON(line);
      const std::string path = entry->GetString("path");
      const bool setup = path == "/status" || path == "/session" || path.ends_with("/window");
      if (!setup) logged_.push_back(std::move(entry));
    }
    std::vector<json::TJsonObject*> entries;
    for (const auto& entry : logged_) entries.push_back(entry.get());
    return entries;
  }

  TempDir proxy_dir_;
  std::vector<std::unique_ptr<json::TJsonObject>> logged_;
};

TEST_F(Action1Requests, UnknownNamesAndAnEmptyScriptSendNothing) {
  const std::string bare = "127.0.0.1:" + std::to_string(site_->port()) + "/target.html";
  EXPECT_EQ(ValueLogged("OpenUrl", bare), bare);
  EXPECT_TRUE(Logged().empty());
  EXPECT_EQ(ValueLogged("ExecuteScript", ""), "");
  EXPECT_TRUE(Logged().empty());
}

TEST_F(Action1Requests, ClickSendsTheTextUnchanged) {
  const std::string bare = "127.0.0.1:" + std::to_string(site_->port()) + "/target.html";
  EXPECT_EQ(ValueLogged("click", bare), bare);
  const auto logged = Logged();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_TRUE(logged[0]->GetString("path").ends_with("/url"));
  EXPECT_NE(logged[0]->GetString("body").find("\"url\":\"" + bare + "\""), std::string::npos);
}

TEST_F(Action1Requests, TheSessionIsAttachedToTheFirstPageTab) {
  ValueLogged("source", "");
  std::istringstream lines(ReadFile(proxy_dir_.File("requests.log")));
  std::vector<std::string> paths;
  std::vector<int> statuses;
  for (std::string line; std::getline(lines, line);) {
    json::TJsonObject entry;
    entry.FromUtf8JSON(line);
    paths.push_back(entry.GetString("method") + " " + entry.GetString("path"));
    statuses.push_back(entry.GetInt("status"));
  }
  ASSERT_GE(paths.size(), 4u);
  EXPECT_EQ(paths[0], "GET /status");
  EXPECT_EQ(paths[1], "POST /session");
  EXPECT_TRUE(paths[2].ends_with("/window")) << paths[2];
  EXPECT_TRUE(paths[3].ends_with("/source")) << paths[3];
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(statuses[i], 200) << paths[i];
}

TEST_F(Action1Requests, AFoundIframeIsEnteredBeforeTheClick) {
  EXPECT_TRUE(IsReference(ValueLogged("findElementByTag", "iframe", ",\"click\":true")));
  const auto logged = Logged();
  ASSERT_GE(logged.size(), 2u);
  EXPECT_TRUE(logged[0]->GetString("path").ends_with("/element"));
  EXPECT_TRUE(logged[1]->GetString("path").ends_with("/frame"));
  EXPECT_EQ(logged[1]->GetInt("status"), 200) << logged[1]->GetString("reply");
  EXPECT_EQ(logged[1]->GetString("reply"), R"({"value":null})");
}

// "paste" under a virtual X display with xclip.
class Action1Paste : public Action1 {
 protected:
  void SetUp() override {
    if (!x_.available()) GTEST_SKIP() << "no Xvfb or xclip";
    ::setenv("DISPLAY", x_.name().c_str(), 1);
    Action1::SetUp();
  }
  void TearDown() override { ::unsetenv("DISPLAY"); }

  VirtualDisplay x_;
};

TEST_F(Action1Paste, TypesTheClipboardIntoTheFocusedTextareaAndEmptiesIt) {
  Value("ExecuteScript", "document.getElementById('t').focus()");
  x_.SetClipboard("ab\r\nc");
  EXPECT_EQ(Value("paste", "kept", ",\"sleep\":0"), "kept");
  EXPECT_TRUE(Reported("t", "ab\nc"));
  EXPECT_EQ(x_.Clipboard(), "");
}

TEST_F(Action1Paste, WithoutAFocusedElementTheClipboardKeepsItsText) {
  Value("ExecuteScript", "document.documentElement.remove()");
  x_.SetClipboard("keep me");
  Value("paste", "");
  EXPECT_EQ(x_.Clipboard(), "keep me");
}

TEST_F(Action1Paste, ARunCutOffByTheTimeLimitStopsItsServer) {
  Value("ExecuteScript", "document.getElementById('t').focus()");
  x_.SetClipboard("xyz");
  // The first key, then a pause far beyond the program's limit.
  const ProgramRun run = Run("paste", "", ",\"sleep\":60000");
  ASSERT_TRUE(run.response);
  json::TJsonObject response;
  response.FromUtf8JSON(*run.response);
  EXPECT_EQ(response.GetString("value"), "");
  EXPECT_FALSE(ProcessAlive(response.GetInt("drv_pid")));
  EXPECT_TRUE(Reported("t", "x"));
}

TEST_F(Action1, NoBrowserPortOrNoChromedriverWritesAndStartsNothing) {
  TempDir empty;
  const std::string port = std::to_string(browser_->port());
  const std::string cases[] = {
      R"({"port":0,"chrome":"/usr/bin/chromium")",
      R"({"port":-1,"chrome":"/usr/bin/chromium")",
      R"({"port":)" + port + R"(,"chrome":")" + empty.File("chromium") + "\"",
  };
  for (const std::string& start : cases) {
    std::remove(dir_.File("response.json").c_str());
    const ProgramRun run =
        RunRequest(dir_, start + R"(,"api":1,"profileId":"p1","function":"source","logfile":"@LOG@"})");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_FALSE(run.response) << start;
    EXPECT_EQ(MarkedDrivers(), std::vector<std::string>{}) << start;
  }
}

TEST_F(Action1, AnUnwritableLogfileEndsTheRunWithoutLeavingItsServer) {
  const ProgramRun run = RunRequest(dir_, R"({"api":1,"profileId":"p1","port":)" + std::to_string(browser_->port()) +
                                              R"(,"chrome":"/usr/bin/chromium","function":"source",)"
                                              R"("logfile":"/nonexistent-folder/r.json"})");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(MarkedDrivers(), std::vector<std::string>{});
}

TEST_F(Action1, AnEmptyLogfileStillRunsTheFunction) {
  const int loads = Hits("/target.html");
  RunRequest(dir_, R"({"api":1,"profileId":"p1","port":)" + std::to_string(browser_->port()) +
                       R"(,"chrome":"/usr/bin/chromium","function":"click","args":")" + site_->Url("/target.html") +
                       R"(","logfile":""})");
  EXPECT_EQ(Hits("/target.html"), loads + 1);
  EXPECT_EQ(MarkedDrivers(), std::vector<std::string>{});
}

TEST_F(Action1, ABrowserThatIsNotListeningStillGetsBothResponses) {
  std::remove(dir_.File("response.json").c_str());
  const ProgramRun run = RunRequest(dir_, "{\"api\":1,\"profileId\":\"p1\",\"port\":" + std::to_string(FreePort()) +
                                              ",\"function\":\"openurl\",\"args\":\"x.test\","
                                              "\"chrome\":\"/usr/bin/chromium\",\"logfile\":\"@LOG@\"}");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(Final(run).value, "http://x.test");
}

}  // namespace
}  // namespace tarnvex::testing
