#pragma once
// The TCP client connection that the HTTP client and the WebSocket client
// derive from. Connect creates (and owns) a TIOHandlerStack on first use and
// keeps it across reconnects; all reads and writes go through IOHandler().
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "net/net_exceptions.h"
#include "net/tcp_io_handler.h"
#include "net/uri.h"

namespace tarnvex::net {

class TTcpClientCustom {
 public:
  TTcpClientCustom();
  virtual ~TTcpClientCustom();
  TTcpClientCustom(const TTcpClientCustom&) = delete;
  TTcpClientCustom& operator=(const TTcpClientCustom&) = delete;

  const std::string& Host() const { return host_; }
  virtual void SetHost(const std::string& host);
  uint16_t Port() const { return port_; }
  virtual void SetPort(uint16_t port);
  TIPVersion IPVersion() const { return ip_version_; }
  virtual void SetIPVersion(TIPVersion version);
  // Milliseconds; 0 and -1 mean no limit. Setting either on a connection that
  // has an I/O handler also sets the handler's copy, so a new ReadTimeout
  // applies to the next wait even on an open connection.
  int ConnectTimeout() const { return connect_timeout_; }
  void SetConnectTimeout(int ms);
  int ReadTimeout() const { return read_timeout_; }
  void SetReadTimeout(int ms);
  // false sets TCP_NODELAY at the next Connect.
  bool UseNagle() const { return use_nagle_; }
  void SetUseNagle(bool use_nagle) { use_nagle_ = use_nagle; }

  // Null before the first Connect.
  TIOHandlerStack* IOHandler() const { return io_handler_.get(); }

  // Raises EAlreadyConnected, EHostRequired, EPortRequired, EConnectTimeout or
  // ESocketError; after a failure the socket is released and Connect may be
  // called again.
  virtual void Connect();
  // False without an I/O handler, else the handler's Connected.
  virtual bool Connected();
  // Does nothing when not open; never raises for a second call.
  virtual void Disconnect(bool notify_peer = true);
  virtual void DisconnectNotifyPeer() {}
  // The handler's CheckForDisconnect(raise, false); without a handler and with
  // `raise`, ENetException "Not Connected".
  void CheckForGracefulDisconnect(bool raise = true);

 protected:
  // Frees the I/O handler (closing its socket); the connection forgets it.
  void FreeIOHandler();

 private:
  std::string host_;
  uint16_t port_ = 0;
  TIPVersion ip_version_ = TIPVersion::IPv4;
  std::atomic<int> connect_timeout_{0};
  std::atomic<int> read_timeout_{-1};
  bool use_nagle_ = true;
  std::unique_ptr<TIOHandlerStack> io_handler_;
};

// The connection class the WebSocket client derives from; the HTTP client
// derives from TTcpClientCustom. Both behave the same.
class TTcpClient : public TTcpClientCustom {};

}  // namespace tarnvex::net
