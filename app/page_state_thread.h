#pragma once
// Action 3: reports the first page's base URI, ready state and title.
#include <string>

#include "platform/thread.h"

namespace tarnvex::app {

class TPageStateThread : public WorkerThread {
 public:
  std::string FprofileId;
  std::string FReadyState;
  std::string Ftitle;
  std::string FbaseURI;
  // Set once the answer to the last command has been handled, so that the
  // worker never closes the connection before the final write.
  Event FReadSuccess;
  int remoteDebugPort = 0;
  std::string ResponseLogFile;

  // The message listener; runs on the WebSocket client's reader task.
  void OnMessage(const std::string& message);

 protected:
  void Execute() override;
};

// The page-state text: {"success":…,"title":…,"baseURI":…,"ReadyState":…},
// written by the lenient model with its full escaping.
std::string PageStateText(bool success, const std::string& title, const std::string& base_uri,
                          const std::string& ready_state);

}  // namespace tarnvex::app
