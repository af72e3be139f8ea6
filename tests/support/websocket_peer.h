#pragma once
// Server-side WebSocket helpers for scripted peers: answering the opening
// handshake and reading or writing single frames as exact bytes.
#include <cstdint>
#include <string>

#include "tests/support/scripted_server.h"

namespace tarnvex::testing {

// The value of header `name` (exact case) in a request head; empty if absent.
std::string HeaderOf(const std::string& head, const std::string& name);
// base64(SHA-1(key + GUID)) computed independently of the code under test.
std::string AcceptFor(const std::string& key);
// The usual 101 answer for the request head, with the right accept value.
std::string UpgradeAnswer(const std::string& request_head);
// Reads the request head and sends UpgradeAnswer; returns the head.
std::string AcceptHandshake(PeerConnection& peer);

// An unmasked (or, with a mask, masked) server frame.
std::string ServerFrame(uint8_t first_byte, const std::string& payload);
std::string MaskedServerFrame(uint8_t first_byte, const std::string& payload, const uint8_t mask[4]);

struct ClientFrame {
  std::string raw;      // every byte as received
  uint8_t first = 0;    // FIN and operation code
  uint8_t second = 0;   // MASK flag and length code
  uint8_t mask[4] = {};
  std::string payload;  // unmasked
  bool complete = false;
};
ClientFrame ReadClientFrame(PeerConnection& peer, int timeout_ms = 5000);

}  // namespace tarnvex::testing
