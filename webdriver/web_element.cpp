#include "webdriver/web_element.h"

#include "json/json_document.h"
#include "webdriver/web_driver.h"

namespace tarnvex::webdriver {

using json::TJsonArray;
using json::TJsonObject;

std::string TWebElement::ElementID() const {
  if (ElementData.empty()) return {};
  try {
    TJsonObject reference;
    reference.FromJSON(std::string_view(ElementData));
    // The W3C identifier's name is long and fixed, but the first member is
    // what carries the id whatever its name.
    if (W3C) return reference.Count() > 0 ? reference.Items(0).GetString() : std::string();
    return reference.GetString("ELEMENT");
  } catch (const Exception&) {
    return {};
  }
}

std::string TWebElement::ElementUrl(const std::string& element_id, const std::string& path) const {
  return FWebDriver->GetHost() + "/session/" + FWebDriver->SessionID() + "/element/" + element_id +
         path;
}

void TWebElement::PostAction(const std::string& path) const {
  if (!FWebDriver) return;
  try {
    const std::string id = ElementID();
    if (id.empty()) return;
    TJsonObject body;
    body.SetString("using", FUsingName);
    body.SetString("value", FKeyName);
    body.SetString("id", id);
    FWebDriver->ProcResponse(
        FWebDriver->ExecuteCommand(cPost, ElementUrl(id, path), body.ToJSON(false)));
  } catch (const Exception&) {
  }
}

void TWebElement::Click() const { PostAction("/click"); }

void TWebElement::Clear() const { PostAction("/clear"); }

std::string TWebElement::GetElementText(const std::string& path, bool need_id) const {
  if (!FWebDriver) return {};
  const std::string id = ElementID();
  if (need_id && id.empty()) return {};
  return FWebDriver->ProcResponse(FWebDriver->ExecuteCommand(cGet, ElementUrl(id, path)));
}

std::string TWebElement::AttributeValue(const std::string& a_name) const {
  return GetElementText("/attribute/" + a_name, false);
}

std::string TWebElement::PropertyValue(const std::string& a_name) const {
  return GetElementText("/property/" + a_name, false);
}

std::string TWebElement::Location() const { return GetElementText(W3C ? "/rect" : "/location", true); }

std::string TWebElement::Size() const { return GetElementText(W3C ? "/rect" : "/size", true); }

int TWebElements::Count() const {
  if (ElementsData.empty()) return 0;
  TJsonArray references;
  references.FromJSON(std::string_view(ElementsData));
  return references.Count();
}

TWebElement TWebElements::Items(int index) const {
  TWebElement element;
  if (ElementsData.empty() || index < 0) return element;
  TJsonArray references;
  references.FromJSON(std::string_view(ElementsData));
  if (index >= references.Count()) return element;
  const TJsonObject* reference = references.GetObject(index);
  if (!reference) throw json::EJsonCastException("Cannot cast null into Object");
  element.ElementData = reference->ToJSON(true);
  element.W3C = W3C;
  element.FWebDriver = FWebDriver;
  element.FUsingName = FUsingName;
  element.FKeyName = FKeyName;
  return element;
}

}  // namespace tarnvex::webdriver
