#include "webdriver/platform_command.h"

#include <chrono>

#include "platform/text.h"
#include "webdriver/curl_api.h"

namespace tarnvex::webdriver {
namespace {

using Clock = std::chrono::steady_clock;

// Before PrepareRequest the client sends none of the standard headers; curl's
// own "Accept: */*" is removed so that the first request carries only what
// the client always sends. "Expect:" keeps curl from waiting for a
// 100-continue that a WebDriver server never sends.
constexpr const char* kBareHeaders[] = {"Accept:", "Expect:", nullptr};
constexpr const char* kStandardHeaders[] = {"Content-Type: application/json", "Accept: */*",
                                            "Expect:", nullptr};

}  // namespace

// What the callbacks of one exchange share.
struct TPlatformCommand::Transfer {
  Transfer(std::string* sink_, size_t max_bytes_, int response_timeout_ms_)
      : sink(sink_), max_bytes(max_bytes_), response_timeout_ms(response_timeout_ms_) {}

  std::string* sink;
  size_t max_bytes;
  int response_timeout_ms;
  bool over_cap = false;
  Clock::time_point last_activity = Clock::now();
  curl_off_t last_down = 0;
  curl_off_t last_up = 0;
  bool sending = false;

  static size_t Write(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (!self->sink) return bytes;
    if (self->sink->size() + bytes > self->max_bytes) {
      self->over_cap = true;
      return 0;  // aborts the transfer
    }
    self->sink->append(data, bytes);
    return bytes;
  }

  // Notes every byte moved; the exchange loop ends a transfer that has been
  // idle too long.
  static int Progress(void* user, curl_off_t down_total, curl_off_t down_now, curl_off_t up_total,
                      curl_off_t up_now) {
    (void)down_total;
    auto* self = static_cast<Transfer*>(user);
    self->sending = up_total > 0 && up_now < up_total;
    if (down_now != self->last_down || up_now != self->last_up) {
      self->last_down = down_now;
      self->last_up = up_now;
      self->last_activity = Clock::now();
    }
    return 0;
  }

  // The send and response time-outs are inactivity limits, as on a socket:
  // a large screenshot may take long as long as its bytes keep coming.
  bool IdleTooLong() const {
    const int limit = sending ? kSendTimeoutMs : response_timeout_ms;
    return limit > 0 && Clock::now() - last_activity > std::chrono::milliseconds(limit);
  }
};

TPlatformCommand::TPlatformCommand(size_t max_reply_bytes)
    : curl_(Curl()),
      Fhttp(curl_ ? curl_->easy_init() : nullptr),
      multi_(curl_ ? curl_->multi_init() : nullptr),
      max_reply_bytes_(max_reply_bytes) {
  if (!Fhttp) return;
  curl_->easy_setopt(Fhttp, CURLOPT_NOSIGNAL, 1L);
  curl_->easy_setopt(Fhttp, CURLOPT_CONNECTTIMEOUT_MS, long{kConnectTimeoutMs});
  // The server is on the loopback address: a proxy from the environment must
  // not be used for it.
  curl_->easy_setopt(Fhttp, CURLOPT_PROXY, "");
  curl_->easy_setopt(Fhttp, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_->easy_setopt(Fhttp, CURLOPT_WRITEFUNCTION, &Transfer::Write);
  curl_->easy_setopt(Fhttp, CURLOPT_XFERINFOFUNCTION, &Transfer::Progress);
  curl_->easy_setopt(Fhttp, CURLOPT_NOPROGRESS, 0L);
  SetHeaders(kBareHeaders);
}

TPlatformCommand::~TPlatformCommand() {
  if (!curl_) return;
  if (Fhttp) curl_->easy_cleanup(Fhttp);
  if (multi_) curl_->multi_cleanup(multi_);
  curl_->slist_free_all(headers_);
}

void TPlatformCommand::SetHeaders(const char* const* lines) {
  curl_slist* list = nullptr;
  for (; *lines; ++lines) list = curl_->slist_append(list, *lines);
  if (Fhttp) curl_->easy_setopt(Fhttp, CURLOPT_HTTPHEADER, list);
  curl_->slist_free_all(headers_);
  headers_ = list;
}

void TPlatformCommand::PrepareRequest() {
  if (!Fhttp) return;
  curl_->easy_setopt(Fhttp, CURLOPT_USERAGENT, "TX http Client");
  SetHeaders(kStandardHeaders);
}

bool TPlatformCommand::Perform(std::string* sink) {
  if (!Fhttp || !multi_) return false;
  Transfer transfer(sink, max_reply_bytes_, response_timeout_ms_);
  curl_->easy_setopt(Fhttp, CURLOPT_WRITEDATA, &transfer);
  curl_->easy_setopt(Fhttp, CURLOPT_XFERINFODATA, &transfer);
  if (curl_->multi_add_handle(multi_, Fhttp) != CURLM_OK) return false;
  // Driven here rather than by curl_easy_perform, whose idle wake-ups come
  // only once a second: a time-out then ends within a few milliseconds.
  bool ok = false;
  for (;;) {
    int running = 0;
    if (curl_->multi_perform(multi_, &running) != CURLM_OK) break;
    int queued = 0;
    const CURLMsg* message = curl_->multi_info_read(multi_, &queued);
    if (message && message->msg == CURLMSG_DONE) {
      ok = message->data.result == CURLE_OK;
      break;
    }
    if (transfer.IdleTooLong()) break;
    curl_->multi_poll(multi_, nullptr, 0, kPollMs, nullptr);
  }
  curl_->multi_remove_handle(multi_, Fhttp);
  if (transfer.over_cap && sink) sink->clear();
  return ok;
}

std::string TPlatformCommand::ExecuteGet(const std::string& url) {
  PrepareRequest();
  FSTM.clear();
  if (Fhttp) {
    curl_->easy_setopt(Fhttp, CURLOPT_URL, url.c_str());
    curl_->easy_setopt(Fhttp, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_->easy_setopt(Fhttp, CURLOPT_HTTPGET, 1L);
    Perform(&FSTM);  // on failure: whatever part of the body had arrived
  }
  return text::SanitizeUtf8(FSTM);
}

std::string TPlatformCommand::ExecutePost(const std::string& url, const std::string& data) {
  const std::string body = text::SanitizeUtf8(data);
  PrepareRequest();
  FSTM.clear();
  if (!Fhttp) return {};
  curl_->easy_setopt(Fhttp, CURLOPT_URL, url.c_str());
  curl_->easy_setopt(Fhttp, CURLOPT_CUSTOMREQUEST, nullptr);
  curl_->easy_setopt(Fhttp, CURLOPT_POST, 1L);
  curl_->easy_setopt(Fhttp, CURLOPT_POSTFIELDS, body.data());
  curl_->easy_setopt(Fhttp, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  const bool ok = Perform(&FSTM);
  curl_->easy_setopt(Fhttp, CURLOPT_POSTFIELDS, nullptr);  // `body` ends here
  return ok ? text::SanitizeUtf8(FSTM) : std::string();
}

void TPlatformCommand::ExecuteDelete(const std::string& command) {
  if (!Fhttp) return;
  curl_->easy_setopt(Fhttp, CURLOPT_URL, command.c_str());
  curl_->easy_setopt(Fhttp, CURLOPT_HTTPGET, 1L);
  curl_->easy_setopt(Fhttp, CURLOPT_CUSTOMREQUEST, "DELETE");
  Perform(nullptr);
}

}  // namespace tarnvex::webdriver
