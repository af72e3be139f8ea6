#include "webdriver/web_driver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "json/json_document.h"
#include "tests/support/browser.h"
#include "tests/support/process.h"
#include "tests/webdriver/driver_fixture.h"

namespace tarnvex::webdriver {
namespace {

using tarnvex::testing::FreePort;
using tarnvex::testing::ProcessAlive;
using tarnvex::testing::ReadFile;
using tarnvex::testing::TempDir;
using tarnvex::testing::WaitUntil;
using tarnvex::testing::WriteFile;

constexpr const char* kDebugger = R"("debuggerAddress":"127.0.0.1:9222")";

TEST(ChromeDriver, HostTextAndDriverArguments) {
  TChromeDriver driver;
  EXPECT_EQ(driver.GetHost(), "http://127.0.0.1:9515");
  driver.SetPath("/wd/hub");
  driver.SetPort(40211);
  EXPECT_EQ(driver.Host(), "http://127.0.0.1:40211/wd/hub");
  EXPECT_EQ(driver.GetDriverArgs(), " --port=40211");
  EXPECT_TRUE(driver.Popup_Error());
  EXPECT_FALSE(driver.W3C());
  EXPECT_FALSE(driver.DriverIsRunning());
  EXPECT_EQ(driver.Timeout(), 60000);
}

TEST(ChromeDriver, AssignCopiesAddressPortPathAndTimeout) {
  TChromeDriver source;
  source.SetAddress("localhost");
  source.SetPort(1234);
  source.SetPath("/p");
  source.SetTimeout(777);
  source.SetSessionID("not copied");
  TChromeDriver copy;
  copy.Assign(source);
  EXPECT_EQ(copy.Host(), "http://localhost:1234/p");
  EXPECT_EQ(copy.Timeout(), 777);
  EXPECT_EQ(copy.SessionID(), "");
}

struct ProcCase {
  std::string resp;
  bool popup;
  std::string result;
  std::string error;
  bool raises;
};

TEST(ProcResponse, ReadsTheReplyEnvelope) {
  const ProcCase cases[] = {
      {"", true, "", "http request error", false},
      {R"({"value":null})", true, "", "", false},
      {R"({"value":"abc"})", true, "abc", "", false},
      {R"({"value":[1, 2]})", true, "[1,2]", "", false},
      {R"({"value":{"a": 1}})", true, R"({"a":1})", "", false},
      {R"({"value":2})", true, "2", "", false},
      {R"({"value":1.5})", true, "1.5", "", false},
      {R"({"value":true})", true, "true", "", false},
      {R"({"value":{"error":"e","message":"m"}})", true, "", "m", false},
      {R"({"sessionId":"s","status":7,"value":{"message":"legacy"}})", true, "", "legacy", false},
      // An error whose message is empty or not text still counts as an error.
      {R"({"value":{"error":"e","message":""}})", true, "", R"({"value":{"error":"e","message":""}})", false},
      {R"({"value":{"message":{"x":1}}})", true, "", R"({"value":{"message":{"x":1}}})", false},
      {R"({"status":0})", false, "", R"({"status":0})", false},
      {R"({"status":0})", true, "", R"({"status":0})", true},
      {R"({"status":13,"message":"gone"})", false, "", "gone", false},
  };
  TChromeDriver driver;
  for (const ProcCase& c : cases) {
    driver.SetPopup_Error(c.popup);
    std::string result = "unset";
    if (c.raises) {
      try {
        driver.ProcResponse(c.resp);
        ADD_FAILURE() << "no exception for " << c.resp;
      } catch (const Exception& e) {
        EXPECT_EQ(e.TypeName(), "Exception");
        EXPECT_EQ(e.Message(), c.error);
      }
    } else {
      EXPECT_NO_THROW(result = driver.ProcResponse(c.resp)) << c.resp;
      EXPECT_EQ(result, c.result) << c.resp;
    }
    EXPECT_EQ(driver.ErrorMessage(), c.error) << c.resp;
    EXPECT_EQ(driver.HasError(), !c.error.empty()) << c.resp;
  }
}

TEST(ProcResponse, ATextThatIsNoObjectRaisesTheParseErrorWhateverPopupSays) {
  TChromeDriver driver;
  driver.SetPopup_Error(false);
  EXPECT_THROW(driver.ProcResponse("[1]"), json::EJsonParserException);
  EXPECT_THROW(driver.ProcResponse("<html>"), json::EJsonParserException);
}

TEST_F(DriverTest, ExecuteCommandClearsTheErrorAndCallsTheHook) {
  std::vector<std::string> seen;
  driver->SetOnResponse([&](const std::string& response) { seen.push_back(response); });
  server.Reply("GET", "/status", R"({"value":{"ready":true}})");
  driver->ProcResponse("");
  ASSERT_TRUE(driver->HasError());
  EXPECT_EQ(driver->ExecuteCommand(cGet, driver->Host() + "/status"), R"({"value":{"ready":true}})");
  EXPECT_FALSE(driver->HasError());
  EXPECT_EQ(driver->ExecuteCommand(cDelete, driver->Host() + "/session/x"), "");
  EXPECT_EQ(seen, (std::vector<std::string>{R"({"value":{"ready":true}})", ""}));
}

TEST(StartDriver, RaisesForAMissingFile) {
  TChromeDriver driver;
  try {
    driver.StartDriver("/no/such/chromedriver", "");
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.TypeName(), "Exception");
    EXPECT_EQ(e.Message(), "driver file not exists./no/such/chromedriver");
  }
  EXPECT_EQ(driver.DriverName(), "");
  EXPECT_FALSE(driver.DriverIsRunning());
}

TEST(StartDriver, StartsPathAndPortAndTerminatesOnce) {
  TempDir dir;
  const std::string fake = dir.File("chromedriver");
  const std::string out = dir.File("args");
  WriteFile(fake, "#!/bin/sh\necho \"$@\" > " + out + ".tmp\nmv " + out + ".tmp " + out + "\nexec sleep 30\n");
  ::chmod(fake.c_str(), 0755);
  TChromeDriver driver;
  driver.SetPort(40211);
  driver.StartDriver(fake, "");
  ASSERT_TRUE(driver.DriverIsRunning());
  const pid_t pid = static_cast<pid_t>(driver.GetDriverPID());
  ASSERT_TRUE(WaitUntil([&] { return tarnvex::testing::PathExists(out); }));
  EXPECT_EQ(ReadFile(out), "--port=40211\n");

  // A second start while a server is recorded only takes the new name.
  driver.StartDriver("/bin/true", "");
  EXPECT_EQ(driver.DriverName(), "/bin/true");
  EXPECT_EQ(driver.GetDriverPID(), static_cast<uint32_t>(pid));

  driver.TerminateWebDriver();
  EXPECT_FALSE(driver.DriverIsRunning());
  EXPECT_EQ(driver.GetDriverPID(), 0u);
  EXPECT_FALSE(ProcessAlive(pid));
  driver.TerminateWebDriver();
  EXPECT_FALSE(driver.DriverIsRunning());
}

TEST(StartDriver, ReleasingTheDriverEndsItsServer) {
  pid_t pid = 0;
  {
    TChromeDriver driver;
    driver.StartDriver("/bin/sleep", " 30");  // path directly followed by the arguments
    pid = static_cast<pid_t>(driver.GetDriverPID());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(ProcessAlive(pid));
  }
  EXPECT_FALSE(ProcessAlive(pid));
}

TEST(StartDriver, AProcessThatCannotStartLeavesTheRecordZero) {
  TempDir dir;
  WriteFile(dir.File("chromedriver"), "not a program");  // exists, not executable
  TChromeDriver driver;
  driver.StartDriver(dir.File("chromedriver"), "");
  EXPECT_EQ(driver.DriverName(), dir.File("chromedriver"));
  EXPECT_FALSE(driver.DriverIsRunning());
  EXPECT_EQ(driver.GetDriverPID(), 0u);
}

TEST_F(DriverTest, WaitForServerPollsUntilTheServerAnswers) {
  EXPECT_TRUE(driver->WaitForServer(2000));
  EXPECT_EQ(server.Requests().at(0).path, "/status");
  EXPECT_EQ(driver->Timeout(), 60000);
  TChromeDriver nobody;
  nobody.SetPort(FreePort());
  EXPECT_FALSE(nobody.WaitForServer(100));
}

TEST_F(DriverTest, NewSessionPostsBothCapabilityForms) {
  server.Reply("POST", "/session", R"({"value":{"sessionId":"s1","capabilities":{}}})");
  EXPECT_EQ(driver->NewSession(kDebugger), "s1");
  const auto request = Sent();
  EXPECT_EQ(request.path, "/session");
  EXPECT_EQ(request.body,
            R"({"capabilities": {"firstMatch": [{}], "alwaysMatch": {"browserName": "chrome", )"
            R"("platformName": "any", "pageLoadStrategy": "normal" ,"goog:chromeOptions": )"
            R"({"debuggerAddress":"127.0.0.1:9222"}}}, "desiredCapabilities": {"browserName": )"
            R"("chrome", "version": "", "platform": "ANY" , "pageLoadStrategy": "normal" , )"
            R"("goog:chromeOptions": {"debuggerAddress":"127.0.0.1:9222"}}})");
  EXPECT_EQ(json::TJsonBaseObject::Parse(request.body)->Count(), 2);  // valid JSON
}

struct SessionCase {
  std::string reply;
  std::string result;
  bool w3c;
  std::string error;
};

TEST_F(DriverTest, NewSessionReadsW3CLegacyAndErrorReplies) {
  const SessionCase cases[] = {
      {R"({"value":{"sessionId":"s1","capabilities":{}}})", "s1", true, ""},
      {R"({"sessionId":"s2","status":0,"value":{}})", "s2", false, ""},
      {R"({"value":{"error":"e","message":"m"}})", "", true, "m"},
      {R"({"value":{}})", "", true, R"({"value":{}})"},
      {R"({})", "", true, R"({})"},
  };
  for (const SessionCase& c : cases) {
    server.Reply("POST", "/session", c.reply);
    EXPECT_EQ(driver->NewSession(kDebugger), c.result) << c.reply;
    EXPECT_EQ(driver->SessionID(), c.result) << c.reply;
    EXPECT_EQ(driver->W3C(), c.w3c) << c.reply;
    EXPECT_EQ(driver->ErrorMessage(), c.error) << c.reply;
  }
}

TEST(NewSession, NoServerGivesTimeOutAndEmptyReplies) {
  TChromeDriver driver;
  driver.SetPort(FreePort());
  driver.SetSessionID("kept");
  EXPECT_EQ(driver.NewSession(kDebugger), "");
  EXPECT_EQ(driver.ErrorMessage(), "time out");
  EXPECT_EQ(driver.SessionID(), "kept");
  EXPECT_EQ(driver.GetSession(), "");
  EXPECT_EQ(driver.SessionID(), "kept");
  EXPECT_EQ(driver.GetCurUrl(), "");
  EXPECT_EQ(driver.ErrorMessage(), "http request error");
  EXPECT_TRUE(driver.FindElementByID("a").IsEmpty());
  EXPECT_EQ(driver.ErrorMessage(), "http request error");
}

TEST_F(DriverTest, GetSessionAdoptsTheFirstListedSessionWithAnId) {
  server.Reply("GET", "/sessions", R"({"value":[{"id":""},{"id":"s3"},{"id":"s4"}]})");
  EXPECT_EQ(driver->GetSession(), "s3");
  EXPECT_EQ(driver->SessionID(), "s3");
  server.Reply("GET", "/sessions", R"({"value":[]})");
  EXPECT_EQ(driver->GetSession(), "");
  EXPECT_EQ(driver->SessionID(), "s3");
}

TEST_F(DriverTest, SwitchToTabSendsTheBareIdAndFallsBackToTheOldName) {
  Attach(true);
  driver->SwitchToTab("");
  EXPECT_TRUE(server.Requests().empty());

  driver->SwitchToTab("ABC");
  auto request = Sent();
  EXPECT_EQ(request.path, "/session/s1/window");
  EXPECT_EQ(request.body, R"({"handle": "ABC"})");

  server.ReplyOnce("POST", "/session/s1/window",
                   R"({"value":{"error":"no such window","message":"no such window"}})", 404);
  driver->SwitchToTab("ABC");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].body, R"({"handle": "CDwindow-ABC"})");
  EXPECT_FALSE(driver->HasError());
}

