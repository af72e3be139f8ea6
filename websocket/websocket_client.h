#pragma once
// TWebSocketClient: an RFC 6455 (version 13) client over the TCP connection,
// with listeners for six kinds of event, a reader task that receives frames
// and a heartbeat task.
//
// Typical use: New(url); SetReadTimeout(ms); AddEventListener(MESSAGE, ...);
// Connect() (raises on TCP failure, returns with Connected() false when the
// handshake fails); Send(text); Disconnect(); destroy (waits for both tasks).
//
// Listeners: OPEN (each raw line of the handshake answer) and UPGRADE run on
// the thread calling Connect; MESSAGE on the reader task; ERROR and CLOSE on
// whichever thread met the error or closes; HEART_BEAT_TIMER on the heartbeat
// task. The client must not be destroyed from a listener on its own tasks.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/tcp_connection.h"
#include "platform/random.h"
#include "websocket/websocket_frame.h"

namespace tarnvex::websocket {

enum class TEventType { OPEN, MESSAGE, ERROR, CLOSE, UPGRADE, HEART_BEAT_TIMER };

class TWebSocketClient;

// OPEN and MESSAGE: one UTF-8 text.
using TEventListener = std::function<void(const std::string&)>;
// ERROR: the exception and the force-disconnect flag (true on entry; clearing
// it keeps the connection open).
using TEventListenerError = std::function<void(const std::exception&, bool& force_disconnect)>;
// CLOSE, UPGRADE and HEART_BEAT_TIMER: the client itself.
using TNotifyEvent = std::function<void(TWebSocketClient& sender)>;

class TWebSocketClient : public net::TTcpClient {
 public:
  // The largest message the reader accepts; a larger one is reported as an
  // error and closes the connection before anything is allocated for it.
  static constexpr uint64_t kMaxMessageSize = 256ull * 1024 * 1024;
  // Bounds on the handshake answer's head.
  static constexpr size_t kMaxHeadLineLength = 16384;
  static constexpr size_t kMaxHeadLines = 255;

  explicit TWebSocketClient(std::string url);
  static std::unique_ptr<TWebSocketClient> New(std::string url);
  // Waits for the reader and heartbeat tasks without a time limit.
  ~TWebSocketClient() override;

  // Each kind takes one listener of its own type; a second one, or one of the
  // wrong type, raises Exception and nothing is stored.
  void AddEventListener(TEventType type, TEventListener listener);
  void AddEventListener(TEventType type, TEventListenerError listener);
  void AddEventListener(TEventType type, TNotifyEvent listener);

  void SetSubProtocol(std::string value);
  uint32_t HeartBeatInterval() const { return heart_beat_interval_; }
  void SetHeartBeatInterval(uint32_t ms) { heart_beat_interval_ = ms; }
  bool AutoCreateHandler() const { return auto_create_handler_; }
  void SetAutoCreateHandler(bool value) { auto_create_handler_ = value; }
  bool Upgraded() const { return FUpgraded; }

  // Never raises; false once the connection is down.
  bool Connected() override;
  // Opens the TCP connection and performs the opening handshake. TCP errors
  // and "The websocket is already connected!" raise; a rejected handshake is
  // reported (ERROR listener, then the connection is closed) and Connect
  // returns with Connected() false.
  void Connect() override;
  // Closes the TCP connection without a close frame; the tasks then end.
  void Disconnect(bool notify_peer = true) override;

  // One masked text frame with the UTF-8 text, written under the client's lock.
  // Raises the transport's exceptions (e.g. on a closed connection).
  void Send(std::string_view message);

  // The handshake's key and the accept value the server must answer with.
  static std::string MakeHandshakeKey(Random& random);
  static std::string ExpectedAccept(std::string_view key);

 protected:
  virtual void ReadFromWebSocket();

 private:
  bool ReadHandshakeResponse();
  bool CheckUpgradeResponse(const std::vector<std::string>& headers) const;
  void ReportException(const std::exception& error);
  void CloseConnection();
  void StartHeartBeat();
  void ReaderLoop();
  void HeartBeatLoop();
  void RunTask(void (TWebSocketClient::*loop)());
  void Deliver(const std::string& payload);
  void WakeHeartBeat();
  void JoinTasks();
  // Copies a listener under the lock, so it runs without holding it.
  template <typename Listener>
  Listener ListenerOf(const Listener& slot) const;

  // Serialises frame writes and the close sequence; recursive, because a CLOSE
  // listener called under it may still send.
  std::recursive_mutex FInternalLock;
  std::string FURL;
  std::string FSecWebSocketAcceptExpectedResponse;
  std::atomic<uint32_t> heart_beat_interval_{30000};
  bool auto_create_handler_ = true;
  std::atomic<bool> FUpgraded{false};
  std::atomic<bool> FClosingEventLocalHandshake{false};
  std::string FSubProtocol;
  Random random_;

  mutable std::mutex listeners_mutex_;
  TEventListener FOnMessage;
  TEventListener FOnOpen;
  TNotifyEvent FOnClose;
  TEventListenerError FOnError;
  TNotifyEvent FOnHeartBeatTimer;
  TNotifyEvent FOnUpgrade;

  // The reader's state that Connect looks at once the reader has started: the
  // last frame's operation code and the payload collected so far.
  std::atomic<uint8_t> last_opcode_{0};
  std::mutex spool_mutex_;
  std::string spool_;

  std::thread FTaskReadFromWebSocket;
  std::thread FTaskHeartBeat;
  // Wakes the heartbeat's pause when the connection goes down.
  std::mutex heart_beat_mutex_;
  std::condition_variable heart_beat_wake_;
  bool heart_beat_woken_ = false;
};

}  // namespace tarnvex::websocket
