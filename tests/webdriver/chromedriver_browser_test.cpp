// The WebDriver client against the real chromedriver, attached through
// debuggerAddress to a headless Chromium that the harness started.
#include <gtest/gtest.h>

#include <memory>

#include "json/json_document.h"
#include "platform/files.h"
#include "tests/support/browser.h"
#include "tests/support/process.h"
#include "webdriver/chrome_driver.h"
#include "webdriver/image.h"

namespace tarnvex::webdriver {
namespace {

using tarnvex::testing::Browser;
using tarnvex::testing::FixtureServer;
using tarnvex::testing::FreePort;
using tarnvex::testing::ProcessAlive;
using tarnvex::testing::TempDir;
using tarnvex::testing::WaitUntil;

constexpr const char* kMainPage = R"(<!doctype html>
<html><head><title>main</title>
<style>body{margin:0} #red{position:absolute;left:20px;top:30px;width:50px;height:40px;background:rgb(255,0,0)}</style>
</head><body>
<div id="red"></div>
<div style="position:absolute;top:100px">
<p id="para" class="note">para</p>
<input id="box" name="q" type="text">
<textarea id="area"></textarea>
<button id="go" onclick="document.title='clicked'">go</button>
<a href="#one" class="link">first link</a> <a href="#two" class="link">second link</a>
<iframe id="frame" name="framename" src="/frame.html" width="200" height="100"></iframe>
</div>
</body></html>)";

constexpr const char* kFramePage = R"(<!doctype html><html><body><p id="inner">inside</p></body></html>)";

// One browser and one fixture site for the whole suite; a fresh chromedriver
// and session for every test.
class ChromeDriverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fixtures_ = new FixtureServer();
    fixtures_->Add("/main.html", kMainPage);
    fixtures_->Add("/frame.html", kFramePage);
    fixtures_->Add("/second.html", "<!doctype html><title>second</title><p id='s'>second</p>");
    browser_ = new Browser();
  }
  static void TearDownTestSuite() {
    delete browser_;
    delete fixtures_;
  }

  void SetUp() override {
    driver_->SetPort(FreePort());
    driver_->StartDriver("/usr/bin/chromedriver", "");
    driver_pid_ = static_cast<pid_t>(driver_->GetDriverPID());
    ASSERT_GT(driver_pid_, 0);
    ASSERT_TRUE(driver_->WaitForServer(10000));
    const std::string session = driver_->NewSession(
        "\"debuggerAddress\":\"127.0.0.1:" + std::to_string(browser_->port()) + "\"");
    ASSERT_FALSE(session.empty()) << driver_->ErrorMessage();
    ASSERT_TRUE(driver_->W3C());
    ASSERT_EQ(driver_->SessionID(), session);
    driver_->SwitchToTab(FirstPageId());
    ASSERT_FALSE(driver_->HasError()) << driver_->ErrorMessage();
    driver_->GetURL(fixtures_->Url("/main.html"), true);
    ASSERT_FALSE(driver_->HasError()) << driver_->ErrorMessage();
  }

  void TearDown() override {
    driver_.reset();
    EXPECT_FALSE(ProcessAlive(driver_pid_)) << "chromedriver left behind";
    EXPECT_TRUE(ProcessAlive(browser_->pid())) << "the browser must keep running";
  }

  // The DevTools id of the first target of a kind in /json/list.
  static std::string FirstPageId() {
    json::TJsonArray targets;
    targets.FromJSON(std::string_view(browser_->ListTargets()));
    for (int i = 0; i < targets.Count(); ++i) {
      if (targets.GetObject(i)->GetString("type") == "page") return targets.GetObject(i)->GetString("id");
    }
    return {};
  }

  std::string Script(const std::string& script) { return driver_->ExecuteScript(script, "[]"); }

  static FixtureServer* fixtures_;
  static Browser* browser_;
  std::unique_ptr<TChromeDriver> driver_ = std::make_unique<TChromeDriver>();
  pid_t driver_pid_ = 0;
};

FixtureServer* ChromeDriverTest::fixtures_ = nullptr;
Browser* ChromeDriverTest::browser_ = nullptr;

