#include <gtest/gtest.h>

#include "json/json_document.h"
#include "tests/support/process.h"
#include "tests/webdriver/driver_fixture.h"

namespace tarnvex::webdriver {
namespace {

TEST_F(DriverTest, ExecuteScriptPostsTheScriptBody) {
  Attach(true);
  server.Reply("POST", "/session/s1/execute/sync", R"({"value":2})");
  EXPECT_EQ(driver->ExecuteScript("return 1+1", "[]"), "2");
  auto request = Sent();
  EXPECT_EQ(request.path, "/session/s1/execute/sync");
  EXPECT_EQ(request.body, R"({"script":"return 1+1","args":[]})");

  server.Reply("POST", "/session/s1/execute/sync", R"({"value":{"a":[1,"x"]}})");
  EXPECT_EQ(driver->getAttribute("return \"é\"/1", R"([1, "a"])"), R"({"a":[1,"x"]})");
  EXPECT_EQ(Sent().body, R"({"script":"return \"é\"/1","args":[1,"a"]})");

  driver->ExecuteScriptByASync("done()", "[]");
  request = Sent();
  EXPECT_EQ(request.path, "/session/s1/execute/async");
  EXPECT_EQ(request.body, R"json({"script":"done()","args":[],"sessionId":"s1"})json");
}

TEST_F(DriverTest, MalformedScriptArgumentsRaiseBeforeAnythingIsSent) {
  Attach(true);
  EXPECT_THROW(driver->ExecuteScript("return 1", ""), json::EJsonParserException);
  EXPECT_THROW(driver->ExecuteScript("return 1", "{}"), json::EJsonParserException);
  EXPECT_THROW(driver->ExecuteScriptByASync("x", "[1,"), json::EJsonParserException);
  EXPECT_TRUE(server.Requests().empty());
  // A script error comes back as an error reply: recorded, not raised.
  server.Reply("POST", "/session/s1/execute/sync",
               R"({"value":{"error":"javascript error","message":"boom"}})", 500);
  EXPECT_EQ(driver->ExecuteScript("throw 1", "[]"), "");
  EXPECT_EQ(driver->ErrorMessage(), "boom");
}

TEST_F(DriverTest, FrameBodiesInBothForms) {
  struct Case {
    bool w3c;
    std::string frame;
    std::string path;
    std::string body;
  };
  const Case cases[] = {
      {true, "X", "/session/s1/frame", R"({"id": {"element-6066-11e4-a52e-4f735466cecf": "X"}})"},
      {false, "X", "/session/s1/frame", R"({"id": {"ELEMENT": "X"}})"},
      {true, "", "/session/s1/frame/parent", R"({"sessionId":"s1"})"},
  };
  for (const Case& c : cases) {
    Attach(c.w3c);
    driver->SwitchToFrame(c.frame, true);
    const auto request = Sent();
    EXPECT_EQ(request.path, c.path);
    EXPECT_EQ(request.body, c.body);
  }
  driver->SwitchToParentFrame();
  EXPECT_EQ(Sent().body, R"({"sessionId":"s1"})");
}

TEST_F(DriverTest, FrameByLocatorTriesFourSearchesInOrder) {
  Attach(true);
  const std::string not_found = R"({"value":{"error":"no such element","message":"none"}})";
  server.Reply("POST", "/session/s1/element", not_found, 404);
  driver->SwitchToFrame("f1", false);
  std::vector<std::string> bodies;
  for (const auto& request : server.Requests()) bodies.push_back(request.body);
  EXPECT_EQ(bodies, (std::vector<std::string>{R"({"using":"css selector","value":"[id=\"f1\" ]"})",
                                              R"({"using":"css selector","value":"f1"})",
                                              R"({"using":"css selector","value":"[name=\"f1\"]"})",
                                              R"({"using":"xpath","value":"f1"})"}));
  EXPECT_EQ(driver->ErrorMessage(), "none");

  // Only the XPath search finds it: four searches, then the frame request.
  server.ClearRequests();
  for (int i = 0; i < 3; ++i) server.ReplyOnce("POST", "/session/s1/element", not_found, 404);
  server.Reply("POST", "/session/s1/element", R"({"value":{"element-6066-11e4-a52e-4f735466cecf":"F"}})");
  driver->SwitchToFrame("//iframe", false);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[4].path, "/session/s1/frame");
  EXPECT_EQ(requests[4].body, R"({"id": {"element-6066-11e4-a52e-4f735466cecf": "F"}})");
}

TEST_F(DriverTest, SwitchToFrameNeverRaises) {
  Attach(true);
  driver->SetPopup_Error(true);
  server.Reply("POST", "/session/s1/frame", "{}");  // no value: ProcResponse raises
  EXPECT_NO_THROW(driver->SwitchToFrame("X", true));
  EXPECT_EQ(driver->ErrorMessage(), "{}");
}

TEST_F(DriverTest, CookiesAreListedJoinedFoundAddedAndDeleted) {
  Attach(true);
  server.Reply("GET", "/session/s1/cookie",
               R"({"value":[{"name":"a","value":"1","path":"/"},{"name":"b","value":"2"}]})");
  EXPECT_EQ(driver->GetAllCookieJsonArray(), R"([{"name":"a","value":"1","path":"/"},{"name":"b","value":"2"}])");
  EXPECT_EQ(driver->GetAllCookie(), "a=1; b=2");
  EXPECT_EQ(driver->GetCookieByName("b"), "2");
  EXPECT_EQ(driver->GetCookieByName("A"), "");

  server.Reply("GET", "/session/s1/cookie", R"({"value":[]})");
  EXPECT_EQ(driver->GetAllCookie(), "");
  server.Reply("GET", "/session/s1/cookie", R"({"value":{"k":1}})");
  EXPECT_THROW(driver->GetAllCookie(), EInvalidCast);

  server.ClearRequests();
  EXPECT_EQ(driver->AddCookie("n", "v é"), "");
  driver->DeleteCookie("n");
  driver->DeleteAllCookie();
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].path, "/session/s1/cookie");
  EXPECT_EQ(requests[0].body, R"({"cookie":{"name":"n","value":"v é"}})");
  EXPECT_EQ(requests[1].method + " " + requests[1].path, "DELETE /session/s1/cookie/n");
  EXPECT_EQ(requests[2].method + " " + requests[2].path, "DELETE /session/s1/cookie");
}

TEST(Cookies, NoServerMeansAnEmptyList) {
  TChromeDriver driver;
  driver.SetPort(tarnvex::testing::FreePort());
  EXPECT_EQ(driver.GetAllCookieJsonArray(), "[]");
  EXPECT_EQ(driver.GetAllCookie(), "");
  EXPECT_EQ(driver.GetCookieByName("a"), "");
}

}  // namespace
}  // namespace tarnvex::webdriver
