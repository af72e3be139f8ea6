// The function table of action 1 against a fake WebDriver server: what each
// name sends, what it leaves as the result, and the click rules.
#include <gtest/gtest.h>

#include <deque>

#include "app/embedded_resources.h"
#include "app/function_table.h"
#include "json/json_document.h"
#include "tests/webdriver/driver_fixture.h"

namespace tarnvex::app {
namespace {

using tarnvex::testing::RecordedRequest;

constexpr const char* kRefKey = "element-6066-11e4-a52e-4f735466cecf";

// A call of `name` with `data`; the other fields as the request gives them.
FunctionCall Call(const std::string& name, const std::string& data, bool to_click = false, int index = 0,
                  const std::string& data2 = "") {
  FunctionCall call;
  call.name = name;
  call.data = data;
  call.data2 = data2;
  call.to_click = to_click;
  call.index = index;
  return call;
}

std::string Ref(const std::string& id) { return std::string("{\"") + kRefKey + "\":\"" + id + "\"}"; }

class FunctionTableTest : public webdriver::DriverTest {
 protected:
  FunctionTableTest() { Attach(true); }

  // Runs one function; `draws` answer the random draws in turn.
  FunctionCall Run(FunctionCall call, std::deque<int> draws = {}) {
    const TypingEnvironment environment{
        [this, draws](int n) mutable {
          draw_ranges.push_back(n);
          const int value = draws.empty() ? 0 : draws.front();
          if (!draws.empty()) draws.pop_front();
          return value;
        },
        [](int) {},
        [] { return std::string(); },
        [] {},
    };
    RunFunction(*driver, call, environment);
    return call;
  }

  // "METHOD path" of every request, in order.
  std::vector<std::string> Sent() const {
    std::vector<std::string> sent;
    for (const RecordedRequest& request : server.Requests()) sent.push_back(request.method + " " + request.path);
    return sent;
  }

