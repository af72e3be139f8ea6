#pragma once
// Standard base64 (RFC 4648 alphabet, "=" padding).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exception.h"

namespace tarnvex::base64 {

TARNVEX_EXCEPTION(EBase64Error, Exception);

std::string Encode(std::span<const uint8_t> bytes);
// Decodes base64 text. White space (CR, LF, TAB, space) is skipped; any other
// character outside the alphabet, or a misplaced "=", raises EBase64Error.
std::vector<uint8_t> Decode(std::string_view text);

}  // namespace tarnvex::base64
