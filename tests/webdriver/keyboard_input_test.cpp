#include <gtest/gtest.h>

#include "tests/webdriver/driver_fixture.h"

namespace tarnvex::webdriver {
namespace {

struct KeyCase {
  std::string key;
  std::string body;  // for the element id E
};

// Escaping by the lenient writer; one string per character; the marker alone
// in a string becomes the Enter key.
const KeyCase kKeyCases[] = {
    {"a", R"({"value":["a"],"id":"E","text":"a"})"},
    {"/", R"({"value":["\/"],"id":"E","text":"\/"})"},
    {"\"", R"({"value":["\""],"id":"E","text":"\""})"},
    {"\\", R"({"value":["\\"],"id":"E","text":"\\"})"},
    {"é", R"({"value":["\u00e9"],"id":"E","text":"\u00e9"})"},
    {"中", R"({"value":["\u4e2d"],"id":"E","text":"\u4e2d"})"},
    {"\x13", R"({"value":["\ue007"],"id":"E","text":"\ue007"})"},
    {"ab\x13", R"({"value":["a","b","\ue007"],"id":"E","text":"ab\u0013"})"},
    {"😀", R"({"value":["\ud83d\ude00"],"id":"E","text":"\ud83d\ude00"})"},
    {"x😀y", R"({"value":["x","\ud83d\ude00","y"],"id":"E","text":"x\ud83d\ude00y"})"},
    {"", R"({"value":[],"id":"E","text":""})"},
};

TEST(KeyboardBody, EscapesCharactersAndMarksEnter) {
  for (const KeyCase& c : kKeyCases) EXPECT_EQ(KeyboardBody("E", c.key), c.body) << c.key;
}

TEST_F(DriverTest, SendKeysAndSendKeyPostTheKeyboardBody) {
  Attach(true);
  driver->SendKeys("E", "ab\x13");
  auto request = Sent();
  EXPECT_EQ(request.path, "/session/s1/element/E/value");
  EXPECT_EQ(request.body, R"({"value":["a","b","\ue007"],"id":"E","text":"ab\u0013"})");

  TWebElement element;
  element.FWebDriver = driver.get();
  element.W3C = true;
  element.ElementData = R"({"element-6066-11e4-a52e-4f735466cecf":"F"})";
  element.SendKey("é");
  request = Sent();
  EXPECT_EQ(request.path, "/session/s1/element/F/value");
  EXPECT_EQ(request.body, R"({"value":["\u00e9"],"id":"F","text":"\u00e9"})");

  TWebElement orphan;
  orphan.ElementData = element.ElementData;
  orphan.SendKey("a");
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(DriverTest, SendKeyLetsProcResponseErrorsPass) {
  Attach(true);
  driver->SetPopup_Error(true);
  server.Reply("POST", "/session/s1/element/E/value", R"({"status":0})");
  EXPECT_THROW(driver->SendKeys("E", "a"), Exception);
  server.Reply("POST", "/session/s1/element/E/value", R"({"value":{"error":"e","message":"m"}})");
  EXPECT_NO_THROW(driver->SendKeys("E", "a"));
  EXPECT_EQ(driver->ErrorMessage(), "m");
}

}  // namespace
}  // namespace tarnvex::webdriver
