#pragma once
// Action 1: one WebDriver function through a chromedriver that the run starts
// for itself and attaches to the running browser.
#include <functional>
#include <string>

#include "platform/thread.h"

namespace tarnvex::app {

class TSeleniumChromeThread : public WorkerThread {
 public:
  std::string FprofileId;
  std::string FAction;
  std::string FdataStr;
  std::string Fdata2Str;
  bool FToClick = false;
  int Findex = 0;
  int remoteDebugPort = 0;
  std::string ChromeExe;
  int dwPluginSleep = 0;
  std::string ResponseLogFile;

 protected:
  void Execute() override;
};

// The port for the run's server: 1024 + draw(39515) first, then 1024 +
// draw(60000) after a 1 ms pause while the probe says taken; after 1000
// redraws 58163 + draw(255), not probed.
int ChooseDriverPort(const std::function<int(int)>& draw, const std::function<bool(int)>& is_free,
                     const std::function<void()>& pause_1ms);

// chromedriver in the folder of the browser executable (the folder part ends
// at the last "/" or "\"); the bare name, relative to the current directory,
// when the path has no folder part.
std::string DriverPathFor(const std::string& chrome_exe);

// The goog:chromeOptions member that attaches a session to the browser:
// "debuggerAddress":"127.0.0.1:<port>".
std::string DebuggerAddress(int browser_port);

}  // namespace tarnvex::app
