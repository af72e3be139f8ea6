#pragma once
// Action 2: evaluates the request's expression in the browser's first page and
// reports its value.
#include <string>

#include "platform/thread.h"

namespace tarnvex::app {

class TDocReadyStateThread : public WorkerThread {
 public:
  std::string FprofileId;
  std::string FReadyState;
  std::string FJSStr;
  Event FReadSuccess;  // the reply flag, set by the message listener
  int remoteDebugPort = 0;
  std::string ResponseLogFile;

  // The message listener; runs on the WebSocket client's reader task.
  void OnMessage(const std::string& message);

 protected:
  void Execute() override;
};

}  // namespace tarnvex::app
