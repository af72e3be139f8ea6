#include "websocket/websocket_frame.h"

namespace tarnvex::websocket {

std::vector<uint8_t> EncodeFrame(std::string_view payload, TFrameOpcode opcode, Random& random) {
  const uint64_t length = payload.size();
  std::vector<uint8_t> frame;
  frame.reserve(14 + payload.size());
  frame.push_back(static_cast<uint8_t>(0x80 | static_cast<uint8_t>(opcode)));
  if (length <= 125) {
    frame.push_back(static_cast<uint8_t>(0x80 | length));
  } else if (length < 65536) {
    frame.push_back(0x80 | 126);
    frame.push_back(static_cast<uint8_t>(length >> 8));
    frame.push_back(static_cast<uint8_t>(length));
  } else {
    frame.push_back(0x80 | 127);
    for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<uint8_t>(length >> shift));
  }
  uint8_t mask[4];
  for (uint8_t& byte : mask) {
    byte = static_cast<uint8_t>(random.Draw(255));
    frame.push_back(byte);
  }
  for (size_t i = 0; i < payload.size(); ++i) {
    frame.push_back(static_cast<uint8_t>(payload[i]) ^ mask[i % 4]);
  }
  return frame;
}

}  // namespace tarnvex::websocket
