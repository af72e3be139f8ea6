// Actions 2 to 5 run as the built program against a real headless Chromium;
// the browser is inspected afterwards to see that the action happened.
#include <gtest/gtest.h>

#include <memory>

#include "json/json_document.h"
#include "tests/support/browser.h"
#include "tests/support/run_program.h"

namespace tarnvex::testing {
namespace {

struct Target {
  std::string id;
  std::string url;
};

// The page targets of /json/list, in the browser's order.
std::vector<Target> Pages(const Browser& browser) {
  json::TJsonArray list;
  list.FromUtf8JSON(browser.ListTargets());
  std::vector<Target> pages;
  for (int i = 0; i < list.Count(); ++i) {
    const json::TJsonObject* target = list.GetObject(i);
    if (target->GetString("type") == "page") pages.push_back({target->GetString("id"), target->GetString("url")});
  }
  return pages;
}

bool HasPage(const Browser& browser, const std::string& id) {
  for (const Target& page : Pages(browser)) {
    if (page.id == id) return true;
  }
  return false;
}

class DevToolsActions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fixtures_ = std::make_unique<FixtureServer>();
    fixtures_->Add("/title.html", "<!doctype html><title>\xc3\xa9 &quot;q&quot; a/b</title><p>t</p>");
    fixtures_->Add("/a.html", "<!doctype html><title>A</title>");
    fixtures_->Add("/b.html", "<!doctype html><title>B</title>");
  }
  static void TearDownTestSuite() { fixtures_.reset(); }

  // Runs one request against this test's browser; `members` are added to
  // api, profileId, port and logfile.
  ProgramRun Act(int api, const std::string& members, const std::string& logfile = "@LOG@") {
    std::remove(dir_.File("response.json").c_str());
    return RunRequest(dir_, "{\"api\":" + std::to_string(api) + ",\"profileId\":\"p\",\"port\":" +
                                std::to_string(browser_.port()) + ",\"logfile\":\"" + logfile + "\"" +
                                members + "}");
  }
  ProgramRun Evaluate(const std::string& expression) { return Act(2, ",\"args\":" + JsonQuote(expression)); }
  // Navigates the first page and waits until the browser lists the URL.
  void Navigate(const std::string& url) {
    Act(4, ",\"args\":" + JsonQuote(url));
    ASSERT_TRUE(WaitUntil([&] { return Pages(browser_).front().url == url; })) << browser_.ListTargets();
    ASSERT_TRUE(WaitUntil([&] { return Evaluate("document.readyState").response == R"({"value":"complete","drv_pid":0})"; }));
  }

  static std::unique_ptr<FixtureServer> fixtures_;
  TempDir dir_;
  Browser browser_;
};

std::unique_ptr<FixtureServer> DevToolsActions::fixtures_;

TEST_F(DevToolsActions, EvaluateReportsTheValueAsText) {
  const std::pair<std::string, std::string> cases[] = {
      {"1+1", R"({"value":"2","drv_pid":0})"},
      {"null", R"({"value":"","drv_pid":0})"},
      {"document.readyState", R"({"value":"complete","drv_pid":0})"},
      {"'q\"b\\\\s\\nl \xc3\xa9'", "{\"value\":\"q\\\"b\\\\s\\nl \xc3\xa9\",\"drv_pid\":0}"},
  };
  for (const auto& [expression, response] : cases) {
    const ProgramRun run = Evaluate(expression);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.response, response) << expression;
  }
}

