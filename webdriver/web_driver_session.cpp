// TWebDriver: sessions, navigation, page source, windows, time-outs and the
// DevTools lookups.
#include <chrono>
#include <thread>

#include "json/json_document.h"
#include "platform/files.h"
#include "webdriver/web_driver.h"

namespace tarnvex::webdriver {

using json::TJsonArray;
using json::TJsonObject;

std::string TWebDriver::PostNewSession(const std::string& body) {
  const std::string reply = ExecuteCommand(cPost, GetHost() + "/session", body);
  if (reply.empty()) {
    FErrorMessage = "time out";
    return {};
  }
  TJsonObject document;
  document.FromJSON(std::string_view(reply));
  FW3C = !document.Contains("status");
  const TJsonObject* holder = &document;
  if (!document.Contains("sessionId")) {
    holder = document.GetObject("value");  // created empty when missing
    if (!holder) holder = &document;       // "value": null holds nothing either
  }
  FSessionID = holder->GetString("sessionId");
  if (!FSessionID.empty()) {
    FErrorMessage.clear();
    return FSessionID;
  }
  FErrorMessage = ErrorText(*holder, reply);
  return {};
}

std::string TWebDriver::NewMobileSession(const std::string& chrome_param) {
  return PostNewSession(chrome_param);
}

std::string TWebDriver::GetAllSession() {
  const std::string reply = ExecuteCommand(cGet, GetHost() + "/sessions");
  if (reply.empty()) return {};
  return ProcResponse(reply);
}

std::string TWebDriver::GetSession() {
  const std::string list = GetAllSession();
  if (list.empty()) return {};
  TJsonArray sessions;
  sessions.FromJSON(std::string_view(list));
  for (int i = 0; i < sessions.Count(); ++i) {
    const TJsonObject* item = sessions.GetObject(i);
    const std::string id = item ? item->GetString("id") : std::string();
    if (!id.empty()) {
      FSessionID = id;
      return id;
    }
  }
  return {};
}

std::string TWebDriver::GetCurUrl() { return ProcResponse(ExecuteCommand(cGet, SessionUrl("/url"))); }

std::string TWebDriver::GetCurrentWindowHandle() {
  return ProcResponse(ExecuteCommand(cGet, SessionUrl("/window_handle")));
}

void TWebDriver::CloseWindow(const std::string& param_session_id) {
  const std::string& id = param_session_id.empty() ? FSessionID : param_session_id;
  ExecuteCommand(cDelete, GetHost() + "/session/" + id + "/window");
}

void TWebDriver::DeleteSession(const std::string& param_session_id) {
  const std::string& id = param_session_id.empty() ? FSessionID : param_session_id;
  ExecuteCommand(cDelete, GetHost() + "/session/" + id);
}

void TWebDriver::Quit() {
  if (FSessionID.empty()) return;
  DeleteSession(FSessionID);
  FSessionID.clear();
}

void TWebDriver::Clear() {
  const std::string list = GetAllSession();
  if (list.empty()) return;
  TJsonArray sessions;
  sessions.FromJSON(std::string_view(list));
  for (int i = 0; i < sessions.Count(); ++i) {
    const TJsonObject* item = sessions.GetObject(i);
    const std::string id = item ? item->GetString("id") : std::string();
    CloseWindow(id);
    DeleteSession(id);
  }
}

void TWebDriver::SetTimeOutEx(int time_out) {
  TJsonObject body;
  body.SetInt("pageLoad", time_out);
  ExecuteCommand(cPost, SessionUrl("/timeouts"), body.ToJSON(true));
}

void TWebDriver::PageLoadTimeout(int timeout) {
  TJsonObject body;
  body.SetString("name", "pageLoad");
  body.SetInt("value", timeout);
  ProcResponse(ExecuteCommand(cPost, SessionUrl("/timeouts"), body.ToJSON(false)));
}

void TWebDriver::Implicitly_Wait(double wait_time) {
  TJsonObject body;
  std::string path = "/timeouts";
  if (FW3C) {
    body.SetFloat("implicit", wait_time);
  } else {
    path = "/timeouts/implicit_wait";
    body.SetFloat("ms", wait_time);
    body.SetString("session", FSessionID);
  }
  ProcResponse(ExecuteCommand(cPost, SessionUrl(path), body.ToJSON(true)));
}

void TWebDriver::Set_Window_Size(int width, int height, const std::string& window_handle) {
  TJsonObject body;
  body.SetInt("width", width);
  body.SetInt("height", height);
  std::string path = "/window/rect";
  if (FW3C) {
    body.SetString("windowHandle", window_handle);
  } else {
    path = "/window/" + window_handle + "/size";
  }
  ProcResponse(ExecuteCommand(cPost, SessionUrl(path), body.ToJSON(true)));
}

void TWebDriver::SwitchToTab(const std::string& tmp_session_id) {
  if (tmp_session_id.empty()) return;
  // Current servers name a tab by its bare DevTools target id; older ones by
  // "CDwindow-" and the id, tried only when the bare id is refused.
  const std::string url = SessionUrl("/window");
  ProcResponse(ExecuteCommand(cPost, url, R"({"handle": ")" + tmp_session_id + R"("})"));
  if (!HasError()) return;
  ProcResponse(ExecuteCommand(cPost, url, R"({"handle": "CDwindow-)" + tmp_session_id + R"("})"));
}

void TWebDriver::GetURL(const std::string& url, bool for_wait) {
  TJsonObject body;
  body.SetString("url", url);
  body.SetString("sessionid", FSessionID);
  ProcResponse(ExecuteCommand(cPost, SessionUrl("/url"), body.ToJSON(true)));
  if (!HasError() && for_wait) WaitForLoaded();
}

void TWebDriver::Refresh(const std::string& param_session_id) {
  const std::string& id = param_session_id.empty() ? FSessionID : param_session_id;
  TJsonObject body;
  body.SetString("sessionid", FSessionID);
  ProcResponse(ExecuteCommand(cPost, GetHost() + "/session/" + id + "/refresh", body.ToJSON(true)));
}

std::string TWebDriver::GetDocument() {
  if (FSessionID.empty()) return {};
  return ProcResponse(ExecuteCommand(cGet, SessionUrl("/source")));
}

namespace {

// The page source as a string list writes it: every line, the last one
// included, ended by CR LF; CR, LF and CR LF all end a line.
std::string WithCrLfLines(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      out.append(text, start, std::string::npos).append("\r\n");
      break;
    }
    out.append(text, start, end - start).append("\r\n");
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return out;
}

}  // namespace

