// TWebDriver: scripts, frames and cookies.
#include <memory>

#include "json/json_document.h"
#include "webdriver/web_driver.h"

namespace tarnvex::webdriver {

using json::TJsonArray;
using json::TJsonBaseObject;
using json::TJsonObject;

std::string TWebDriver::RunScript(const std::string& path, const std::string& script,
                                  const std::string& args, bool with_session) {
  TJsonObject body;
  body.SetString("script", script);
  // Raises for a malformed (or empty) arguments text before anything is sent.
  body.GetArray("args")->FromJSON(std::string_view(args));
  if (with_session) body.SetString("sessionId", FSessionID);
  return ProcResponse(ExecuteCommand(cPost, SessionUrl(path), body.ToJSON(true)));
}

std::string TWebDriver::ExecuteScript(const std::string& script, const std::string& args) {
  return RunScript("/execute/sync", script, args, false);
}

std::string TWebDriver::getAttribute(const std::string& script, const std::string& args) {
  return RunScript("/execute/sync", script, args, false);
}

void TWebDriver::ExecuteScriptByASync(const std::string& script, const std::string& args) {
  RunScript("/execute/async", script, args, true);
}

void TWebDriver::PostFrame(const std::string& path, const std::string& body) {
  ProcResponse(ExecuteCommand(cPost, SessionUrl(path), body));
}

void TWebDriver::SwitchToParentFrame() {
  PostFrame("/frame/parent", R"({"sessionId":")" + FSessionID + R"("})");
}

void TWebDriver::SwitchToFrame(const std::string& frame_id, bool is_id) {
  try {
    if (frame_id.empty()) {
      SwitchToParentFrame();
      return;
    }
    std::string element_id = frame_id;
    if (!is_id) {
      element_id.clear();
      for (TWebElement (TWebDriver::*search)(const std::string&) :
           {&TWebDriver::FindElementByID, &TWebDriver::FindElementByTag,
            &TWebDriver::FindElementByName, &TWebDriver::FindElementByXPath}) {
        const TWebElement frame = (this->*search)(frame_id);
        if (!frame.IsEmpty()) {
          element_id = frame.ElementID();
          break;
        }
      }
      if (element_id.empty()) return;
    }
    // Current servers want the W3C element identifier; older ones "ELEMENT".
    const char* key = FW3C ? "element-6066-11e4-a52e-4f735466cecf" : "ELEMENT";
    PostFrame("/frame", std::string(R"({"id": {")") + key + R"(": ")" + element_id + R"("}})");
  } catch (const Exception&) {
  }
}

std::string TWebDriver::GetAllCookieJsonArray() {
  const std::string reply = ExecuteCommand(cGet, SessionUrl("/cookie"));
  if (reply.empty()) return "[]";
  return ProcResponse(reply);
}

namespace {

// The cookie list as an array; none for an empty text.
std::unique_ptr<TJsonBaseObject> ParseCookies(const std::string& list) {
  std::unique_ptr<TJsonBaseObject> document = TJsonBaseObject::Parse(std::string_view(list));
  if (document && !dynamic_cast<TJsonArray*>(document.get())) throw EInvalidCast("Invalid class typecast");
  return document;
}

}  // namespace

std::string TWebDriver::GetAllCookie() {
  const auto document = ParseCookies(GetAllCookieJsonArray());
  if (!document) return {};
  const auto& cookies = static_cast<const TJsonArray&>(*document);
  std::string joined;
  for (int i = 0; i < cookies.Count(); ++i) {
    const TJsonObject* cookie = cookies.GetObject(i);
    if (!cookie) continue;
    if (!joined.empty()) joined += "; ";
    joined += cookie->GetString("name") + "=" + cookie->GetString("value");
  }
  return joined;
}

std::string TWebDriver::GetCookieByName(const std::string& cookie_name) {
  const auto document = ParseCookies(GetAllCookieJsonArray());
  if (!document) return {};
  const auto& cookies = static_cast<const TJsonArray&>(*document);
  for (int i = 0; i < cookies.Count(); ++i) {
    const TJsonObject* cookie = cookies.GetObject(i);
    if (cookie && cookie->GetString("name") == cookie_name) return cookie->GetString("value");
  }
  return {};
}

std::string TWebDriver::AddCookie(const std::string& cookie_name, const std::string& cookie_value) {
  TJsonObject body;
  TJsonObject* cookie = body.GetObject("cookie");
  cookie->SetString("name", cookie_name);
  cookie->SetString("value", cookie_value);
  ProcResponse(ExecuteCommand(cPost, SessionUrl("/cookie"), body.ToJSON(true)));
  return {};
}

void TWebDriver::DeleteCookie(const std::string& cookie_name) {
  ExecuteCommand(cDelete, SessionUrl("/cookie/" + cookie_name));
}

void TWebDriver::DeleteAllCookie() { ExecuteCommand(cDelete, SessionUrl("/cookie")); }

}  // namespace tarnvex::webdriver