TEST_F(DevToolsActions, EvaluateWithoutValueReportsTheWholeReply) {
  const ProgramRun undefined_run = Evaluate("undefined");
  EXPECT_EQ(undefined_run.response,
            R"({"value":"{\"id\":1,\"result\":{\"result\":{\"type\":\"undefined\"}}}","drv_pid":0})");
  const ProgramRun thrown = Evaluate("(() => { throw new Error('boom') })()");
  ASSERT_TRUE(thrown.response);
  EXPECT_EQ(thrown.response->rfind(R"({"value":"{\"id\":1,\"result\":{\"result\":{\"type\":\"object\")", 0), 0u)
      << *thrown.response;
  EXPECT_NE(thrown.response->find("exceptionDetails"), std::string::npos) << *thrown.response;
  EXPECT_NE(thrown.response->find("boom"), std::string::npos) << *thrown.response;
}

TEST_F(DevToolsActions, EvaluateWithEmptyLogfileStillRuns) {
  Act(2, R"(,"args":"window.touched = 'yes'")", "");
  EXPECT_FALSE(PathExists(dir_.File("response.json")));
  EXPECT_EQ(Evaluate("window.touched").response, R"({"value":"yes","drv_pid":0})");
}

TEST_F(DevToolsActions, PageStateOfABlankPage) {
  EXPECT_EQ(Act(3, "").response,
            R"({"value":"{\"success\":true,\"title\":\"\",\"baseURI\":\"about:blank\",\"ReadyState\":\"complete\"}","drv_pid":0})");
}

TEST_F(DevToolsActions, PageStateEscapesTheTitleTwice) {
  const std::string url = fixtures_->Url("/title.html");
  Navigate(url);
  std::string base = url;  // http://127.0.0.1:N/title.html, its slashes escaped twice
  for (size_t at = base.find('/'); at != std::string::npos; at = base.find('/', at + 3)) base.replace(at, 1, "\\\\/");
  EXPECT_EQ(Act(3, "").response, R"({"value":"{\"success\":true,\"title\":\"\\u00e9 \\\"q\\\" a\\/b\",\"baseURI\":\")" +
                                     base + R"(\",\"ReadyState\":\"complete\"}","drv_pid":0})");
}

TEST_F(DevToolsActions, NavigateOpensABareAddressOverHttp) {
  const std::string url = fixtures_->Url("/a.html");
  const std::string bare = url.substr(std::string("http://").size());
  const ProgramRun run = Act(4, ",\"args\":" + JsonQuote(bare));
  EXPECT_EQ(run.response, R"({"value":"","drv_pid":0})");
  EXPECT_TRUE(WaitUntil([&] { return Pages(browser_).front().url == url; })) << browser_.ListTargets();
  EXPECT_TRUE(WaitUntil([&] { return fixtures_->Hits("/a.html") >= 1; }));
}

TEST_F(DevToolsActions, NavigateWithClickOpensANewTabAndLeavesTheFirstPage) {
  const Target first = Pages(browser_).front();
  const std::string url = fixtures_->Url("/b.html");
  Act(4, ",\"args\":" + JsonQuote(url) + ",\"click\":true");
  EXPECT_TRUE(WaitUntil([&] {
    const auto pages = Pages(browser_);
    return pages.size() == 2 && (pages[0].url == url || pages[1].url == url);
  })) << browser_.ListTargets();
  for (const Target& page : Pages(browser_)) {
    if (page.id == first.id) EXPECT_EQ(page.url, first.url);
  }
  EXPECT_TRUE(HasPage(browser_, first.id));
}

TEST_F(DevToolsActions, CloseRemovesTheTab) {
  json::TJsonObject tab;
  tab.FromUtf8JSON(browser_.NewTab(fixtures_->Url("/a.html")));
  const std::string id = tab.GetString("id");
  ASSERT_TRUE(HasPage(browser_, id));
  EXPECT_EQ(Act(5, ",\"args\":" + JsonQuote(id) + ",\"click\":true").response, R"({"status":"OK","value":"p"})");
  EXPECT_TRUE(WaitUntil([&] { return !HasPage(browser_, id); })) << browser_.ListTargets();
}

TEST_F(DevToolsActions, CloseWithEmptyLogfileStillActs) {
  json::TJsonObject tab;
  tab.FromUtf8JSON(browser_.NewTab(fixtures_->Url("/b.html")));
  const std::string id = tab.GetString("id");
  Act(5, ",\"args\":" + JsonQuote(id) + ",\"click\":true", "");
  EXPECT_TRUE(WaitUntil([&] { return !HasPage(browser_, id); })) << browser_.ListTargets();
  EXPECT_FALSE(PathExists(dir_.File("response.json")));
}

TEST_F(DevToolsActions, BringToFrontAnswersOkAndUnknownTabsError) {
  const std::string id = Pages(browser_).front().id;
  EXPECT_EQ(Act(5, ",\"args\":" + JsonQuote(id)).response, R"({"status":"OK","value":"p"})");
  EXPECT_EQ(Act(5, "").response, R"({"status":"OK","value":"p"})");  // the first page itself
  EXPECT_TRUE(HasPage(browser_, id));
  EXPECT_EQ(Act(5, R"(,"args":"0123456789ABCDEF0123456789ABCDEF")").response, R"({"status":"ERROR","value":"p"})");
  EXPECT_EQ(Act(5, R"(,"args":"../browser")").response, R"({"status":"ERROR","value":"p"})");
}

}  // namespace
}  // namespace tarnvex::testing
