#pragma once
// A TChromeDriver talking to a fake WebDriver server, with a session already
// attached in the W3C or the older form.
#include <gtest/gtest.h>

#include <memory>

#include "tests/support/fake_webdriver.h"
#include "webdriver/chrome_driver.h"

namespace tarnvex::webdriver {

class DriverTest : public ::testing::Test {
 protected:
  DriverTest() { driver->SetPort(server.port()); }

  // Attaches session "s1" through a new-session reply of the chosen form and
  // forgets the requests made so far.
  void Attach(bool w3c) {
    server.Reply("POST", "/session",
                 w3c ? R"({"value":{"sessionId":"s1","capabilities":{}}})"
                     : R"({"sessionId":"s1","status":0,"value":{}})");
    ASSERT_EQ(driver->NewSession(R"("debuggerAddress":"127.0.0.1:9222")"), "s1");
    ASSERT_EQ(driver->W3C(), w3c);
    server.ClearRequests();
  }

  // The one request received since the last ClearRequests.
  tarnvex::testing::RecordedRequest Sent() {
    const auto request = server.Only();
    server.ClearRequests();
    return request;
  }

  tarnvex::testing::FakeWebDriver server;  // outlives the driver's connection
  std::unique_ptr<TChromeDriver> driver = std::make_unique<TChromeDriver>();
};

}  // namespace tarnvex::webdriver
