#include "app/target_discovery.h"

#include <charconv>
#include <functional>

#include "json/json_document.h"
#include "net/http_client.h"
#include "platform/text.h"

namespace tarnvex::app {
namespace {

constexpr int kDiscoveryTimeoutMs = 8000;

enum class Method { Get, Put };

// The fetch behind every discovery request. A failed attempt (refused,
// timed out, error status) raises both time-outs to `timeout` x attempt.
bool RequestWithRetry(Method method, const std::string& url, std::string& replyText, int attempts,
                      const std::string& refererText, int timeout) {
  try {
    net::THttpClient client;
    client.HandleRedirects = true;
    client.SetConnectTimeout(timeout);
    client.SetReadTimeout(timeout);
    if (!refererText.empty()) client.Request.Referer = refererText;
    client.Request.UserAgent = DiscoveryUserAgent;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
      replyText.clear();
      try {
        replyText = method == Method::Put ? client.Put(url) : client.Get(url);
      } catch (const std::exception&) {
        client.SetConnectTimeout(timeout * attempt);
        client.SetReadTimeout(timeout * attempt);
        continue;
      }
      if (!replyText.empty()) return client.ResponseCode() == 200;
    }
  } catch (const std::exception&) {
  }
  return false;
}

std::string EndpointUrl(int port, const char* endpoint) {
  return "http://127.0.0.1:" + std::to_string(port) + endpoint;
}

// Walks /json/list to the first page target with an id and hands it to
// `take`; a reply that is not a list of objects ends the walk silently.
void ScanFirstPage(int port, const std::function<void(const json::TJsonObject&)>& take) {
  std::string reply;
  if (!RequestWithRetry(Method::Get, EndpointUrl(port, "/json/list"), reply, 1, "", kDiscoveryTimeoutMs)) return;
  try {
    json::TJsonArray targets;
    if (!reply.empty()) targets.FromUtf8JSON(reply);
    for (int i = 0; i < targets.Count(); ++i) {
      const json::TJsonObject* target = targets.GetObject(i);
      if (target == nullptr) return;  // a null entry is no target either
      if (target->GetString("type") == "page" && !target->GetString("id").empty()) {
        take(*target);
        return;
      }
    }
  } catch (const std::exception&) {
  }
}

}  // namespace

bool HttpGetWithRetry(const std::string& url, std::string& replyText, int attempts, const std::string& refererText,
                      int timeout) {
  return RequestWithRetry(Method::Get, url, replyText, attempts, refererText, timeout);
}

void FindFirstPageId(int port, std::string& id) {
  id.clear();
  ScanFirstPage(port, [&](const json::TJsonObject& target) { id = target.GetString("id"); });
}

void FindFirstPageWsUrl(int port, std::string& wsUrl) {
  wsUrl.clear();
  ScanFirstPage(port, [&](const json::TJsonObject& target) { wsUrl = target.GetString("webSocketDebuggerUrl"); });
}

void OpenNewTabWsUrl(int port, std::string& wsUrl) {
  wsUrl.clear();
  // Current browsers open a tab only for PUT; a GET is answered with 405.
  std::string reply;
  if (!RequestWithRetry(Method::Put, EndpointUrl(port, "/json/new"), reply, 1, "", kDiscoveryTimeoutMs)) return;
  try {
    json::TJsonObject target;
    if (!reply.empty()) target.FromUtf8JSON(reply);
    if (target.GetString("type") == "page" && !target.GetString("id").empty()) {
      wsUrl = target.GetString("webSocketDebuggerUrl");
    }
  } catch (const std::exception&) {
  }
}

void SplitWsUrl(const std::string& url, std::string& host, std::string& path, int& port) {
  if (url.empty()) return;
  std::string_view rest = url;
  for (const char* prefix : {"http://", "https://", "ws://", "wss://"}) {
    if (text::StartsWithNoCase(rest, prefix)) {
      rest.remove_prefix(std::string_view(prefix).size());
      break;
    }
  }
  host = rest;
  path = "/";
  port = 80;
  if (size_t slash = rest.find('/'); slash != std::string_view::npos) {
    host = rest.substr(0, slash);
    path = rest.substr(slash);
  }
  if (size_t colon = host.find(':'); colon != std::string::npos) {
    const std::string_view digits = std::string_view(host).substr(colon + 1);
    int value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    port = error == std::errc() && end == digits.data() + digits.size() && !digits.empty() ? value : 80;
    host.erase(colon);
  }
}

}  // namespace tarnvex::app
