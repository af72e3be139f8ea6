#include "platform/base64.h"

#include <array>

namespace tarnvex::base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kSkip = 0xFE;
constexpr uint8_t kInvalid = 0xFF;

constexpr std::array<uint8_t, 256> MakeTable() {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kInvalid;
  for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
  for (char c : {'\r', '\n', '\t', ' '}) table[static_cast<uint8_t>(c)] = kSkip;
  return table;
}
constexpr std::array<uint8_t, 256> kTable = MakeTable();

}  // namespace

std::string Encode(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    const uint32_t v = (bytes[i] << 16) | (rest == 2 ? bytes[i + 1] << 8 : 0);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::vector<uint8_t> Decode(std::string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  uint32_t accumulator = 0;
  int bits = 0;
  size_t padding = 0;
  for (const char c : text) {
    const uint8_t value = kTable[static_cast<uint8_t>(c)];
    if (value == kSkip) continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    if (value == kInvalid || padding > 0) throw EBase64Error("Invalid base64 text");
    accumulator = (accumulator << 6) | value;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>(accumulator >> bits));
    }
  }
  if (padding > 2 || bits >= 6) throw EBase64Error("Invalid base64 text");
  return out;
}

}  // namespace tarnvex::base64
