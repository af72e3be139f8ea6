#include "webdriver/web_element.h"

#include <memory>

#include "json/json_document.h"
#include "json/lenient_value.h"
#include "platform/text.h"
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

void TWebElement::SendKey(const std::string& key) {
  const std::string id = ElementID();
  FWebDriver->ProcResponse(FWebDriver->ExecuteCommand(cPost, ElementUrl(id, "/value"), KeyboardBody(id, key)));
}

void TWebElement::PostAction(const std::string& path) {
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

void TWebElement::Click() { PostAction("/click"); }

void TWebElement::Clear() { PostAction("/clear"); }

std::string TWebElement::GetElementText(const std::string& path, bool need_id) {
  if (!FWebDriver) return {};
  const std::string id = ElementID();
  if (need_id && id.empty()) return {};
  return FWebDriver->ProcResponse(FWebDriver->ExecuteCommand(cGet, ElementUrl(id, path)));
}

std::string TWebElement::AttributeValue(const std::string& a_name) {
  return GetElementText("/attribute/" + a_name, false);
}

std::string TWebElement::PropertyValue(const std::string& a_name) {
  return GetElementText("/property/" + a_name, false);
}

std::string TWebElement::Location() { return GetElementText(W3C ? "/rect" : "/location", true); }

std::string TWebElement::Size() { return GetElementText(W3C ? "/rect" : "/size", true); }

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

std::string KeyboardBody(const std::string& element_id, const std::string& key) {
  const json::ILenientValue body = json::TLenientValue::ParseString("{}");
  const json::ILenientValue keys = json::TLenientValue::Create(json::stArray);
  const std::u16string units = text::Utf8ToUtf16(key);
  for (size_t i = 0; i < units.size(); ++i) {
    // A surrogate pair stays together: a lone surrogate would make the
    // server refuse the whole body.
    const bool pair = i + 1 < units.size() && units[i] >= 0xD800 && units[i] <= 0xDBFF &&
                      units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
    keys->AsArray()->Add(text::Utf16ToUtf8(std::u16string_view(units).substr(i, pair ? 2 : 1)));
    if (pair) ++i;
  }
  body->PutO("value", keys);
  body->PutS("id", element_id);
  body->PutS("text", key);
  std::string written = body->AsJson(false, true);
  // The typing's line-break marker, alone in a string, is the Enter key.
  static constexpr std::string_view kMarker = R"("\u0013")";
  static constexpr std::string_view kEnter = R"("\ue007")";
  for (size_t at = written.find(kMarker); at != std::string::npos;
       at = written.find(kMarker, at + kEnter.size())) {
    written.replace(at, kMarker.size(), kEnter);
  }
  return written;
}

}  // namespace tarnvex::webdriver