  std::vector<int> draw_ranges;
};

struct RowCase {
  std::string name;
  std::string data;
  std::vector<std::string> sent;
  std::string result;
};

TEST_F(FunctionTableTest, EachNameSendsItsCommandAndLeavesItsResult) {
  server.Reply("GET", "/session/s1/source", R"({"value":"<html>é</html>"})");
  server.Reply("POST", "/session/s1/execute/sync", R"({"value":42})");
  const RowCase cases[] = {
      {"source", "x", {"GET /session/s1/source"}, "<html>é</html>"},
      {"refresh", "x", {"POST /session/s1/refresh"}, "x"},
      {"openurl", "127.0.0.1:8/p", {"POST /session/s1/url"}, "http://127.0.0.1:8/p"},
      {"openurl", "https://a.test/", {"POST /session/s1/url"}, "https://a.test/"},
      {"click", "127.0.0.1:8/p", {"POST /session/s1/url"}, "127.0.0.1:8/p"},
      {"sendKeys", "E", {"POST /session/s1/element/E/value"}, ""},
      {"ExecuteScript", "document.title='t'", {"POST /session/s1/execute/sync"}, "document.title='t'"},
      {"ExecuteScript", "", {}, ""},
      {"getAttribute", R"(["#a","href"])", {"POST /session/s1/execute/sync"}, "42"},
      {"getAttribute", "not an array", {}, "not an array"},
      {"ScreenShot", "", {}, ""},
      {"OpenUrl", "127.0.0.1:8/p", {}, "127.0.0.1:8/p"},
      {"", "x", {}, "x"},
  };
  for (const RowCase& c : cases) {
    server.ClearRequests();
    const FunctionCall call = Run(Call(c.name, c.data));
    EXPECT_EQ(Sent(), c.sent) << c.name << " " << c.data;
    EXPECT_EQ(call.data, c.result) << c.name << " " << c.data;
  }
}

TEST_F(FunctionTableTest, NavigationSendsTheUrlAsTheResultShowsIt) {
  Run(Call("openurl", "host:1/a"));
  Run(Call("click", "host:1/a"));
  const auto posts = server.Requests("POST", "/session/s1/url");
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[0].body, R"({"url":"http://host:1/a","sessionid":"s1"})");
  EXPECT_EQ(posts[1].body, R"({"url":"host:1/a","sessionid":"s1"})");
}

TEST_F(FunctionTableTest, GetAttributeRunsTheEmbeddedScriptWithTheArguments) {
  server.Reply("POST", "/session/s1/execute/sync", R"({"value":"https://a.test/"})");
  EXPECT_EQ(Run(Call("getAttribute", R"(["//a[1]","href"])")).data, "https://a.test/");
  json::TJsonObject body;
  body.FromJSON(server.Only().body);
  EXPECT_EQ(body.GetString("script"), LoadResource("SCRIPT"));
  EXPECT_EQ(body.GetArray("args")->ToJSON(), R"(["//a[1]","href"])");
}

TEST_F(FunctionTableTest, SendKeysEmptiesTheResultEvenWhenTheServerFails) {
  server.Reply("POST", "/session/s1/element/E/value", "not json");
  EXPECT_EQ(Run(Call("sendKeys", "E", false, 0, "ab")).data, "");
}

struct SingleCase {
  std::string name;
  bool click;
  std::vector<std::string> sent;
};

TEST_F(FunctionTableTest, SingleFindsGiveTheReferenceAndClickOnRequest) {
  server.Reply("POST", "/session/s1/element", "{\"value\":" + Ref("E") + "}");
  const SingleCase cases[] = {
      {"findElementByID", true, {"POST /session/s1/element", "POST /session/s1/element/E/click"}},
      {"findElementByClassName", true, {"POST /session/s1/element", "POST /session/s1/element/E/click"}},
      {"findElementByLinkText", true, {"POST /session/s1/element", "POST /session/s1/element/E/click"}},
      {"findElementByXPath", true, {"POST /session/s1/element", "POST /session/s1/element/E/click"}},
      {"findElementByName", true, {"POST /session/s1/element", "POST /session/s1/element/E/click"}},
      {"findElementByID", false, {"POST /session/s1/element"}},
      // A tag is entered as a frame before the click.
      {"findElementByTag",
       true,
       {"POST /session/s1/element", "POST /session/s1/frame", "POST /session/s1/element/E/click"}},
      {"findElementByTag", false, {"POST /session/s1/element"}},
  };
  for (const SingleCase& c : cases) {
    server.ClearRequests();
    EXPECT_EQ(Run(Call(c.name, "v", c.click)).data, Ref("E")) << c.name;
    EXPECT_EQ(Sent(), c.sent) << c.name << " click " << c.click;
  }
}

TEST_F(FunctionTableTest, ANotFoundElementIsNeitherEnteredNorClicked) {
  server.Reply("POST", "/session/s1/element", R"({"value":{"error":"no such element","message":"m"}})", 404);
  for (const std::string name : {"findElementByTag", "findElementByID"}) {
    server.ClearRequests();
    EXPECT_EQ(Run(Call(name, "iframe", true)).data, "");
    EXPECT_EQ(Sent(), std::vector<std::string>{"POST /session/s1/element"}) << name;
  }
}

struct ListCase {
  int index;
  std::deque<int> draws;
  std::vector<std::string> sent;
  std::vector<int> draw_ranges;
};

TEST_F(FunctionTableTest, ListFindsClickTheIndexedOrADrawnElement) {
  const std::string list = "[" + Ref("A") + "," + Ref("B") + "," + Ref("C") + "]";
  server.Reply("POST", "/session/s1/elements", "{\"value\":" + list + "}");
  const ListCase cases[] = {
      {1, {}, {"POST /session/s1/elements", "POST /session/s1/element/B/click"}, {}},
      {-1, {2}, {"POST /session/s1/elements", "POST /session/s1/element/C/click"}, {3}},
      {7, {}, {"POST /session/s1/elements"}, {}},
      {-2, {}, {"POST /session/s1/elements"}, {}},
  };
  for (const ListCase& c : cases) {
    for (const std::string name : {"findElementsByID", "findElementsByTag", "findElementsByClassName",
                                   "findElementsByLinkText", "findElementsByXPath"}) {
      server.ClearRequests();
      draw_ranges.clear();
      EXPECT_EQ(Run(Call(name, "a", true, c.index), c.draws).data, list);
      EXPECT_EQ(Sent(), c.sent) << name << " index " << c.index;
      EXPECT_EQ(draw_ranges, c.draw_ranges) << name << " index " << c.index;
    }
  }
}

TEST_F(FunctionTableTest, ARandomPickOverAnEmptyListClicksNothing) {
  server.Reply("POST", "/session/s1/elements", R"({"value":[]})");
  EXPECT_EQ(Run(Call("findElementsByTag", "a", true, -1)).data, "[]");
  EXPECT_EQ(Sent(), std::vector<std::string>{"POST /session/s1/elements"});
}

}  // namespace
}  // namespace tarnvex::app
