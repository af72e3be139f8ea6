#pragma once
// The command transport over libcurl (the only place the product uses it; see
// curl_api.h for how it is loaded). One easy handle per transport: the headers set by PrepareRequest stay on it,
// and its multi handle keeps a kept-alive connection to the server.
#include <cstddef>
#include <string>

#include "webdriver/driver_command.h"

struct curl_slist;

namespace tarnvex::webdriver {

struct CurlApi;

// Largest reply body held; a bigger one is a failed exchange (empty text), so
// a hostile server cannot exhaust memory. Screenshots of the largest image the
// decoder accepts stay well below it. The reply head is bounded by libcurl
// itself (300 KB).
inline constexpr size_t kMaxReplyBytes = size_t{256} << 20;

class TPlatformCommand : public TDriverCommand {
 public:
  static constexpr int kConnectTimeoutMs = 60000;
  static constexpr int kSendTimeoutMs = 60000;
  static constexpr int kDefaultResponseTimeoutMs = 60000;

  // `max_reply_bytes`: the cap on one reply body.
  explicit TPlatformCommand(size_t max_reply_bytes = kMaxReplyBytes);
  ~TPlatformCommand() override;

  void PrepareRequest() override;
  int Timeout() const override { return response_timeout_ms_; }
  void SetTimeout(int timeout_ms) override { response_timeout_ms_ = timeout_ms; }
  void ExecuteDelete(const std::string& command) override;
  std::string ExecuteGet(const std::string& url) override;
  std::string ExecutePost(const std::string& url, const std::string& data) override;

 private:
  struct Transfer;
  // Sends the request set up on the handle; `sink` receives the body (null:
  // discarded). False on any failure, the body cap included.
  bool Perform(std::string* sink);
  void SetHeaders(const char* const* lines);

  // How long the exchange loop waits for the socket before it looks at the
  // time-outs again.
  static constexpr int kPollMs = 10;

  const CurlApi* curl_;  // null when libcurl cannot be loaded: every request fails
  void* Fhttp;           // the CURL easy handle
  void* multi_;          // the multi handle that drives it and keeps its connection
  curl_slist* headers_ = nullptr;
  int response_timeout_ms_ = kDefaultResponseTimeoutMs;
  size_t max_reply_bytes_;
};

}  // namespace tarnvex::webdriver
