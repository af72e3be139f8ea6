// Keyboard input: the value command of TWebDriver and TWebElement and its body.
#include <string_view>

#include "json/lenient_value.h"
#include "platform/text.h"
#include "webdriver/web_driver.h"
#include "webdriver/web_element.h"

namespace tarnvex::webdriver {

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

void TWebDriver::SendKeys(const std::string& elementid, const std::string& key) {
  ProcResponse(ExecuteCommand(cPost, SessionUrl("/element/" + elementid + "/value"),
                              KeyboardBody(elementid, key)));
}

void TWebElement::SendKey(const std::string& key) const {
  if (!FWebDriver) return;  // nothing to send it through
  const std::string id = ElementID();
  FWebDriver->ProcResponse(FWebDriver->ExecuteCommand(cPost, ElementUrl(id, "/value"), KeyboardBody(id, key)));
}

}  // namespace tarnvex::webdriver
