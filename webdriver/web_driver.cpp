#include "webdriver/web_driver.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "json/json_document.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/process.h"
#include "webdriver/platform_command.h"

namespace tarnvex::webdriver {

using json::TJsonObject;

TWebDriver::TWebDriver() : FCmd(std::make_unique<TPlatformCommand>()) {}

TWebDriver::~TWebDriver() { TerminateWebDriver(); }

void TWebDriver::Assign(const TWebDriver& source) {
  FAddress = source.FAddress;
  FPort = source.FPort;
  FPath = source.FPath;
  SetTimeout(source.Timeout());
}

std::string TWebDriver::GetHost() const {
  return "http://" + FAddress + ":" + std::to_string(FPort) + FPath;
}

std::string TWebDriver::SessionUrl(const std::string& path) const {
  return GetHost() + "/session/" + FSessionID + path;
}

std::string TWebDriver::ExecuteCommand(TCommandType command_type, const std::string& command,
                                       const std::string& param) {
  FErrorMessage.clear();
  std::string result;
  try {
    switch (command_type) {
      case cGet:
        result = FCmd->ExecuteGet(command);
        break;
      case cPost:
        result = FCmd->ExecutePost(command, param);
        break;
      case cDelete:
        FCmd->ExecuteDelete(command);
        break;
    }
  } catch (...) {
    // A transport never raises; a replaced one is held to the same rule.
  }
  if (FOnResponse) FOnResponse(result);
  return result;
}

std::string TWebDriver::ErrorText(const TJsonObject& holder, const std::string& resp) {
  try {
    std::string message = holder.GetString("message");
    if (!message.empty()) return message;
  } catch (const Exception&) {
  }
  return resp;
}

std::string TWebDriver::ProcResponse(const std::string& resp) {
  FErrorMessage.clear();
  if (resp.empty()) {
    FErrorMessage = "http request error";
    return {};
  }
  TJsonObject reply;
  reply.FromJSON(std::string_view(resp));
  if (!reply.Contains("value")) {
    FErrorMessage = ErrorText(reply, resp);
    if (FPopup_Error) throw Exception(FErrorMessage);
    return {};
  }
  switch (reply.GetType("value")) {
    case json::jdtArray:
      return reply.GetArray("value")->ToJSON(true);
    case json::jdtObject: {
      const TJsonObject* value = reply.GetObject("value");
      if (!value) return {};  // null
      if (value->Contains("message")) {
        FErrorMessage = ErrorText(*value, resp);
        return {};
      }
      return value->ToJSON(true);
    }
    case json::jdtNone:
      return {};
    default:
      return reply.GetString("value");
  }
}

std::string TWebDriver::GetDriverArgs() { return {}; }

void TWebDriver::StartDriver(const std::string& exe_name, const std::string& args) {
  StartDriverProcess(exe_name, args, " ");
}

void TWebDriver::StartDriverProcess(const std::string& exe_name, const std::string& args,
                                    const std::string& separator) {
  if (!files::FileExists(exe_name)) throw Exception("driver file not exists." + exe_name);
  FDriverName = exe_name;
  if (DriverIsRunning()) return;
  FProcessInfo = {};
  const std::string arguments = args.empty() ? GetDriverArgs() : args;
  // A process that cannot be created leaves the record zero; nothing raises.
  FProcessInfo.dwProcessId = process::StartHidden(exe_name + separator + arguments);
}

void TWebDriver::TerminateWebDriver() {
  process::Terminate(FProcessInfo.dwProcessId);
  FProcessInfo = {};
}

bool TWebDriver::WaitForServer(int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  const int saved_timeout = Timeout();
  // One probe must not outlast the whole wait on a server that accepts but
  // does not answer yet.
  SetTimeout(std::max(timeout_ms, 1));
  bool answered = !ExecuteCommand(cGet, GetHost() + "/status").empty();
  while (!answered && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    answered = !ExecuteCommand(cGet, GetHost() + "/status").empty();
  }
  SetTimeout(saved_timeout);
  return answered;
}

}  // namespace tarnvex::webdriver