TEST_F(DriverTest, NavigationRefreshAndSource) {
  Attach(true);
  driver->GetURL("http://x/é", false);
  auto request = Sent();
  EXPECT_EQ(request.path, "/session/s1/url");
  EXPECT_EQ(request.body, R"({"url":"http://x/é","sessionid":"s1"})");

  driver->Refresh("other");
  request = Sent();
  EXPECT_EQ(request.path, "/session/other/refresh");
  EXPECT_EQ(request.body, R"({"sessionid":"s1"})");
  driver->Refresh("");
  EXPECT_EQ(Sent().path, "/session/s1/refresh");

  server.Reply("GET", "/session/s1/source", R"({"value":"<html>é</html>"})");
  EXPECT_EQ(driver->GetDocument(), "<html>é</html>");
  driver->SetSessionID("");
  server.ClearRequests();
  EXPECT_EQ(driver->GetDocument(), "");
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(DriverTest, GetUrlWithWaitPollsTheReadyState) {
  Attach(true);
  driver->SetTimeout(1000);  // one round of the wait
  server.Reply("POST", "/session/s1/execute/sync", R"({"value":"loading"})");
  driver->GetURL("http://x/", true);
  const auto polls = server.Requests("POST", "/session/s1/execute/sync");
  ASSERT_EQ(polls.size(), 1u);
  EXPECT_EQ(polls[0].body, R"({"script":"return document.readyState","args":[]})");

  // A navigation error skips the wait.
  server.ClearRequests();
  server.Reply("POST", "/session/s1/url", R"({"value":{"error":"e","message":"m"}})");
  driver->GetURL("http://x/", true);
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(DriverTest, SaveCurDocToFileWritesCrLfLines) {
  Attach(true);
  TempDir dir;
  server.Reply("GET", "/session/s1/source", R"({"value":"a\nb\r\nc\rd"})");
  driver->SaveCurDocToFile(dir.File("doc.html"));
  EXPECT_EQ(ReadFile(dir.File("doc.html")), "a\r\nb\r\nc\r\nd\r\n");
}

struct CommandCase {
  const char* name;
  bool w3c;
  std::function<void(TWebDriver&)> run;
  std::string method;
  std::string path;
  std::string body;
};

TEST_F(DriverTest, SessionWindowAndTimeoutCommands) {
  const CommandCase cases[] = {
      {"GetCurUrl", true, [](TWebDriver& d) { d.GetCurUrl(); }, "GET", "/session/s1/url", ""},
      {"GetCurrentWindowHandle", true, [](TWebDriver& d) { d.GetCurrentWindowHandle(); }, "GET",
       "/session/s1/window_handle", ""},
      {"CloseWindow", true, [](TWebDriver& d) { d.CloseWindow(""); }, "DELETE", "/session/s1/window", ""},
      {"CloseWindow other", true, [](TWebDriver& d) { d.CloseWindow("x"); }, "DELETE",
       "/session/x/window", ""},
      {"DeleteSession", true, [](TWebDriver& d) { d.DeleteSession(""); }, "DELETE", "/session/s1", ""},
      {"SetTimeOutEx", true, [](TWebDriver& d) { d.SetTimeOutEx(500); }, "POST", "/session/s1/timeouts",
       R"({"pageLoad":500})"},
      {"PageLoadTimeout", true, [](TWebDriver& d) { d.PageLoadTimeout(700); }, "POST",
       "/session/s1/timeouts", "{\n\t\"name\": \"pageLoad\",\n\t\"value\": 700\n}\n"},
      {"Implicitly_Wait W3C", true, [](TWebDriver& d) { d.Implicitly_Wait(2.5); }, "POST",
       "/session/s1/timeouts", R"({"implicit":2.5})"},
      {"Implicitly_Wait legacy", false, [](TWebDriver& d) { d.Implicitly_Wait(2.5); }, "POST",
       "/session/s1/timeouts/implicit_wait", R"({"ms":2.5,"session":"s1"})"},
      {"Set_Window_Size W3C", true, [](TWebDriver& d) { d.Set_Window_Size(800, 600, "h"); }, "POST",
       "/session/s1/window/rect", R"({"width":800,"height":600,"windowHandle":"h"})"},
      {"Set_Window_Size legacy", false, [](TWebDriver& d) { d.Set_Window_Size(800, 600, "h"); },
       "POST", "/session/s1/window/h/size", R"({"width":800,"height":600})"},
      {"NewMobileSession", true, [](TWebDriver& d) { d.NewMobileSession(R"({"x":1})"); }, "POST",
       "/session", R"({"x":1})"},
  };
  for (const CommandCase& c : cases) {
    Attach(c.w3c);
    c.run(*driver);
    const auto request = Sent();
    EXPECT_EQ(request.method, c.method) << c.name;
    EXPECT_EQ(request.path, c.path) << c.name;
    EXPECT_EQ(request.body, c.body) << c.name;
  }
}

TEST_F(DriverTest, QuitAndClearEndSessions) {
  Attach(true);
  driver->Quit();
  EXPECT_EQ(Sent().path, "/session/s1");
  EXPECT_EQ(driver->SessionID(), "");
  driver->Quit();
  EXPECT_TRUE(server.Requests().empty());

  server.Reply("GET", "/sessions", R"({"value":[{"id":"a"},{"id":"b"}]})");
  driver->Clear();
  std::vector<std::string> seen;
  for (const auto& request : server.Requests()) seen.push_back(request.method + " " + request.path);
  EXPECT_EQ(seen, (std::vector<std::string>{"GET /sessions", "DELETE /session/a/window",
                                            "DELETE /session/a", "DELETE /session/b/window",
                                            "DELETE /session/b"}));
}

TEST_F(DriverTest, DevToolsLookupsOnTheDriversOwnHost) {
  server.Reply("GET", "/json/list",
               R"([{"id":"bg","type":"background_page","webSocketDebuggerUrl":"ws://b"},)"
               R"({"id":"","type":"page","webSocketDebuggerUrl":"ws://none"},)"
               R"({"id":"P1","type":"page","webSocketDebuggerUrl":"ws://p1"}])");
  EXPECT_EQ(driver->GetJsonSessionID(), "P1");
  EXPECT_EQ(driver->SessionID(), "");
  EXPECT_EQ(driver->GetJsonDebuggerUrl(), "ws://p1");
  EXPECT_EQ(driver->SessionID(), "P1");
  EXPECT_EQ(driver->GetBackgroundDebuggerUrl(), "ws://b");
  EXPECT_EQ(driver->SessionID(), "bg");

  server.Reply("GET", "/json/new", R"({"id":"N1","type":"page","webSocketDebuggerUrl":"ws://n1"})");
  EXPECT_EQ(driver->GetNewTabDebuggerUrl(), "ws://n1");
  EXPECT_EQ(driver->SessionID(), "N1");

  server.Reply("GET", "/json/list", "Not JSON at all");
  server.Reply("GET", "/json/new", "Using unsafe HTTP verb GET to invoke /json/new.");
  EXPECT_EQ(driver->GetJsonDebuggerUrl(), "");
  EXPECT_EQ(driver->GetNewTabDebuggerUrl(), "");
  EXPECT_EQ(driver->SessionID(), "N1");
}

}  // namespace
}  // namespace tarnvex::webdriver
