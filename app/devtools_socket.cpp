#include "app/devtools_socket.h"

#include <chrono>
#include <thread>

#include "json/json_document.h"
#include "websocket/websocket_client.h"

namespace tarnvex::app {

DevToolsSocket::DevToolsSocket() = default;

DevToolsSocket::~DevToolsSocket() {
  try {
    if (client_ && client_->Connected()) client_->Disconnect();
  } catch (...) {
    // The run is over; a failing close changes nothing for the manager.
  }
  client_.reset();
}

void DevToolsSocket::Open(const std::string& address, int read_timeout_ms, Listener listener) {
  client_ = websocket::TWebSocketClient::New(address);
  client_->SetReadTimeout(read_timeout_ms);
  client_->AddEventListener(websocket::TEventType::MESSAGE, websocket::TEventListener(std::move(listener)));
  client_->Connect();
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

bool DevToolsSocket::Connected() const { return client_ && client_->Connected(); }

void DevToolsSocket::Send(const std::string& text) { client_->Send(text); }

std::string DevToolsCommand(int id, const std::string& method, const std::string& param_name,
                            const std::string& param_value) {
  json::TJsonObject command;
  command.SetInt("id", id);
  command.SetString("method", method);
  command.SetObject("params")->SetString(param_name, param_value);
  return command.ToJSON();
}

}  // namespace tarnvex::app
