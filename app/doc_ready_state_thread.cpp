#include "app/doc_ready_state_thread.h"

#include "app/response_file.h"
#include "json/lenient_value.h"
#include "platform/text.h"

namespace tarnvex::app {

void TDocReadyStateThread::Execute() {
  FReadyState.clear();
  if (FprofileId.empty()) return;
  // An empty path means the manager wants no file; the expression still runs.
  if (!ResponseLogFile.empty()) WriteValueResponse(ResponseLogFile, "", 0);
  if (remoteDebugPort <= 0) return;
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
