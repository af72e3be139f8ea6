#pragma once
// THttpClient: the HTTP/1.1 client over the TCP connection with which the
// DevTools endpoints are read. One object is used by one thread at a time; it
// keeps its connection between requests while the responses allow it.
#include <cstdint>
#include <string>

#include "net/http_cookie_store.h"
#include "net/http_exceptions.h"
#include "net/http_message.h"
#include "net/tcp_connection.h"
#include "net/uri.h"

namespace tarnvex::net {

enum class THttpNextStep { nsGoToUrl, nsJustExit };

class THttpClient : public TTcpClientCustom {
 public:
  // GET of the URL, redirects followed when HandleRedirects is set; returns
  // the final body decoded by its charset. Raises EHttpProtocolException for
  // an error status and the connection's exceptions.
  std::string Get(const std::string& url);
  // PUT of the URL with an empty body ("Content-Length: 0"), otherwise as Get.
  std::string Put(const std::string& url);

  int ResponseCode() const { return Response.ResponseCode(); }
  const std::string& ResponseText() const { return Response.ResponseText; }

  bool HandleRedirects = false;
  int RedirectMaximum = 15;
  THttpProtocolVersion ProtocolVersion = THttpProtocolVersion::pv1_1;
  // A head of more than MaxHeaderLines lines, or a body beyond MaxBodySize
  // bytes, raises EHttpLimitExceeded and closes the connection.
  int MaxHeaderLines = 255;
  int64_t MaxBodySize = int64_t{256} * 1024 * 1024;
  bool AllowCookies = true;
  THttpRequest Request;
  THttpResponse Response;
  TCookieStore Cookies;

 private:
  std::string Fetch(const std::string& method, const std::string& url);
  std::string PerformRequest(const std::string& method, const std::string& url);
  void MergeRequestUrl();
  void SendRequestAndReadHead();
  // True when an open connection is reused, false after a new Connect.
  bool EnsureConnection();
  void BuildAndSendRequest();
  void ReadResponseHead();
  void RetrieveHeaders(int& head_lines);
  std::string ReadHeaderLine();
  THttpNextStep ProcessResponse(std::string& content);
  [[noreturn]] void RaiseProtocolError();
  // Reads the body into `content`, or discards it when `content` is null.
  void ReadResponseBody(std::string* content);
  void ReadChunkedBody(std::string* content);
  bool EvaluateKeepAlive();
  // Closes the connection and drops what is left unread of a broken response.
  void AbortConnection();
  // Limits are raised from inside reads; PerformRequest closes the connection.
  [[noreturn]] void RaiseHeadLimit() const;
  [[noreturn]] void RaiseBodyLimit() const;
  TIOHandlerStack& IO() const;

  TUri url_;  // the current URL; relative redirect targets resolve against it
  int redirect_count_ = 0;
  bool upgraded_ = false;      // the last response was 101: the connection stays
  bool mid_response_ = false;  // a status line has been read, the response not finished
};

}  // namespace tarnvex::net
