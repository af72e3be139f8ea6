#include "app/doc_ready_state_thread.h"

#include "app/devtools_socket.h"
#include "app/response_file.h"
#include "app/target_discovery.h"
#include "json/lenient_value.h"
#include "platform/text.h"

namespace tarnvex::app {
namespace {

// The reply poll's limit: 601 pauses of 10 ms.
constexpr int kReplyWaitMs = 6010;
constexpr int kReadTimeoutMs = 25000;

}  // namespace

void TDocReadyStateThread::Execute() {
  FReadyState.clear();
  if (FprofileId.empty()) return;
  // An empty path means the manager wants no file; the expression still runs.
  if (!ResponseLogFile.empty()) WriteValueResponse(ResponseLogFile, "", 0);
  if (remoteDebugPort <= 0) return;
  std::string address;
  FindFirstPageWsUrl(remoteDebugPort, address);
  if (address.empty()) return;
  DevToolsSocket socket;
  try {
    socket.Open(address, kReadTimeoutMs, [this](const std::string& message) { OnMessage(message); });
    if (socket.Connected()) socket.Send(DevToolsCommand(1, "Runtime.evaluate", "expression", FJSStr));
    FReadSuccess.WaitFor(kReplyWaitMs);
  } catch (...) {
    // A refused connection or a failed send leaves the placeholder.
  }
}

void TDocReadyStateThread::OnMessage(const std::string& message) {
  const json::ILenientValue reply = json::TLenientValue::ParseString(text::TrimControl(message));
  if (!reply) return;
  const json::ILenientValue id = reply->GetO("id");
  if (!id || id->AsInteger() != 1) return;
  const json::ILenientValue result = reply->GetO("result");
  const json::ILenientValue evaluation = result ? result->GetO("result") : nullptr;
  if (!evaluation) return;  // a DevTools error reply: no answer yet
  try {
    const json::ILenientValue value = evaluation->GetO("value");
    // Without a value (undefined, a thrown error) the whole reply is the answer.
    FReadyState = value ? value->AsString() : message;
    if (!ResponseLogFile.empty()) WriteValueResponse(ResponseLogFile, FReadyState, 0);
  } catch (...) {
    // An unwritable file still ends the wait.
  }
  FReadSuccess.Set();
}

}  // namespace tarnvex::app
