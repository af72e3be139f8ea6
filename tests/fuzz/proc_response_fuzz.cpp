// Any text as a WebDriver reply and as an element reference: ProcResponse
// gives a payload or records an error, raising only the system's exceptions;
// ElementID never raises.
#include <cstdint>
#include <string>

#include "webdriver/chrome_driver.h"
#include "webdriver/web_element.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvex;
  const std::string text(reinterpret_cast<const char*>(data), size);
  static webdriver::TChromeDriver driver;
  for (const bool popup : {false, true}) {
    driver.SetPopup_Error(popup);
    try {
      driver.ProcResponse(text);
    } catch (const Exception&) {
    }
  }
  for (const bool w3c : {false, true}) {
    webdriver::TWebElement element;
    element.W3C = w3c;
    element.ElementData = text;
    element.ElementID();
  }
  return 0;
}
