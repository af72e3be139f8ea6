#include "webdriver/web_element.h"

#include <gtest/gtest.h>

#include "tests/webdriver/driver_fixture.h"

namespace tarnvex::webdriver {
namespace {

constexpr const char* kW3CRef = R"({"element-6066-11e4-a52e-4f735466cecf":"E"})";

struct FindCase {
  bool w3c;
  std::string using_name;
  std::string key;
  std::string sent;  // the body of the search
};

TEST_F(DriverTest, FindElementRewritesLocatorsInTheW3CForm) {
  const FindCase cases[] = {
      {true, "id", "main", R"({"using":"css selector","value":"[id=\"main\" ]"})"},
      {true, "ID", "main", R"({"using":"css selector","value":"[id=\"main\" ]"})"},
      {true, "Id", "main", R"({"using":"css selector","value":"[id=\"main\" ]"})"},
      {true, "tag name", "div", R"({"using":"css selector","value":"div"})"},
      {true, "class name", "btn", R"({"using":"css selector","value":".btn"})"},
      {true, "name", "q", R"({"using":"css selector","value":"[name=\"q\"]"})"},
      {true, "link text", "Next", R"({"using":"link text","value":"Next"})"},
      {true, "xpath", "//a[@x=\"1\"]", R"({"using":"xpath","value":"//a[@x=\"1\"]"})"},
      {true, "css selector", "a > b", R"({"using":"css selector","value":"a > b"})"},
      {false, "id", "main", R"({"using":"id","value":"main"})"},
      {false, "tag name", "div", R"({"using":"tag name","value":"div"})"},
      {false, "class name", "btn", R"({"using":"class name","value":"btn"})"},
      {false, "name", "q", R"({"using":"name","value":"q"})"},
  };
  server.Reply("POST", "/session/s1/element", std::string(R"({"value":)") + kW3CRef + "}");
  for (const FindCase& c : cases) {
    Attach(c.w3c);
    const TWebElement element = driver->FindElement(c.using_name, c.key);
    const auto request = Sent();
    EXPECT_EQ(request.path, "/session/s1/element");
    EXPECT_EQ(request.body, c.sent) << c.using_name;
    EXPECT_EQ(element.FWebDriver, driver.get());
    EXPECT_EQ(element.W3C, c.w3c);
    EXPECT_EQ(element.ElementData, kW3CRef);
    EXPECT_EQ("{\"using\":\"" + element.FUsingName + "\"", c.sent.substr(0, c.sent.find(',')));
  }
}

TEST_F(DriverTest, TheWrappersUseTheirStrategies) {
  Attach(false);
  driver->FindElementByID("a");
  driver->FindElementByName("b");
  driver->FindElementByTag("c");
  driver->FindElementByClassName("d");
  driver->FindElementByLinkText("e");
  driver->FindElementByXPath("f");
  std::vector<std::string> bodies;
  for (const auto& request : server.Requests()) bodies.push_back(request.body);
  EXPECT_EQ(bodies, (std::vector<std::string>{
                        R"({"using":"id","value":"a"})", R"({"using":"name","value":"b"})",
                        R"({"using":"tag name","value":"c"})", R"({"using":"class name","value":"d"})",
                        R"({"using":"link text","value":"e"})", R"({"using":"xpath","value":"f"})"}));
}

TEST_F(DriverTest, ANotFoundElementIsEmptyAndRecordsTheError) {
  Attach(true);
  server.Reply("POST", "/session/s1/element",
               R"({"value":{"error":"no such element","message":"m"}})", 404);
  const TWebElement element = driver->FindElementByID("x");
  EXPECT_TRUE(element.IsEmpty());
  EXPECT_EQ(driver->ErrorMessage(), "m");
  EXPECT_EQ(element.FWebDriver, driver.get());

  server.Reply("POST", "/session/s1/element", "<html>proxy error</html>", 502);
  EXPECT_TRUE(driver->FindElementByID("x").IsEmpty());  // parse error dropped
}

TEST_F(DriverTest, FindElementsSendsAnIndentedBody) {
  Attach(false);
  driver->FindElementsByID("main");
  EXPECT_EQ(Sent().body, "{\n\t\"value\": \"main\",\n\t\"sessionid\": \"s1\",\n\t\"using\": \"id\"\n}\n");

  Attach(true);
  server.Reply("POST", "/session/s1/elements",
               R"({"value":[{"element-6066-11e4-a52e-4f735466cecf":"A"},{"element-6066-11e4-a52e-4f735466cecf":"B"}]})");
  const TWebElements elements = driver->FindElementsByID("main");
  EXPECT_EQ(Sent().body,
            "{\n\t\"value\": \"[id=\\\"main\\\" ]\",\n\t\"sessionid\": \"s1\",\n\t\"using\": \"css selector\"\n}\n");
  EXPECT_EQ(elements.FUsingName, "css selector");
  EXPECT_EQ(elements.FKeyName, "[id=\"main\" ]");
  ASSERT_EQ(elements.Count(), 2);
  const TWebElement second = elements.Items(1);
  EXPECT_EQ(second.ElementData, R"({"element-6066-11e4-a52e-4f735466cecf":"B"})");
  EXPECT_EQ(second.ElementID(), "B");
  EXPECT_EQ(second.FWebDriver, driver.get());
  EXPECT_EQ(second.FUsingName, "css selector");
  EXPECT_TRUE(second.W3C);
  EXPECT_TRUE(elements.Items(2).IsEmpty());
  EXPECT_TRUE(elements.Items(-1).IsEmpty());

  server.Reply("POST", "/session/s1/elements", R"({"value":{"error":"e","message":"m"}})", 400);
  const TWebElements failed = driver->FindElementsByTag("a");
  EXPECT_EQ(failed.ElementsData, "");
  EXPECT_EQ(failed.Count(), 0);
  EXPECT_EQ(driver->ErrorMessage(), "m");
}

TEST_F(DriverTest, TheListWrappersUseTheirStrategies) {
  const std::pair<bool, std::vector<std::string>> forms[] = {
      {true, {"css selector", "css selector", "link text", "xpath"}},
      {false, {"tag name", "class name", "link text", "xpath"}},
  };
  for (const auto& [w3c, expected] : forms) {
    Attach(w3c);
    driver->FindElementsByTag("a");
    driver->FindElementsByClassName("b");
    driver->FindElementsByLinkText("c");
    driver->FindElementsByXPath("d");
    std::vector<std::string> strategies;
    for (const auto& request : server.Requests()) {
      const std::string& body = request.body;
      const size_t at = body.find("\"using\": \"") + 10;
      strategies.push_back(body.substr(at, body.find('"', at) - at));
    }
    EXPECT_EQ(strategies, expected);
  }
}

TEST(WebElements, CountAndItemsOfOddLists) {
  TWebElements empty;
  EXPECT_EQ(empty.Count(), 0);
  EXPECT_TRUE(empty.Items(0).IsEmpty());
  TWebElements broken;
  broken.ElementsData = "{}";
  EXPECT_THROW(broken.Count(), tarnvex::Exception);
  TWebElements with_null;
  with_null.ElementsData = "[null]";
  EXPECT_EQ(with_null.Count(), 1);
  EXPECT_THROW(with_null.Items(0), tarnvex::Exception);
}

TEST_F(DriverTest, ActiveElement) {
  Attach(true);
  server.Reply("GET", "/session/s1/element/active", std::string(R"({"value":)") + kW3CRef + "}");
  const TWebElement element = driver->SwitchToActive_element();
  EXPECT_EQ(Sent().method, "GET");
  EXPECT_EQ(element.ElementID(), "E");
  EXPECT_EQ(element.FUsingName, "");
  server.Reply("GET", "/session/s1/element/active", "");
  EXPECT_TRUE(driver->SwitchToActive_element().IsEmpty());
}

struct IdCase {
  bool w3c;
  std::string data;
  std::string id;
};

TEST(WebElement, ElementIdReadsTheReference) {
  const IdCase cases[] = {
      {true, kW3CRef, "E"},
      {true, R"({"any-name":"X","ELEMENT":"Y"})", "X"},
      {true, R"({"n":7})", "7"},
      {false, R"({"ELEMENT":"7"})", "7"},
      {false, kW3CRef, ""},
      {true, "", ""},
      {true, "{}", ""},
      {true, "not json", ""},
      {true, R"({"n":{"deep":1}})", ""},
      {true, "[1]", ""},
  };
  for (const IdCase& c : cases) {
    TWebElement element;
    element.W3C = c.w3c;
    element.ElementData = c.data;
    EXPECT_EQ(element.ElementID(), c.id) << c.data;
  }
}

TWebElement Reference(TWebDriver* driver, bool w3c, const std::string& data) {
  TWebElement element;
  element.FWebDriver = driver;
  element.W3C = w3c;
  element.ElementData = data;
  element.FUsingName = "css selector";
  element.FKeyName = "[id=\"main\" ]";
  return element;
}

TEST_F(DriverTest, ClickAndClearPostTheActionBody) {
  Attach(true);
  TWebElement element = Reference(driver.get(), true, kW3CRef);
  element.Click();
  auto request = Sent();
  EXPECT_EQ(request.path, "/session/s1/element/E/click");
  EXPECT_EQ(request.body,
            "{\n\t\"using\": \"css selector\",\n\t\"value\": \"[id=\\\"main\\\" ]\",\n\t\"id\": \"E\"\n}\n");
  element.Clear();
  EXPECT_EQ(Sent().path, "/session/s1/element/E/clear");

  // Nothing is sent for an empty reference or one without a driver; the
  // server's error reply is recorded, not raised.
  Reference(driver.get(), true, "").Click();
  Reference(nullptr, true, kW3CRef).Click();
  EXPECT_TRUE(server.Requests().empty());
  server.Reply("POST", "/session/s1/element/E/click", R"({"value":{"error":"stale","message":"stale"}})");
  EXPECT_NO_THROW(element.Click());
  EXPECT_EQ(driver->ErrorMessage(), "stale");
}

TEST_F(DriverTest, AttributesPropertiesLocationAndSize) {
  Attach(true);
  server.Reply("GET", "/session/s1/element/E/attribute/href", R"({"value":"/x"})");
  server.Reply("GET", "/session/s1/element/E/rect", R"({"value":{"height":2,"width":1,"x":3,"y":4}})");
  TWebElement w3c = Reference(driver.get(), true, kW3CRef);
  EXPECT_EQ(w3c.AttributeValue("href"), "/x");
  w3c.PropertyValue("value");
  EXPECT_EQ(w3c.Location(), R"({"height":2,"width":1,"x":3,"y":4})");
  w3c.Size();
  TWebElement legacy = Reference(driver.get(), false, R"({"ELEMENT":"L"})");
  legacy.Location();
  legacy.Size();
  // An empty id still asks for attributes (empty path segment), not for the
  // rectangle.
  TWebElement empty = Reference(driver.get(), true, "");
  empty.AttributeValue("a");
  EXPECT_EQ(empty.Location(), "");
  EXPECT_EQ(Reference(nullptr, true, kW3CRef).AttributeValue("a"), "");
  std::vector<std::string> paths;
  for (const auto& request : server.Requests()) paths.push_back(request.method + " " + request.path);
  EXPECT_EQ(paths, (std::vector<std::string>{
                       "GET /session/s1/element/E/attribute/href", "GET /session/s1/element/E/property/value",
                       "GET /session/s1/element/E/rect", "GET /session/s1/element/E/rect",
                       "GET /session/s1/element/L/location", "GET /session/s1/element/L/size",
                       "GET /session/s1/element//attribute/a"}));
}

}  // namespace
}  // namespace tarnvex::webdriver
