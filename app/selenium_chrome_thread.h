#pragma once
// Action 1: one WebDriver function through a chromedriver that the run starts
// for itself and attaches to the running browser.
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

}  // namespace tarnvex::app
