#pragma once
// SHA-1 (FIPS 180-4), for the handshake's Sec-WebSocket-Accept value only.
#include <array>
#include <cstdint>
#include <string_view>

namespace tarnvex::websocket {

std::array<uint8_t, 20> Sha1(std::string_view bytes);

}  // namespace tarnvex::websocket
