#include "net/http_client.h"

#include <cerrno>
#include <charconv>
#include <vector>

#include "net/http_charset.h"
#include "platform/text.h"

namespace tarnvex::net {
namespace {

constexpr int kRedirectBodyWaitMs = 5000;

bool ClosedByPeer(const ENetException& e) {
  if (dynamic_cast<const EConnClosedGracefully*>(&e) != nullptr) return true;
  const auto* socket_error = dynamic_cast<const ESocketError*>(&e);
  return socket_error != nullptr && (socket_error->LastError() == ECONNRESET || socket_error->LastError() == EPIPE ||
                                     socket_error->LastError() == ECONNABORTED);
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
  return text::AsciiLower(haystack).find(needle) != std::string::npos;
}

// The current path with a relative path appended; "." segments vanish and
// each ".." removes the segment before it.
std::string JoinRelativePath(const std::string& base, const std::string& relative) {
  std::string joined = base.empty() || base.back() != '/' ? base + "/" + relative : base + relative;
  std::vector<std::string> segments;
  size_t start = 1;  // joined starts with "/"
  while (start <= joined.size()) {
    size_t slash = joined.find('/', start);
    std::string segment = joined.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (segment != ".") {
      segments.push_back(segment);
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  std::string path = "/";
  for (size_t i = 0; i < segments.size(); ++i) {
    path += segments[i];
    if (i + 1 < segments.size()) path += '/';
  }
  // A trailing "." or ".." names a folder, and the path keeps its final "/".
  if (path.size() > 1 && path.back() != '/' && (joined.ends_with("/.") || joined.ends_with("/.."))) path += '/';
  return path;
}

uint16_t PortNumber(std::string_view text) {
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > 65535) return 0;
  return static_cast<uint16_t>(value);
}

// A chunk-size line: the hexadecimal size before any extension; text that is
// not hexadecimal counts as 0. Sizes too large for the type saturate, so the
// body limit rejects them.
int64_t ChunkSize(std::string_view line) {
  std::string_view digits = text::TrimBlanks(line.substr(0, line.find(';')));
  uint64_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (digits.empty() || end != digits.data() + digits.size()) return 0;
  if (error == std::errc::result_out_of_range || value > static_cast<uint64_t>(INT64_MAX)) return INT64_MAX;
  return static_cast<int64_t>(value);
}

}  // namespace

std::string THttpClient::Get(const std::string& url) { return Fetch("GET", url); }

std::string THttpClient::Put(const std::string& url) { return Fetch("PUT", url); }

std::string THttpClient::Fetch(const std::string& method, const std::string& url) {
  const std::string body = PerformRequest(method, url);
  return DecodeBody(body, Response.CharSet);  // the charset of the final response
}

TIOHandlerStack& THttpClient::IO() const {
  if (IOHandler() == nullptr) throw ENotConnected("Not Connected");
  return *IOHandler();
}

std::string THttpClient::PerformRequest(const std::string& method, const std::string& url) {
  std::string content;
  redirect_count_ = 0;
  Request.URL = url;
  Request.Method = method;
  try {
    while (true) {
      mid_response_ = false;
      MergeRequestUrl();
      SendRequestAndReadHead();
      if (ProcessResponse(content) == THttpNextStep::nsJustExit) break;
      content.clear();  // only the last response's body is returned
    }
  } catch (const EHttpProtocolException&) {
    if (!EvaluateKeepAlive()) Disconnect();
    throw;
  } catch (...) {
    // A response broken off in its body leaves unread bytes on the line; the
    // next request must not take them for its own answer.
    if (mid_response_) {
      AbortConnection();
    } else if (!EvaluateKeepAlive()) {
      Disconnect();
    }
    throw;
  }
  if (!EvaluateKeepAlive()) Disconnect();
  return content;
}

void THttpClient::MergeRequestUrl() {
  TUri next(Request.URL);
  if (next.Path.starts_with('/')) {
    url_.Path = next.Path;
  } else if (!next.Path.empty()) {
    url_.Path = JoinRelativePath(url_.Path.empty() ? "/" : url_.Path, next.Path);
  } else if (url_.Path.empty()) {
    url_.Path = "/";
  }
  url_.Document = next.Document;
  url_.Params = next.Params;
  url_.Bookmark = next.Bookmark;

  const bool host_given = !next.Host.empty();
  if (host_given) {
    url_.Host = next.Host;
    url_.IPVersion = next.IPVersion;
    url_.Username = next.Username;
    url_.Password = next.Password;
  }
  if (!next.Protocol.empty()) {
    url_.Protocol = text::AsciiLower(next.Protocol);
  } else if (url_.Protocol != "https") {
    url_.Protocol = "http";
  }

  // A relative target keeps the current port; a new authority without a port
  // gets its protocol's default.
  if (!next.Port.empty()) {
    url_.Port = next.Port;
  } else if (host_given || url_.Port.empty()) {
    if (url_.Protocol == "http") {
      url_.Port = "80";
    } else if (url_.Protocol == "https") {
      url_.Port = "443";
    } else if (url_.Port.empty() || host_given) {
      throw EUnknownProtocol("Unknown Protocol");
    }
  }

  Request.URL = url_.GetPathAndParams();
  // Only a GET goes without a body; the body-carrying methods send their
  // empty body's length.
  Request.ContentLength = Request.Method == "GET" || Request.Method == "HEAD" ? -1 : 0;
  std::string host = url_.IPVersion == TIPVersion::IPv6 ? "[" + url_.Host + "]" : url_.Host;
  const bool default_port =
      (url_.Protocol == "http" && url_.Port == "80") || (url_.Protocol == "https" && url_.Port == "443");
  Request.Host = default_port ? host : host + ":" + url_.Port;
}

void THttpClient::SendRequestAndReadHead() {
  bool reused = EnsureConnection();
  for (;;) {
    try {
      BuildAndSendRequest();
      ReadResponseHead();
      return;
    } catch (const ENetException& e) {
      // A kept connection that the peer closed while it was idle fails before
      // any answer; the request then goes once more over a new connection.
      if (!reused || mid_response_ || !ClosedByPeer(e)) throw;
      reused = false;
      AbortConnection();
      Connect();
    }
  }
}

bool THttpClient::EnsureConnection() {
  // There is no TLS layer: a secure URL is never connected to.
  if (url_.Protocol == "https") throw Exception("To use a secure connection you need to assign a TLS I/O handler");
  if (IOHandler() != nullptr) IOHandler()->InputBuffer().Clear();
  const uint16_t port = url_.Port.empty() ? 80 : PortNumber(url_.Port);
  if (Host() != url_.Host || Port() != port || IPVersion() != url_.IPVersion) {
    if (Connected()) Disconnect();
    SetHost(url_.Host);
    SetPort(port);
    SetIPVersion(url_.IPVersion);
  }
  if (ProtocolVersion == THttpProtocolVersion::pv1_0 && Request.Connection.empty()) Request.Connection = "keep-alive";
  if (!Request.AcceptEncoding.empty() && !ContainsNoCase(Request.AcceptEncoding, "identity")) {
    Request.AcceptEncoding += ", identity";
  }
  if (!EvaluateKeepAlive()) Disconnect();
  if (IOHandler() != nullptr) IOHandler()->InputBuffer().Clear();
  CheckForGracefulDisconnect(false);
  if (Connected()) return true;
  Connect();
  return false;
}

void THttpClient::BuildAndSendRequest() {
  THeaderList& headers = Request.RawHeaders;
  headers.Clear();
  const auto add = [&](std::string_view name, const std::string& value) {
    if (!value.empty()) headers.AddValue(name, value);
  };
  add("Connection", Request.Connection);
  if (Request.ContentLength >= 0) headers.AddValue("Content-Length", std::to_string(Request.ContentLength));
  for (const std::string& line : Request.CustomHeaders.Lines()) headers.Add(line);
  add("Host", Request.Host);
  add("Accept", Request.Accept);
  add("Accept-Encoding", Request.AcceptEncoding);
  add("Referer", Request.Referer);
  add("User-Agent", Request.UserAgent);
  if (AllowCookies) add("Cookie", Cookies.CookieHeaderFor(url_));

  TIOHandlerStack& io = IO();
  if (!io.WriteBufferingActive()) io.WriteBufferOpen(-1);
  try {
    const char* version = ProtocolVersion == THttpProtocolVersion::pv1_0 ? "1.0" : "1.1";
    io.WriteLn(Request.Method + " " + Request.URL + " HTTP/" + version);
    for (const std::string& line : headers.Lines()) io.WriteLn(line);
    io.WriteLn();
  } catch (...) {
    io.WriteBufferCancel();
    throw;
  }
  io.WriteBufferClose();  // the whole head in one write
}

std::string THttpClient::ReadHeaderLine() {
  TIOHandlerStack& io = IO();
  std::string line = io.ReadLn();
  if (io.ReadLnTimedout()) throw EReadTimeout("Read timed out.");
  return line;
}

void THttpClient::ReadResponseHead() {
  upgraded_ = false;
  int head_lines = 0;  // interim 1xx heads count towards the limit too
  while (true) {
    Response.ResponseText = ReadHeaderLine();
    mid_response_ = true;
    RetrieveHeaders(head_lines);
    if (AllowCookies) {
      for (const std::string& value : Response.RawHeaders.AllValues("Set-Cookie")) Cookies.AddFromResponse(url_, value);
    }
    const int code = ResponseCode();
    if (code / 100 != 1 || code == 101) return;
    if (++head_lines > MaxHeaderLines) RaiseHeadLimit();
  }
}

void THttpClient::RetrieveHeaders(int& head_lines) {
  Response.ClearHeaderFields();
  try {
    for (std::string line = ReadHeaderLine(); !line.empty(); line = ReadHeaderLine()) {
      if (++head_lines > MaxHeaderLines) RaiseHeadLimit();
      Response.RawHeaders.Add(std::move(line));
    }
  } catch (const EHttpLimitExceeded&) {
    throw;
  } catch (const EConnClosedGracefully&) {
    Disconnect();  // a peer that closes in the head ends the header list
  } catch (...) {
    Disconnect();
    throw;
  }
  Response.ParseHeaderFields();
}

THttpNextStep THttpClient::ProcessResponse(std::string& content) {
  const int code = ResponseCode();
  if (code / 100 == 3 && code != 304) {
    if (Response.Location.empty()) RaiseProtocolError();
    ++redirect_count_;
    if (!HandleRedirects) RaiseProtocolError();
    const bool follow = redirect_count_ < RedirectMaximum;
    if (follow) {
      Request.URL = Response.Location;
      if (code == 303) Request.Method = "GET";
    }
    if (Connected()) ReadResponseBody(nullptr);
    return follow ? THttpNextStep::nsGoToUrl : THttpNextStep::nsJustExit;
  }
  if (code == 101) {
    upgraded_ = true;
    return THttpNextStep::nsJustExit;
  }
  if (code / 100 == 2) {
    ReadResponseBody(code == 204 ? nullptr : &content);
    return THttpNextStep::nsJustExit;
  }
  RaiseProtocolError();
}

void THttpClient::RaiseProtocolError() {
  std::string body;
  try {
    ReadResponseBody(&body);
  } catch (const EConnClosedGracefully&) {
    Disconnect();
  } catch (...) {
    Disconnect();
    throw;
  }
  throw EHttpProtocolException(Response.ResponseText, ResponseCode(), DecodeBody(body, Response.CharSet));
}

void THttpClient::RaiseHeadLimit() const {
  throw EHttpLimitExceeded("HTTP response head has more than " + std::to_string(MaxHeaderLines) + " lines.");
}

void THttpClient::RaiseBodyLimit() const {
  throw EHttpLimitExceeded("HTTP body is larger than " + std::to_string(MaxBodySize) + " bytes.");
}

void THttpClient::ReadResponseBody(std::string* content) {
  const int code = ResponseCode();
  const bool chunked = ContainsNoCase(Response.TransferEncoding, "chunked");
  if (!chunked && Response.HasContentLength() && Response.ContentLength == 0) return;
  if (Request.Method == "HEAD" || code / 100 == 1 || code == 204 || code == 304) return;
  TIOHandlerStack& io = IO();
  if (code / 100 == 3 && io.InputBufferIsEmpty()) {
    io.CheckForDataOnSource(kRedirectBodyWaitMs);
    if (io.InputBufferIsEmpty()) return;
  }
  if (chunked) {
    ReadChunkedBody(content);
    return;
  }
  if (Response.HasContentLength()) {
    if (Response.ContentLength > MaxBodySize) RaiseBodyLimit();
    try {
      if (content) io.ReadStream(*content, Response.ContentLength);
      else io.Discard(Response.ContentLength);
    } catch (const EConnClosedGracefully&) {
      // The peer closed early: what arrived is the body.
    }
    return;
  }
  int64_t total = 0;
  io.ReadStream(
      [&](std::string_view piece) {
        total += static_cast<int64_t>(piece.size());
        if (total > MaxBodySize) RaiseBodyLimit();
        if (content) content->append(piece);
      },
      -1, true);
}

void THttpClient::ReadChunkedBody(std::string* content) {
  TIOHandlerStack& io = IO();
  int64_t total = 0;
  for (int64_t size = ChunkSize(ReadHeaderLine()); size != 0; size = ChunkSize(ReadHeaderLine())) {
    if (size > MaxBodySize - total) RaiseBodyLimit();
    total += size;
    if (content) io.ReadStream(*content, size);
    else io.Discard(size);
    ReadHeaderLine();  // the line break that ends the chunk
  }
  // Trailer lines join the headers and count towards the head's limit.
  for (std::string line = ReadHeaderLine(); !line.empty(); line = ReadHeaderLine()) {
    if (static_cast<int>(Response.RawHeaders.Count()) >= MaxHeaderLines) RaiseHeadLimit();
    Response.RawHeaders.Add(std::move(line));
  }
}

void THttpClient::AbortConnection() {
  Disconnect();
  if (IOHandler() != nullptr) IOHandler()->InputBuffer().Clear();
}

bool THttpClient::EvaluateKeepAlive() {
  if (upgraded_) return Response.KeepAlive = true;
  bool open = false;
  try {
    open = Connected();
  } catch (const Exception&) {
    open = false;
  }
  const bool request_allows = !text::EqualsNoCase(text::TrimBlanks(Request.Connection), "close");
  const std::string_view reply = text::TrimBlanks(Response.Connection);
  const bool response_allows = ProtocolVersion == THttpProtocolVersion::pv1_1 ? !text::EqualsNoCase(reply, "close")
                                                                              : text::EqualsNoCase(reply, "keep-alive");
  return Response.KeepAlive = open && request_allows && response_allows;
}

}  // namespace tarnvex::net
