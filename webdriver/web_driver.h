#pragma once
// The client object of one WebDriver server: its address, the current session,
// the server process it started and the error of the last command. Every
// command builds its URL from the host text, sends it through ExecuteCommand
// and reads the reply envelope with ProcResponse.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/exception.h"
#include "webdriver/driver_command.h"
#include "webdriver/web_element.h"

namespace tarnvex::json {
class TJsonObject;
}

namespace tarnvex::webdriver {

class TBitmap;

enum TCommandType { cGet = 0, cPost = 1, cDelete = 2 };

// Called with every reply text, on the thread that sent the command.
using TExecCommandEvent = std::function<void(const std::string& response)>;

// The record of the started server process (0: none recorded).
struct TProcessInformation {
  pid_t dwProcessId = 0;
};

class TWebDriver {
 public:
  TWebDriver();
  // Terminates a recorded server process.
  virtual ~TWebDriver();
  TWebDriver(const TWebDriver&) = delete;
  TWebDriver& operator=(const TWebDriver&) = delete;

  // Copies address, port, path and the transport's time-out.
  void Assign(const TWebDriver& source);

  // Properties.
  int Timeout() const { return FCmd->Timeout(); }
  void SetTimeout(int timeout_ms) { FCmd->SetTimeout(timeout_ms); }
  const TExecCommandEvent& OnResponse() const { return FOnResponse; }
  void SetOnResponse(TExecCommandEvent handler) { FOnResponse = std::move(handler); }
  const std::string& ErrorMessage() const { return FErrorMessage; }
  bool HasError() const { return !FErrorMessage.empty(); }
  std::string Host() const { return GetHost(); }
  const std::string& Address() const { return FAddress; }
  void SetAddress(std::string address) { FAddress = std::move(address); }
  TDriverCommand& Cmd() const { return *FCmd; }
  void SetCmd(std::unique_ptr<TDriverCommand> cmd) { FCmd = std::move(cmd); }
  bool DriverIsRunning() const { return FProcessInfo.dwProcessId != 0; }
  const std::string& DriverName() const { return FDriverName; }
  int Port() const { return FPort; }
  void SetPort(int port) { FPort = port; }
  const std::string& Path() const { return FPath; }
  void SetPath(std::string path) { FPath = std::move(path); }
  bool Popup_Error() const { return FPopup_Error; }
  void SetPopup_Error(bool popup) { FPopup_Error = popup; }
  const std::string& SessionID() const { return FSessionID; }
  void SetSessionID(std::string id) { FSessionID = std::move(id); }
  bool W3C() const { return FW3C; }

  // "http://address:port" followed by the path prefix.
  std::string GetHost() const;
  // Sends one command and hands the reply to OnResponse; cDelete reads no
  // reply and gives the empty text.
  std::string ExecuteCommand(TCommandType command_type, const std::string& command,
                             const std::string& param = "");
  // The payload of a reply envelope; records the error text. Raises the JSON
  // model's parse error for a reply that is not an object, and Exception for a
  // reply without "value" when Popup_Error is set.
  std::string ProcResponse(const std::string& resp);

  // Server process.
  virtual std::string GetDriverArgs();
  // Raises Exception("driver file not exists." + path) for a missing file.
  virtual void StartDriver(const std::string& exe_name, const std::string& args);
  void TerminateWebDriver();
  uint32_t GetDriverPID() const { return static_cast<uint32_t>(FProcessInfo.dwProcessId); }
  // Polls GET /status every 10 ms until the server answers, at most
  // `timeout_ms`; true once it answered. A just-started server needs a few
  // milliseconds before it listens.
  bool WaitForServer(int timeout_ms);

  // Sessions, navigation, windows and time-outs.
  virtual std::string NewSession(const std::string& debugger_address) = 0;
  std::string NewMobileSession(const std::string& chrome_param);
  std::string GetSession();
  std::string GetAllSession();
  std::string GetCurUrl();
  std::string GetCurrentWindowHandle();
  void CloseWindow(const std::string& param_session_id);
  void DeleteSession(const std::string& param_session_id);
  void Quit();
  // Ends every session the server lists.
  void Clear();
  void SetTimeOutEx(int time_out);
  void PageLoadTimeout(int timeout);
  void Implicitly_Wait(double wait_time);
  void Set_Window_Size(int width, int height, const std::string& window_handle);
  virtual void SwitchToTab(const std::string& tmp_session_id);
  void GetURL(const std::string& url, bool for_wait);
  void Refresh(const std::string& param_session_id);
  std::string GetDocument();
  // Writes the page source with CR LF line ends.
  void SaveCurDocToFile(const std::string& file_name);
  void WaitForLoaded();

