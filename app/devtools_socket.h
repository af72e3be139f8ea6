#pragma once
// The one DevTools WebSocket of a worker run: opened inside the worker's
// guarded section, closed quietly when the run ends.
#include <functional>
#include <memory>
#include <string>

namespace tarnvex::websocket {
class TWebSocketClient;
}

namespace tarnvex::app {

class DevToolsSocket {
 public:
  using Listener = std::function<void(const std::string&)>;

  DevToolsSocket();
  // Disconnects when connected and releases the client, which waits for a
  // listener call in progress; errors are swallowed.
  ~DevToolsSocket();
  DevToolsSocket(const DevToolsSocket&) = delete;
  DevToolsSocket& operator=(const DevToolsSocket&) = delete;

  // Creates the client, sets its read time-out, registers `listener` for text
  // messages, connects and pauses 10 ms. A failed
  // TCP connection raises; a failed handshake leaves Connected() false.
  void Open(const std::string& address, int read_timeout_ms, Listener listener);
  bool Connected() const;
  void Send(const std::string& text);

 private:
  std::unique_ptr<websocket::TWebSocketClient> client_;
};

// The DevTools command envelope {"id":…,"method":…,"params":{name: value}},
// built with the JSON document model so that `value` is escaped.
std::string DevToolsCommand(int id, const std::string& method, const std::string& param_name,
                            const std::string& param_value);

}  // namespace tarnvex::app
