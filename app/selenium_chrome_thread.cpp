#include "app/selenium_chrome_thread.h"

#include <chrono>
#include <memory>
#include <thread>

#include "app/deadline_command.h"
#include "app/function_table.h"
#include "app/human_typing.h"
#include "app/program_body.h"
#include "app/response_file.h"
#include "app/target_discovery.h"
#include "platform/clipboard.h"
#include "platform/local_port.h"
#include "platform/process.h"
#include "platform/random.h"
#include "webdriver/chrome_driver.h"
#include "webdriver/platform_command.h"

namespace tarnvex::app {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLowestPort = 1024;
constexpr int kFirstDrawRange = 39515;
constexpr int kLaterDrawRange = 60000;
constexpr int kRedrawLimit = 1000;
constexpr int kFallbackBase = 58163;
constexpr int kFallbackRange = 255;

// The program body waits 15000 ms for this worker; the run keeps a second of
// it for stopping the server and the final response.
constexpr int kRunBudgetMs = 14000;
// How long a just-started server may take to answer.
constexpr int kServerStartMs = 5000;

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Guarded: the function runs even without a session; its commands then fail
// one by one.
void AttachSession(webdriver::TChromeDriver& driver, int browser_port) {
  try {
    // A server asked before it listens refuses the session request; one
    // that could not be started is not waited for.
    if (driver.DriverIsRunning()) driver.WaitForServer(kServerStartMs);
    if (driver.NewSession(DebuggerAddress(browser_port)).empty()) driver.GetSession();
  } catch (...) {
  }
}

// Guarded: without a page the session stays on the tab the server chose.
// The lookup has its own 8 s limit, so it is not started once the run's time
// is up (a browser that accepts but never answers has used it all).
void SelectFirstPage(webdriver::TChromeDriver& driver, int browser_port, Clock::time_point deadline) {
  if (Clock::now() >= deadline) return;
  try {
    std::string page_id;
    FindFirstPageId(browser_port, page_id);
    if (!page_id.empty()) driver.SwitchToTab(page_id);
  } catch (...) {
  }
}

}  // namespace

int ChooseDriverPort(const std::function<int(int)>& draw, const std::function<bool(int)>& is_free,
                     const std::function<void()>& pause_1ms) {
  int port = kLowestPort + draw(kFirstDrawRange);
  for (int redraws = 0; !is_free(port);) {
    pause_1ms();
    port = kLowestPort + draw(kLaterDrawRange);
    if (++redraws > kRedrawLimit) return kFallbackBase + draw(kFallbackRange);
  }
  return port;
}

std::string DriverPathFor(const std::string& chrome_exe) {
  const size_t slash = chrome_exe.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "" : chrome_exe.substr(0, slash + 1);
  return folder + "chromedriver";
}

std::string DebuggerAddress(int browser_port) {
  return "\"debuggerAddress\":\"127.0.0.1:" + std::to_string(browser_port) + "\"";
}

void TSeleniumChromeThread::Execute() {
  if (FprofileId.empty() || remoteDebugPort <= 0) return;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kRunBudgetMs);
  Random random;
  const int port = ChooseDriverPort([&](int n) { return random.Draw(n); }, ports::IsLocalPortFree,
                                    [] { Pause(1); });

  webdriver::TChromeDriver driver;  // its destruction ends the server on every path out
  driver.SetCmd(std::make_unique<DeadlineCommand>(std::make_unique<webdriver::TPlatformCommand>(), deadline));
  driver.SetPort(port);
  // A run cut off by the body's limit must not leave its server behind;
  // registered before the start so that the end cannot miss it.
  AtProcessEnd(process::TerminateAllStarted);
  driver.StartDriver(DriverPathFor(ChromeExe), "");  // raises when the file is missing
  const int driver_pid = static_cast<int>(driver.GetDriverPID());
  // An empty path means the manager wants no file; the function still runs.
  if (!ResponseLogFile.empty()) WriteValueResponse(ResponseLogFile, "", driver_pid);

  AttachSession(driver, remoteDebugPort);
  SelectFirstPage(driver, remoteDebugPort, deadline);

  FunctionCall call{FAction, FdataStr, Fdata2Str, FToClick, Findex, FprofileId, dwPluginSleep};
  const TypingEnvironment environment{
      [&](int n) { return random.Draw(n); },
      Pause,
      clipboard::ReadText,
      [] { clipboard::SetEmpty(); },
  };
  RunFunction(driver, call, environment);
  FdataStr = call.data;

  // The session is left in place: the browser keeps running with its tabs.
  driver.TerminateWebDriver();
  if (!ResponseLogFile.empty()) WriteValueResponse(ResponseLogFile, FdataStr, driver_pid);
}

}  // namespace tarnvex::app
