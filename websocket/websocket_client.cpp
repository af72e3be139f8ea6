#include "websocket/websocket_client.h"

#include <chrono>

#include "platform/base64.h"
#include "platform/text.h"
#include "websocket/sha1.h"

namespace tarnvex::websocket {

namespace {

constexpr std::string_view kAcceptGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

std::string QuotedStr(std::string_view s) {
  std::string out = "'";
  for (const char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

// The value of the first header line named `name` (any letter case), trimmed.
std::string HeaderValue(const std::vector<std::string>& headers, std::string_view name) {
  for (const std::string& line : headers) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (text::EqualsNoCase(text::TrimControl(std::string_view(line).substr(0, colon)), name)) {
      return std::string(text::TrimControl(std::string_view(line).substr(colon + 1)));
    }
  }
  return {};
}

// The protocol after the ws→http and wss→https mapping.
std::string HttpProtocol(const std::string& protocol) {
  std::string lower = text::AsciiLower(protocol);
  const bool secure = protocol.find("wss") != std::string::npos;
  const std::string from = secure ? "wss" : "ws";
  const size_t at = lower.find(from);
  if (at != std::string::npos) lower.replace(at, from.size(), secure ? "https" : "http");
  return lower;
}

std::string TooLarge(uint64_t collected, uint64_t announced) {
  std::string message = "WebSocket message too large: a frame announces " + std::to_string(announced) + " bytes";
  if (collected > 0) message += " after " + std::to_string(collected) + " bytes of the message";
  return message + "; the maximum is " + std::to_string(TWebSocketClient::kMaxMessageSize) + " bytes";
}

uint16_t PortOf(const std::string& text, bool secure) {
  unsigned value = 0;
  bool number = !text.empty() && text.size() <= 5;
  for (const char c : text) {
    if (c < '0' || c > '9') number = false;
    if (number) value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (!number || value == 0 || value > 65535) return secure ? 443 : 80;
  return static_cast<uint16_t>(value);
}

}  // namespace

TWebSocketClient::TWebSocketClient(std::string url) : FURL(std::move(url)) {}

std::unique_ptr<TWebSocketClient> TWebSocketClient::New(std::string url) {
  return std::make_unique<TWebSocketClient>(std::move(url));
}

TWebSocketClient::~TWebSocketClient() {
  JoinTasks();
  if (auto_create_handler_ && IOHandler()) FreeIOHandler();
}

void TWebSocketClient::JoinTasks() {
  for (std::thread* task : {&FTaskReadFromWebSocket, &FTaskHeartBeat}) {
    if (!task->joinable()) continue;
    // Joining itself would never return; a listener that frees the client
    // from a task is a caller error, but must not hang the process.
    if (task->get_id() == std::this_thread::get_id()) {
      task->detach();
    } else {
      task->join();
    }
    // Once the reader is gone nothing will ever end a connection that an
    // ERROR listener chose to keep, and the heartbeat watches it for as long
    // as it stays open: release it here, as freeing the handler would anyway.
    if (task == &FTaskReadFromWebSocket) Disconnect();
  }
}

template <typename Listener>
Listener TWebSocketClient::ListenerOf(const Listener& slot) const {
  std::lock_guard lock(listeners_mutex_);
  return slot;
}

void TWebSocketClient::AddEventListener(TEventType type, TEventListener listener) {
  std::lock_guard lock(listeners_mutex_);
  TEventListener* slot = nullptr;
  if (type == TEventType::OPEN) {
    if (FOnOpen) throw Exception("The open event listener is already assigned!");
    slot = &FOnOpen;
  } else if (type == TEventType::MESSAGE) {
    if (FOnMessage) throw Exception("The message event listener is already assigned!");
    slot = &FOnMessage;
  } else {
    throw Exception("This is not an valid event!");
  }
  *slot = std::move(listener);
}

void TWebSocketClient::AddEventListener(TEventType type, TEventListenerError listener) {
  std::lock_guard lock(listeners_mutex_);
  if (type != TEventType::ERROR) throw Exception("This is not an valid event!");
  if (FOnError) throw Exception("The error event listener is already assigned!");
  FOnError = std::move(listener);
}

void TWebSocketClient::AddEventListener(TEventType type, TNotifyEvent listener) {
  std::lock_guard lock(listeners_mutex_);
  TNotifyEvent* slot = nullptr;
  if (type == TEventType::CLOSE) {
    if (FOnClose) throw Exception("The close event listener is already assigned!");
    slot = &FOnClose;
  } else if (type == TEventType::UPGRADE) {
    if (FOnUpgrade) throw Exception("The upgrade event listener is already assigned!");
    slot = &FOnUpgrade;
  } else if (type == TEventType::HEART_BEAT_TIMER) {
    if (FOnHeartBeatTimer) throw Exception("The heart beat timer event listener is already assigned!");
    slot = &FOnHeartBeatTimer;
  } else {
    throw Exception("This is not an valid event!");
  }
  *slot = std::move(listener);
}

void TWebSocketClient::SetSubProtocol(std::string value) { FSubProtocol = std::move(value); }

bool TWebSocketClient::Connected() {
  try {
    return TTcpClient::Connected();
  } catch (...) {
    return false;
  }
}

std::string TWebSocketClient::MakeHandshakeKey(Random& random) {
  uint8_t bytes[16];
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random.Draw(255));
  return base64::Encode(bytes);
}

std::string TWebSocketClient::ExpectedAccept(std::string_view key) {
  std::string text(key);
  text += kAcceptGuid;
  return base64::Encode(Sha1(text));
}

void TWebSocketClient::Connect() {
  if (Connected()) throw Exception("The websocket is already connected!");
  const net::TUri uri(FURL);
  FClosingEventLocalHandshake = false;
  SetHost(uri.Host);
  SetIPVersion(uri.IPVersion);
  const std::string protocol = HttpProtocol(uri.Protocol);
  const std::string path = text::TrimControl(uri.Path).empty() ? "/" : uri.Path;
  const bool secure = protocol == "https";
  SetPort(PortOf(uri.Port, secure));
  // There is no TLS layer: a secure URL is refused before any connection.
  if (secure) throw Exception("To use a secure connection you need to assign a TLS I/O handler");

  TTcpClient::Connect();

  std::string host = uri.IPVersion == net::TIPVersion::IPv6 ? "[" + uri.Host + "]" : uri.Host;
  if (!uri.Port.empty()) host += ":" + uri.Port;
  std::string target = path + uri.Document;
  if (!uri.Params.empty()) target += "?" + uri.Params;
  const std::string key = MakeHandshakeKey(random_);
  FSecWebSocketAcceptExpectedResponse = ExpectedAccept(key);

  net::TIOHandlerStack& io = *IOHandler();
  // The head leaves in one write: the same bytes, but the server is not woken
  // (and does not parse a partial head) once per line.
  io.WriteBufferOpen();
  io.WriteLn("GET " + target + " HTTP/1.1");
  io.WriteLn("Host: " + host);
  io.WriteLn("User-Agent: TX WebSocket Client");
  io.WriteLn("Connection: keep-alive, Upgrade");
  io.WriteLn("Upgrade: WebSocket");
  io.WriteLn("Sec-WebSocket-Version: 13");
  io.WriteLn("Sec-WebSocket-Key: " + key);
  if (!text::TrimControl(FSubProtocol).empty()) io.WriteLn("Sec-WebSocket-Protocol: " + FSubProtocol);
  io.WriteLn("");
  io.WriteBufferClose();

  ReadFromWebSocket();
  StartHeartBeat();
}

void TWebSocketClient::Disconnect(bool notify_peer) {
  TTcpClient::Disconnect(notify_peer);
  WakeHeartBeat();
}

bool TWebSocketClient::ReadHandshakeResponse() {
  FUpgraded = false;
  std::string line;
  std::vector<std::string> headers;
  try {
    net::TIOHandlerStack& io = *IOHandler();
    while (Connected() && !FUpgraded) {
      const uint8_t byte = io.ReadByte();
      line += static_cast<char>(byte);
      if (line.size() > kMaxHeadLineLength || headers.size() > kMaxHeadLines) {
        throw Exception("The websocket handshake response head is too large");
      }
      if (byte != '\r') continue;
      // Lines are cut at CR, so the empty line that ends the head reads LF CR.
      if (line == "\n\r") {
        if (!CheckUpgradeResponse(headers)) {
          throw Exception("URL is not from an valid websocket server, not a valid response header found");
        }
        FUpgraded = true;
      } else {
        if (const TEventListener listener = ListenerOf(FOnOpen)) listener(line);
        headers.emplace_back(text::TrimControl(line));
      }
      line.clear();
    }
    return true;
  } catch (const std::exception& error) {
    ReportException(error);
    return false;
  }
}

bool TWebSocketClient::CheckUpgradeResponse(const std::vector<std::string>& headers) const {
  if (headers.empty()) return false;
  const std::string& status = headers.front();
  if (status.find("HTTP/1.1 101") == std::string::npos && status.find("HTTP/1.1") != std::string::npos) {
    throw Exception(status.substr(std::min<size_t>(9, status.size())));
  }
  if (text::AsciiLower(HeaderValue(headers, "Connection")) != "upgrade") return false;
  if (text::AsciiLower(HeaderValue(headers, "Upgrade")) != "websocket") return false;
  const std::string accept = HeaderValue(headers, "Sec-WebSocket-Accept");
  if (accept == FSecWebSocketAcceptExpectedResponse || accept.empty()) return true;
  throw Exception("Unexpected return key on Sec-WebSocket-Accept in handshake!");
}

void TWebSocketClient::ReadFromWebSocket() {
  last_opcode_ = 0;
  {
    std::lock_guard lock(spool_mutex_);
    spool_.clear();
  }
  if (!ReadHandshakeResponse() || !Connected()) return;
  if (FTaskReadFromWebSocket.joinable()) FTaskReadFromWebSocket.join();
  FTaskReadFromWebSocket = std::thread(&TWebSocketClient::RunTask, this, &TWebSocketClient::ReaderLoop);
  if ((!Connected() || !FUpgraded) && last_opcode_ != static_cast<uint8_t>(TFrameOpcode::OP_CLOSE) &&
      !FClosingEventLocalHandshake) {
    std::string spool;
    {
      std::lock_guard lock(spool_mutex_);
      spool = spool_;
    }
    throw Exception("Websocket not connected or timeout " + QuotedStr(text::SanitizeUtf8(spool)));
  }
  if (const TNotifyEvent listener = ListenerOf(FOnUpgrade)) listener(*this);
}

void TWebSocketClient::ReportException(const std::exception& error) {
  bool force_disconnect = true;
  if (const TEventListenerError listener = ListenerOf(FOnError)) listener(error, force_disconnect);
  if (force_disconnect) CloseConnection();
}

void TWebSocketClient::CloseConnection() {
  if (!Connected()) return;
  std::lock_guard lock(FInternalLock);
  // Another thread may have closed while this one waited for the lock.
  if (!Connected()) return;
  FClosingEventLocalHandshake = true;
  try {
    IOHandler()->Write(EncodeFrame({}, TFrameOpcode::OP_CLOSE, random_));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  } catch (...) {
    // The close frame could not go out; the socket must not stay half open,
    // and unread bytes must not keep Connected() true once it is gone.
    if (net::TIOHandlerStack* io = IOHandler()) io->InputBuffer().Clear();
    Disconnect();
    throw;
  }
  if (net::TIOHandlerStack* io = IOHandler()) {
    io->InputBuffer().Clear();
    io->CloseGracefully();
  }
  Disconnect();
  if (const TNotifyEvent listener = ListenerOf(FOnClose)) listener(*this);
}

void TWebSocketClient::Send(std::string_view message) {
  std::lock_guard lock(FInternalLock);
  net::TIOHandlerStack* io = IOHandler();
  if (!io) throw net::ENotConnected("Not Connected");
  io->Write(EncodeFrame(message, TFrameOpcode::OP_TEXT, random_));
}

void TWebSocketClient::StartHeartBeat() {
  if (FTaskHeartBeat.joinable()) FTaskHeartBeat.join();
  FTaskHeartBeat = std::thread(&TWebSocketClient::RunTask, this, &TWebSocketClient::HeartBeatLoop);
}

void TWebSocketClient::RunTask(void (TWebSocketClient::*loop)()) {
  try {
    (this->*loop)();
  } catch (...) {
    // An error while reporting an error (the close frame could not be
    // written) ends the task; it must not end the process.
  }
  WakeHeartBeat();
}

void TWebSocketClient::WakeHeartBeat() {
  {
    std::lock_guard lock(heart_beat_mutex_);
    heart_beat_woken_ = true;
  }
  heart_beat_wake_.notify_all();
}

void TWebSocketClient::Deliver(const std::string& payload) {
  // Frames without payload are not handed on.
  if (payload.empty()) return;
  if (const TEventListener listener = ListenerOf(FOnMessage)) listener(text::SanitizeUtf8(payload));
}

void TWebSocketClient::ReaderLoop() {
  bool in_message = false;  // a fragmented message is being collected in spool_
  try {
    net::TIOHandlerStack& io = *IOHandler();
    while (Connected()) {
      const uint8_t first = io.ReadByte();
      const bool final = (first & 0x80) != 0;
      const uint8_t opcode = first & 0x0F;
      const bool control = opcode >= 8;
      // A byte that cannot start a frame (such as the LF that ends the
      // handshake head) is skipped.
      if (!final && (control || opcode > 2)) continue;
      last_opcode_ = opcode;
      const uint8_t second = io.ReadByte();
      uint64_t length = second & 0x7F;
      if (length == 126) {
        length = io.ReadUInt16(true);
      } else if (length == 127) {
        length = io.ReadUInt64(true);
      }
      size_t collected = 0;
      if (in_message && !control) {
        std::lock_guard lock(spool_mutex_);
        collected = spool_.size();
      }
      // Checked before anything is allocated for the payload.
      if (length > TWebSocketClient::kMaxMessageSize - collected) throw Exception(TooLarge(collected, length));
      uint8_t mask[4] = {0, 0, 0, 0};
      const bool masked = (second & 0x80) != 0;
      if (masked) {
        for (uint8_t& byte : mask) byte = io.ReadByte();
      }
      std::string payload;
      io.ReadStream(payload, static_cast<int64_t>(length));
      if (masked) {
        for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(payload[i] ^ mask[i % 4]);
      }

      if (opcode == static_cast<uint8_t>(TFrameOpcode::OP_PING)) {
        // The pong carries the ping's bytes unchanged.
        std::lock_guard lock(FInternalLock);
        io.Write(EncodeFrame(payload, TFrameOpcode::OP_PONG, random_));
      } else if (opcode == static_cast<uint8_t>(TFrameOpcode::OP_CLOSE)) {
        if (!FClosingEventLocalHandshake) CloseConnection();
        break;
      } else if (control) {
        Deliver(payload);
      } else if (opcode == static_cast<uint8_t>(TFrameOpcode::OP_CONTINUATION) && in_message) {
        std::string message;
        {
          std::lock_guard lock(spool_mutex_);
          spool_ += payload;
          if (final) message.swap(spool_);
        }
        if (final) {
          in_message = false;
          Deliver(message);
        }
      } else if (in_message) {
        throw Exception("A new websocket message started inside a fragmented message");
      } else if (!final) {
        in_message = true;
        std::lock_guard lock(spool_mutex_);
        spool_ = std::move(payload);
      } else {
        Deliver(payload);
      }
    }
  } catch (const std::exception& error) {
    ReportException(error);
  }
}

void TWebSocketClient::HeartBeatLoop() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point last_notify = Clock::now();
  try {
    while (Connected() && heart_beat_interval_ > 0) {
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last_notify);
      if (elapsed.count() >= static_cast<long long>(heart_beat_interval_)) {
        if (const TNotifyEvent listener = ListenerOf(FOnHeartBeatTimer)) listener(*this);
        last_notify = Clock::now();
      }
      std::unique_lock lock(heart_beat_mutex_);
      heart_beat_wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return heart_beat_woken_; });
      heart_beat_woken_ = false;
    }
  } catch (const std::exception& error) {
    ReportException(error);
  }
}

}  // namespace tarnvex::websocket
