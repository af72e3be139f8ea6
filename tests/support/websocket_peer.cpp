#include "tests/support/websocket_peer.h"

#include <array>
#include <cstring>
#include <vector>

namespace tarnvex::testing {

namespace {

// A plain, test-only SHA-1 and base64, so the client's own are checked
// against something they do not share code with.
std::array<uint8_t, 20> ReferenceSha1(const std::string& message) {
  uint32_t h[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  std::vector<uint8_t> m(message.begin(), message.end());
  const uint64_t bit_length = static_cast<uint64_t>(m.size()) * 8;
  m.push_back(0x80);
  while (m.size() % 64 != 56) m.push_back(0);
  for (int i = 7; i >= 0; --i) m.push_back(static_cast<uint8_t>(bit_length >> (i * 8)));
  auto rotl = [](uint32_t v, int n) { return (v << n) | (v >> (32 - n)); };
  for (size_t block = 0; block < m.size(); block += 64) {
    uint32_t w[80];
    for (int t = 0; t < 16; ++t) {
      w[t] = 0;
      for (int b = 0; b < 4; ++b) w[t] = (w[t] << 8) | m[block + 4 * t + b];
    }
    for (int t = 16; t < 80; ++t) w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int t = 0; t < 80; ++t) {
      const uint32_t f = t < 20 ? ((b & c) | ((~b) & d)) : t < 40 ? (b ^ c ^ d) : t < 60 ? ((b & c) ^ (b & d) ^ (c & d)) : (b ^ c ^ d);
      const uint32_t k = t < 20 ? 0x5A827999u : t < 40 ? 0x6ED9EBA1u : t < 60 ? 0x8F1BBCDCu : 0xCA62C1D6u;
      const uint32_t temp = rotl(a, 5) + f + e + k + w[t];
      e = d, d = c, c = rotl(b, 30), b = a, a = temp;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
  }
  std::array<uint8_t, 20> out{};
  for (int i = 0; i < 20; ++i) out[i] = static_cast<uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
  return out;
}

std::string ReferenceBase64(const uint8_t* data, size_t size) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < size; i += 3) {
    const uint32_t n = static_cast<uint32_t>(data[i]) << 16 | (i + 1 < size ? data[i + 1] << 8 : 0) |
                       (i + 2 < size ? data[i + 2] : 0);
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += i + 1 < size ? alphabet[(n >> 6) & 63] : '=';
    out += i + 2 < size ? alphabet[n & 63] : '=';
  }
  return out;
}

std::string LengthBytes(uint8_t mask_bit, size_t length) {
  std::string out;
  if (length <= 125) {
    out += static_cast<char>(mask_bit | length);
  } else if (length < 65536) {
    out += static_cast<char>(mask_bit | 126);
    out += static_cast<char>(length >> 8);
    out += static_cast<char>(length & 0xFF);
  } else {
    out += static_cast<char>(mask_bit | 127);
    for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>((static_cast<uint64_t>(length) >> shift) & 0xFF);
  }
  return out;
}

}  // namespace

std::string HeaderOf(const std::string& head, const std::string& name) {
  const std::string marker = "\r\n" + name + ": ";
  const size_t at = head.find(marker);
  if (at == std::string::npos) return {};
  const size_t start = at + marker.size();
  return head.substr(start, head.find("\r\n", start) - start);
}

std::string AcceptFor(const std::string& key) {
  const auto digest = ReferenceSha1(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11");
  return ReferenceBase64(digest.data(), digest.size());
}

std::string UpgradeAnswer(const std::string& request_head) {
  return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Accept: " +
         AcceptFor(HeaderOf(request_head, "Sec-WebSocket-Key")) + "\r\n\r\n";
}

std::string AcceptHandshake(PeerConnection& peer) {
  const std::string head = peer.ReadUntil("\r\n\r\n");
  peer.Send(UpgradeAnswer(head));
  return head;
}

std::string ServerFrame(uint8_t first_byte, const std::string& payload) {
  return static_cast<char>(first_byte) + LengthBytes(0, payload.size()) + payload;
}

std::string MaskedServerFrame(uint8_t first_byte, const std::string& payload, const uint8_t mask[4]) {
  std::string out = static_cast<char>(first_byte) + LengthBytes(0x80, payload.size());
  out.append(reinterpret_cast<const char*>(mask), 4);
  for (size_t i = 0; i < payload.size(); ++i) out += static_cast<char>(payload[i] ^ mask[i % 4]);
  return out;
}

ClientFrame ReadClientFrame(PeerConnection& peer, int timeout_ms) {
  ClientFrame frame;
  std::string head = peer.ReadBytes(2, timeout_ms);
  frame.raw = head;
  if (head.size() < 2) return frame;
  frame.first = static_cast<uint8_t>(head[0]);
  frame.second = static_cast<uint8_t>(head[1]);
  uint64_t length = frame.second & 0x7F;
  if (length >= 126) {
    const std::string extended = peer.ReadBytes(length == 126 ? 2 : 8, timeout_ms);
    frame.raw += extended;
    length = 0;
    for (const char c : extended) length = (length << 8) | static_cast<uint8_t>(c);
  }
  if (frame.second & 0x80) {
    const std::string mask = peer.ReadBytes(4, timeout_ms);
    frame.raw += mask;
    if (mask.size() < 4) return frame;
    std::memcpy(frame.mask, mask.data(), 4);
  }
  const std::string body = peer.ReadBytes(length, timeout_ms);
  frame.raw += body;
  for (size_t i = 0; i < body.size(); ++i) frame.payload += static_cast<char>(body[i] ^ frame.mask[i % 4]);
  frame.complete = body.size() == length;
  return frame;
}

}  // namespace tarnvex::testing
