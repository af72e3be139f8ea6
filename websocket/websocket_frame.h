#pragma once
// The frames this client writes: always final and masked (RFC 6455).
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/random.h"

namespace tarnvex::websocket {

enum class TFrameOpcode : uint8_t {
  OP_CONTINUATION = 0,
  OP_TEXT = 1,
  OP_BINARY = 2,
  OP_CLOSE = 8,
  OP_PING = 9,
  OP_PONG = 10,
};

// One frame carrying `payload` (the UTF-8 bytes of a text). The four masking
// bytes are drawn from `random` in 0..254, the first drawn first.
std::vector<uint8_t> EncodeFrame(std::string_view payload, TFrameOpcode opcode, Random& random);

}  // namespace tarnvex::websocket
