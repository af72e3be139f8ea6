// TWebDriver: element location.
#include "json/json_document.h"
#include "platform/text.h"
#include "webdriver/web_driver.h"

namespace tarnvex::webdriver {
namespace {

struct Locator {
  std::string using_name;
  std::string value;
};

// The W3C form knows no "id", "name" or "class name" strategy: those become
// CSS selectors (the value inserted unescaped), as does "tag name". Used by
// the single and the list search alike.
Locator W3CLocator(const std::string& using_name, const std::string& key_name) {
  using text::EqualsNoCase;
  if (EqualsNoCase(using_name, "id")) return {"css selector", "[id=\"" + key_name + "\" ]"};
  if (EqualsNoCase(using_name, "tag name")) return {"css selector", key_name};
  if (EqualsNoCase(using_name, "class name")) return {"css selector", "." + key_name};
  if (EqualsNoCase(using_name, "name")) return {"css selector", "[name=\"" + key_name + "\"]"};
  return {using_name, key_name};
}

}  // namespace

TWebElement TWebDriver::FindElement(const std::string& using_name, const std::string& key_name) {
  const Locator locator = FW3C ? W3CLocator(using_name, key_name) : Locator{using_name, key_name};
  json::TJsonObject body;
  body.SetString("using", locator.using_name);
  body.SetString("value", locator.value);
  std::string reference;
  try {
    reference = ProcResponse(ExecuteCommand(cPost, SessionUrl("/element"), body.ToJSON(true)));
  } catch (const Exception&) {
  }
  TWebElement element;
  element.FWebDriver = this;
  element.FUsingName = locator.using_name;
  element.FKeyName = locator.value;
  if (!HasError()) {
    element.W3C = FW3C;
    element.ElementData = reference;
  }
  return element;
}

TWebElements TWebDriver::FindElements(const std::string& using_name, const std::string& key_name) {
  // Rewritten like the single search: a W3C server refuses "id" and
  // "class name", so those lists would never find anything.
  const Locator locator = FW3C ? W3CLocator(using_name, key_name) : Locator{using_name, key_name};
  TWebElements elements;
  try {
    json::TJsonObject body;
    body.SetString("value", locator.value);
    body.SetString("sessionid", FSessionID);
    body.SetString("using", locator.using_name);
    const std::string references =
        ProcResponse(ExecuteCommand(cPost, SessionUrl("/elements"), body.ToJSON(false)));
    elements.FWebDriver = this;
    elements.FUsingName = locator.using_name;
    elements.FKeyName = locator.value;
    if (!HasError()) {
      elements.W3C = FW3C;
      elements.ElementsData = references;
    }
  } catch (const Exception&) {
  }
  return elements;
}

TWebElement TWebDriver::SwitchToActive_element() {
  const std::string reply = ExecuteCommand(cGet, SessionUrl("/element/active"));
  std::string reference;
  try {
    reference = ProcResponse(reply);
  } catch (const Exception&) {
  }
  TWebElement element;
  element.FWebDriver = this;
  if (!HasError()) {
    element.W3C = FW3C;
    element.ElementData = reference;
  }
  return element;
}

}  // namespace tarnvex::webdriver
