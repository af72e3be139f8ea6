#include "webdriver/chrome_driver.h"

namespace tarnvex::webdriver {

TChromeDriver::TChromeDriver() {
  FPort = kDefaultPort;
  FPath.clear();
}

std::string TChromeDriver::GetDriverArgs() { return " --port=" + std::to_string(FPort); }

void TChromeDriver::StartDriver(const std::string& exe_name, const std::string& args) {
  StartDriverProcess(exe_name, args, "");
}

std::string TChromeDriver::NewSession(const std::string& debugger_address) {
  // The same Chrome options in the W3C form and in the older form; the member
  // text goes in unchanged.
  const std::string body =
      R"({"capabilities": {"firstMatch": [{}], "alwaysMatch": {"browserName": "chrome", )"
      R"("platformName": "any", "pageLoadStrategy": "normal" ,"goog:chromeOptions": {)" +
      debugger_address + R"(}}},)" +
      R"( "desiredCapabilities": {"browserName": "chrome", "version": "", "platform": "ANY" , )"
      R"("pageLoadStrategy": "normal" ,)" +
      R"( "goog:chromeOptions": {)" + debugger_address + R"(}}})";
  return PostNewSession(body);
}

}  // namespace tarnvex::webdriver