void TWebDriver::SaveCurDocToFile(const std::string& file_name) {
  files::WriteFileAtomic(file_name, WithCrLfLines(GetDocument()));
}

void TWebDriver::WaitForLoaded() {
  // The limit counts rounds of one second of pauses; the script requests are
  // not counted.
  for (int elapsed = 0; Timeout() > elapsed;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    elapsed += 1000;
    if (ExecuteScript("return document.readyState", "[]") == "complete") return;
  }
}

std::string TWebDriver::FindDevToolsTarget(const std::string& type, bool adopt_id) {
  try {
    const std::string reply = ExecuteCommand(cGet, GetHost() + "/json/list");
    if (reply.empty()) return {};
    TJsonArray targets;
    targets.FromJSON(std::string_view(reply));
    for (int i = 0; i < targets.Count(); ++i) {
      const TJsonObject* target = targets.GetObject(i);
      if (!target || target->GetString("type") != type) continue;
      const std::string id = target->GetString("id");
      if (id.empty()) continue;
      if (!adopt_id) return id;
      FSessionID = id;
      return target->GetString("webSocketDebuggerUrl");
    }
  } catch (const Exception&) {
    // A reply that does not parse is dropped.
  }
  return {};
}

std::string TWebDriver::GetJsonDebuggerUrl() { return FindDevToolsTarget("page", true); }

std::string TWebDriver::GetBackgroundDebuggerUrl() {
  return FindDevToolsTarget("background_page", true);
}

std::string TWebDriver::GetJsonSessionID() { return FindDevToolsTarget("page", false); }

std::string TWebDriver::GetNewTabDebuggerUrl() {
  try {
    const std::string reply = ExecuteCommand(cGet, GetHost() + "/json/new");
    if (reply.empty()) return {};
    TJsonObject target;
    target.FromJSON(std::string_view(reply));
    const std::string id = target.GetString("id");
    if (target.GetString("type") != "page" || id.empty()) return {};
    FSessionID = id;
    return target.GetString("webSocketDebuggerUrl");
  } catch (const Exception&) {
    return {};
  }
}

}  // namespace tarnvex::webdriver
