#pragma once
// The command transport of the WebDriver client: one HTTP request to a
// complete URL, the reply body back as text. It knows nothing of WebDriver;
// telling success from error is the driver's work (ProcResponse).
#include <string>

namespace tarnvex::webdriver {

class TDriverCommand {
 public:
  virtual ~TDriverCommand() = default;
  TDriverCommand(const TDriverCommand&) = delete;
  TDriverCommand& operator=(const TDriverCommand&) = delete;

  // Puts the standard headers on the client; they stay for later requests.
  virtual void PrepareRequest() = 0;
  // The response time-out in milliseconds; 0 and -1 mean no limit.
  virtual int Timeout() const = 0;
  virtual void SetTimeout(int timeout_ms) = 0;
  // None of these raises: a failure gives the empty text (a GET gives what
  // part of the body had arrived). The status code is never looked at.
  virtual void ExecuteDelete(const std::string& command) = 0;
  virtual std::string ExecuteGet(const std::string& url) = 0;
  virtual std::string ExecutePost(const std::string& url, const std::string& data) = 0;

 protected:
  TDriverCommand() = default;

  // The raw bytes of the most recent reply body.
  std::string FSTM;
};

}  // namespace tarnvex::webdriver
