#include "app/selenium_chrome_thread.h"

namespace tarnvex::app {

void TSeleniumChromeThread::Execute() {
  // Without a profile or a browser port there is nothing to drive: no server
  // is started and nothing is written.
  if (FprofileId.empty() || remoteDebugPort <= 0) return;
  // The driver launch and the function table are not part of this build yet;
  // the run ends here without touching the response file.
}

}  // namespace tarnvex::app
