#pragma once
// DevTools target discovery: the browser's /json/list and /json/new endpoints
// on 127.0.0.1 give a page's target id and its WebSocket address. Everything
// here is synchronous and never raises; an empty result means "no target".
#include <string>

namespace tarnvex::app {

// The user agent every discovery request sends.
inline constexpr const char* DiscoveryUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/103.0.0.0 "
    "Safari/537.36";

// GETs `url` up to `attempts` times (time-outs in ms growing after failed
// attempts); true when a non-empty reply arrived with status 200.
bool HttpGetWithRetry(const std::string& url, std::string& replyText, int attempts, const std::string& refererText,
                      int timeout);

// The id of the first page target in /json/list, or empty.
void FindFirstPageId(int port, std::string& id);
// The webSocketDebuggerUrl of the first page target in /json/list, or empty
// (also when that first page has none).
void FindFirstPageWsUrl(int port, std::string& wsUrl);
// Opens a new tab through /json/new and yields its webSocketDebuggerUrl, or
// empty.
void OpenNewTabWsUrl(int port, std::string& wsUrl);

// Splits a ws/wss/http/https address into host, path (with its leading "/")
// and port (80 unless given); an empty url leaves the outputs unchanged.
void SplitWsUrl(const std::string& url, std::string& host, std::string& path, int& port);

}  // namespace tarnvex::app