  // DevTools lookups on this driver's own host (meaningful when Port is a
  // browser's remote-debugging port).
  std::string GetJsonDebuggerUrl();
  std::string GetBackgroundDebuggerUrl();
  std::string GetJsonSessionID();
  std::string GetNewTabDebuggerUrl();

  // Element location.
  TWebElement FindElement(const std::string& using_name, const std::string& key_name);
  TWebElement FindElementByID(const std::string& id) { return FindElement("id", id); }
  TWebElement FindElementByName(const std::string& id) { return FindElement("name", id); }
  TWebElement FindElementByTag(const std::string& tag_name) { return FindElement("tag name", tag_name); }
  TWebElement FindElementByClassName(const std::string& clas_name) {
    return FindElement("class name", clas_name);
  }
  TWebElement FindElementByLinkText(const std::string& link_text) {
    return FindElement("link text", link_text);
  }
  TWebElement FindElementByXPath(const std::string& xpath) { return FindElement("xpath", xpath); }
  TWebElements FindElements(const std::string& using_name, const std::string& key_name);
  TWebElements FindElementsByID(const std::string& id) { return FindElements("id", id); }
  TWebElements FindElementsByTag(const std::string& tag_name) {
    return FindElements("tag name", tag_name);
  }
  TWebElements FindElementsByClassName(const std::string& clas_name) {
    return FindElements("class name", clas_name);
  }
  TWebElements FindElementsByLinkText(const std::string& link_text) {
    return FindElements("link text", link_text);
  }
  TWebElements FindElementsByXPath(const std::string& xpath) { return FindElements("xpath", xpath); }
  TWebElement SwitchToActive_element();

  // Keyboard input into the element with this id.
  void SendKeys(const std::string& elementid, const std::string& key);

  // Scripts, frames and cookies.
  virtual std::string ExecuteScript(const std::string& script, const std::string& args);
  std::string getAttribute(const std::string& script, const std::string& args);
  virtual void ExecuteScriptByASync(const std::string& script, const std::string& args);
  virtual void SwitchToFrame(const std::string& frame_id, bool is_id);
  virtual void SwitchToParentFrame();
  std::string GetAllCookieJsonArray();
  std::string GetAllCookie();
  std::string GetCookieByName(const std::string& cookie_name);
  std::string AddCookie(const std::string& cookie_name, const std::string& cookie_value);
  void DeleteCookie(const std::string& cookie_name);
  void DeleteAllCookie();

  // Screenshots.
  void ScreenShot(TBitmap& bmp);
  void ScreenShot(const std::string& file_name);
  void Base64ToBmp(const std::string& pic, TBitmap& bmp);
  void CutImage(const std::string& pic, int x, int y, int width, int height, TBitmap& bmp);
  void BmpToPng(const TBitmap& bmp, const std::string& file_name);

 protected:
  // StartDriver with the separator between path and arguments.
  void StartDriverProcess(const std::string& exe_name, const std::string& args,
                          const std::string& separator);
  // Posts a new-session body and adopts the session of the reply.
  std::string PostNewSession(const std::string& body);
  // The text of an error reply's "message". An empty or non-text message would
  // make the error look like success, so the whole reply stands in for it.
  static std::string ErrorText(const json::TJsonObject& holder, const std::string& resp);
  // The host text, "/session/", the session id and `path`.
  std::string SessionUrl(const std::string& path) const;

  std::string FAddress = "127.0.0.1";
  std::unique_ptr<TDriverCommand> FCmd;
  std::string FErrorMessage;
  TExecCommandEvent FOnResponse;
  bool FPopup_Error = true;
  TProcessInformation FProcessInfo;
  std::string FDriverName;
  std::string FPath;
  int FPort = 0;
  std::string FSessionID;
  bool FW3C = false;

 private:
  std::string RunScript(const std::string& path, const std::string& script,
                        const std::string& args, bool with_session);
  std::string FindDevToolsTarget(const std::string& type, bool adopt_id);
  void PostFrame(const std::string& path, const std::string& body);
};

}  // namespace tarnvex::webdriver
