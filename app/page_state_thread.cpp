#include "app/page_state_thread.h"

#include "app/devtools_socket.h"
#include "app/response_file.h"
#include "app/target_discovery.h"
#include "json/lenient_value.h"
#include "platform/debug_output.h"
#include "platform/text.h"

namespace tarnvex::app {
namespace {

// The reply poll's limit: 501 pauses of 10 ms.
constexpr int kReplyWaitMs = 5010;
constexpr int kReadTimeoutMs = 15000;
constexpr int kLastCommandId = 3;

constexpr const char* kCommands[] = {
    R"({"id":1,"method":"Runtime.evaluate","params":{"expression":"document.baseURI;"}})",
    R"({"id":2,"method":"Runtime.evaluate","params":{"expression":"document.readyState;"}})",
    R"({"id":3,"method":"Runtime.evaluate","params":{"expression":"document.title;"}})",
};

}  // namespace

std::string PageStateText(bool success, const std::string& title, const std::string& base_uri,
                          const std::string& ready_state) {
  const json::ILenientValue state = json::TLenientValue::ParseString("{}");
  state->PutB("success", success);
  state->PutS("title", title);
  state->PutS("baseURI", base_uri);
  state->PutS("ReadyState", ready_state);
  return state->AsJson(false, true);
}

void TPageStateThread::Execute() {
  FReadyState.clear();
  FbaseURI.clear();
  if (FprofileId.empty()) return;
  if (!ResponseLogFile.empty()) {
    WriteValueResponse(ResponseLogFile, PageStateText(false, "", "", ""), 0);
  }
  if (remoteDebugPort <= 0) return;
  std::string address;
  FindFirstPageWsUrl(remoteDebugPort, address);
  if (address.empty()) return;
  DevToolsSocket socket;
  try {
    socket.Open(address, kReadTimeoutMs, [this](const std::string& message) { OnMessage(message); });
    for (const char* command : kCommands) {
      if (socket.Connected()) socket.Send(command);
    }
    FReadSuccess.WaitFor(kReplyWaitMs);
  } catch (...) {
    // A refused connection or a failed send leaves the placeholder.
  }
}

void TPageStateThread::OnMessage(const std::string& message) {
  const json::ILenientValue reply = json::TLenientValue::ParseString(text::TrimControl(message));
  if (!reply) return;
  const json::ILenientValue id_value = reply->GetO("id");
  if (!id_value) return;
  const int64_t id = id_value->AsInteger();
  std::string* const field = id == 1 ? &FbaseURI : id == 2 ? &FReadyState : id == 3 ? &Ftitle : nullptr;
  if (!field) return;
  const json::ILenientValue result = reply->GetO("result");
  const json::ILenientValue evaluation = result ? result->GetO("result") : nullptr;
  if (evaluation) {
    const json::ILenientValue value = evaluation->GetO("value");
    *field = value && value->IsType(json::stString) ? value->AsString() : message;
    if (id == kLastCommandId && !ResponseLogFile.empty()) {
      try {
        const std::string saved =
            WriteValueResponse(ResponseLogFile, PageStateText(true, Ftitle, FbaseURI, FReadyState), 0);
        DebugOutput("API SAVE=" + saved);
      } catch (...) {
        // The placeholder stays; the wait still ends below.
      }
    }
  }
  // Only the last answer ends the wait: stopping at an earlier one would close
  // the connection before the final write.
  if (id == kLastCommandId) FReadSuccess.Set();
}

}  // namespace tarnvex::app
