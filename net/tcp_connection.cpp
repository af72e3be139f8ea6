#include "net/tcp_connection.h"

namespace tarnvex::net {

TTcpClientCustom::TTcpClientCustom() = default;

TTcpClientCustom::~TTcpClientCustom() = default;

void TTcpClientCustom::SetHost(const std::string& host) { host_ = host; }

void TTcpClientCustom::SetPort(uint16_t port) { port_ = port; }

void TTcpClientCustom::SetIPVersion(TIPVersion version) { ip_version_ = version; }

void TTcpClientCustom::SetConnectTimeout(int ms) {
  connect_timeout_ = ms;
  if (io_handler_) io_handler_->ConnectTimeout = ms;
}

void TTcpClientCustom::SetReadTimeout(int ms) {
  read_timeout_ = ms;
  if (io_handler_) io_handler_->ReadTimeout = ms;
}

void TTcpClientCustom::Connect() {
  if (Connected()) throw EAlreadyConnected("Already connected.");
  if (host_.empty()) throw EHostRequired("A Host is required");
  if (port_ == 0) throw EPortRequired("A Port is required");
  if (!io_handler_) io_handler_ = std::make_unique<TIOHandlerStack>();
  io_handler_->Host = host_;
  io_handler_->Port = port_;
  io_handler_->IPVersion = ip_version_;
  io_handler_->ConnectTimeout = connect_timeout_.load();
  io_handler_->ReadTimeout = read_timeout_.load();
  io_handler_->UseNagle = use_nagle_;
  io_handler_->Open();
}

bool TTcpClientCustom::Connected() { return io_handler_ && io_handler_->Connected(); }

void TTcpClientCustom::Disconnect(bool notify_peer) {
  if (notify_peer) {
    try {
      if (Connected()) DisconnectNotifyPeer();
    } catch (...) {
      // The peer's notification is best effort; the close below still runs.
    }
  }
  if (io_handler_ && io_handler_->Opened()) io_handler_->Close();
}

void TTcpClientCustom::CheckForGracefulDisconnect(bool raise) {
  if (io_handler_) {
    io_handler_->CheckForDisconnect(raise, false);
  } else if (raise) {
    throw ENetException("Not Connected");
  }
}

void TTcpClientCustom::FreeIOHandler() { io_handler_.reset(); }

}  // namespace tarnvex::net