TEST_F(ChromeDriverTest, SwitchesTabsNavigatesRefreshesAndReadsTheSource) {
  json::TJsonObject tab;
  tab.FromJSON(std::string_view(browser_->NewTab(fixtures_->Url("/second.html"))));
  const std::string second_id = tab.GetString("id");
  ASSERT_FALSE(second_id.empty());
  ASSERT_TRUE(WaitUntil([&] { return fixtures_->Hits("/second.html") > 0; }));
  driver_->SwitchToTab(second_id);
  ASSERT_FALSE(driver_->HasError()) << driver_->ErrorMessage();
  EXPECT_EQ(driver_->GetCurUrl(), fixtures_->Url("/second.html"));
  EXPECT_NE(driver_->GetDocument().find("<p id=\"s\">second</p>"), std::string::npos);

  driver_->GetURL(fixtures_->Url("/main.html"), false);
  EXPECT_FALSE(driver_->HasError()) << driver_->ErrorMessage();
  EXPECT_NE(driver_->GetDocument().find("first link"), std::string::npos);
  const int hits = fixtures_->Hits("/main.html");
  driver_->Refresh("");
  EXPECT_FALSE(driver_->HasError()) << driver_->ErrorMessage();
  EXPECT_EQ(fixtures_->Hits("/main.html"), hits + 1);
  driver_->CloseWindow("");
}

TEST_F(ChromeDriverTest, FindsElementsByEveryStrategy) {
  struct Case {
    std::string strategy;
    std::string value;
  };
  const Case cases[] = {
      {"id", "para"},       {"name", "q"},           {"tag name", "textarea"},
      {"class name", "note"}, {"link text", "second link"}, {"xpath", "//p[@id='para']"},
      {"css selector", "#box"},
  };
  for (const Case& c : cases) {
    const TWebElement element = driver_->FindElement(c.strategy, c.value);
    EXPECT_FALSE(element.IsEmpty()) << c.strategy << ": " << driver_->ErrorMessage();
    EXPECT_FALSE(element.ElementID().empty()) << c.strategy;
  }
  EXPECT_TRUE(driver_->FindElementByID("missing").IsEmpty());
  EXPECT_NE(driver_->ErrorMessage().find("no such element"), std::string::npos) << driver_->ErrorMessage();

  EXPECT_EQ(driver_->FindElementsByClassName("link").Count(), 2) << driver_->ErrorMessage();
  EXPECT_EQ(driver_->FindElementsByTag("a").Count(), 2) << driver_->ErrorMessage();
  EXPECT_EQ(driver_->FindElementsByLinkText("first link").Count(), 1) << driver_->ErrorMessage();
  EXPECT_EQ(driver_->FindElementsByXPath("//a").Count(), 2) << driver_->ErrorMessage();
  EXPECT_EQ(driver_->FindElementsByID("para").Count(), 1) << driver_->ErrorMessage();
  const TWebElement link = driver_->FindElementsByXPath("//a").Items(1);
  EXPECT_EQ(link.AttributeValue("href"), "#two");
  EXPECT_EQ(link.PropertyValue("text"), "second link");
}

TEST_F(ChromeDriverTest, ClickChangesThePage) {
  driver_->FindElementByID("go").Click();
  EXPECT_FALSE(driver_->HasError()) << driver_->ErrorMessage();
  EXPECT_EQ(Script("return document.title"), "clicked");
}

TEST_F(ChromeDriverTest, SendKeysTypesAccentsEmojiAndEnter) {
  const TWebElement box = driver_->FindElementByID("box");
  driver_->SendKeys(box.ElementID(), "aé😀/\"z");
  EXPECT_FALSE(driver_->HasError()) << driver_->ErrorMessage();
  EXPECT_EQ(Script("return document.getElementById('box').value"), "aé😀/\"z");

  TWebElement area = driver_->FindElementByID("area");
  for (const char* key : {"x", "\x13", "中"}) area.SendKey(key);
  EXPECT_EQ(Script("return document.getElementById('area').value"), "x\n中");
  area.Clear();
  EXPECT_EQ(Script("return document.getElementById('area').value"), "");

  driver_->FindElementByID("box").Click();
  EXPECT_EQ(driver_->SwitchToActive_element().ElementID(), box.ElementID());
}

