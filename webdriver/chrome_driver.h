#pragma once
// The WebDriver client for chromedriver, attached to a Chrome that already
// runs with remote debugging.
#include <string>

#include "webdriver/web_driver.h"

namespace tarnvex::webdriver {

class TChromeDriver : public TWebDriver {
 public:
  static constexpr int kDefaultPort = 9515;

  TChromeDriver();

  // " --port=" and the port: the command line is the path directly followed
  // by it.
  std::string GetDriverArgs() override;
  // As TWebDriver::StartDriver, with the arguments appended to the path
  // without a separator of their own.
  void StartDriver(const std::string& exe_name, const std::string& args) override;
  // `debugger_address` is a JSON member text such as
  // "debuggerAddress":"127.0.0.1:9222", put into both capability forms.
  std::string NewSession(const std::string& debugger_address) override;
};

}  // namespace tarnvex::webdriver