TEST_F(ChromeDriverTest, EntersAndLeavesFrames) {
  EXPECT_TRUE(driver_->FindElementByID("inner").IsEmpty());
  for (const char* locator : {"frame", "iframe", "framename", "//iframe"}) {
    driver_->SwitchToFrame(locator, false);
    EXPECT_FALSE(driver_->FindElementByID("inner").IsEmpty()) << locator << ": " << driver_->ErrorMessage();
    driver_->SwitchToFrame("", false);
    EXPECT_FALSE(driver_->HasError()) << driver_->ErrorMessage();
    EXPECT_TRUE(driver_->FindElementByID("inner").IsEmpty()) << locator;
  }
  driver_->SwitchToFrame(driver_->FindElementByTag("iframe").ElementID(), true);
  EXPECT_FALSE(driver_->HasError()) << driver_->ErrorMessage();
  EXPECT_EQ(Script("return document.getElementById('inner').textContent"), "inside");
  driver_->SwitchToParentFrame();
  EXPECT_FALSE(driver_->FindElementByID("para").IsEmpty());
}

TEST_F(ChromeDriverTest, AddsReadsAndDeletesCookies) {
  driver_->DeleteAllCookie();
  driver_->AddCookie("k1", "v1");
  EXPECT_FALSE(driver_->HasError()) << driver_->ErrorMessage();
  driver_->AddCookie("k2", "v2");
  EXPECT_EQ(driver_->GetCookieByName("k1"), "v1");
  const std::string all = driver_->GetAllCookie();
  EXPECT_NE(all.find("k1=v1"), std::string::npos) << all;
  EXPECT_NE(all.find("k2=v2"), std::string::npos) << all;
  driver_->DeleteCookie("k1");
  EXPECT_EQ(driver_->GetCookieByName("k1"), "");
  EXPECT_EQ(driver_->GetCookieByName("k2"), "v2");
  driver_->DeleteAllCookie();
  EXPECT_EQ(driver_->GetAllCookie(), "");
}

TEST_F(ChromeDriverTest, PageAndElementScreenshots) {
  TempDir dir;
  const std::string file = dir.File("page.png");
  driver_->ScreenShot(file);
  const std::string png = files::ReadAllBytes(file);
  ASSERT_GT(png.size(), 24u);
  auto be32 = [&](size_t at) {
    return (uint32_t(uint8_t(png[at])) << 24) | (uint32_t(uint8_t(png[at + 1])) << 16) |
           (uint32_t(uint8_t(png[at + 2])) << 8) | uint32_t(uint8_t(png[at + 3]));
  };
  EXPECT_EQ(std::to_string(be32(16)), Script("return String(Math.round(window.innerWidth * devicePixelRatio))"));
  EXPECT_EQ(std::to_string(be32(20)), Script("return String(Math.round(window.innerHeight * devicePixelRatio))"));

  TWebElement red = driver_->FindElementByID("red");
  TBitmap bmp;
  red.ScreenShot(bmp);
  ASSERT_EQ(bmp.Width(), 50);
  ASSERT_EQ(bmp.Height(), 40);
  EXPECT_EQ(bmp.Pixel(0, 0), (TBitmap::Rgb{255, 0, 0}));
  EXPECT_EQ(bmp.Pixel(49, 39), (TBitmap::Rgb{255, 0, 0}));
  TBitmap own;
  red.ScreenShot2(own);
  EXPECT_EQ(own.Width(), 50);
  EXPECT_EQ(own.Pixel(25, 20), (TBitmap::Rgb{255, 0, 0}));
}

TEST_F(ChromeDriverTest, TerminatingTheServerLeavesTheBrowserRunning) {
  driver_->TerminateWebDriver();
  EXPECT_FALSE(driver_->DriverIsRunning());
  EXPECT_FALSE(ProcessAlive(driver_pid_));
  EXPECT_TRUE(ProcessAlive(browser_->pid()));
  EXPECT_NE(browser_->ListTargets().find(fixtures_->Url("/main.html")), std::string::npos);
  EXPECT_EQ(driver_->GetDocument(), "");
  EXPECT_EQ(driver_->ErrorMessage(), "http request error");
}

}  // namespace
}  // namespace tarnvex::webdriver
