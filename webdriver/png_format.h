#pragma once
// What the PNG decoder and encoder share: the file signature and chunk framing.
#include <array>
#include <cstdint>

namespace tarnvex::webdriver::png {

inline constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// A chunk: 4-byte big-endian data length, 4-byte type, data, CRC-32 over type
// and data.
inline constexpr size_t kChunkOverhead = 12;
inline constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;

inline constexpr uint32_t ChunkType(const char (&name)[5]) {
  return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
         uint32_t(uint8_t(name[2])) << 8 | uint32_t(uint8_t(name[3]));
}

inline constexpr uint32_t kIHDR = ChunkType("IHDR");
inline constexpr uint32_t kPLTE = ChunkType("PLTE");
inline constexpr uint32_t kIDAT = ChunkType("IDAT");
inline constexpr uint32_t kIEND = ChunkType("IEND");

inline uint32_t ReadBigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

inline void WriteBigEndian32(uint8_t* p, uint32_t value) {
  p[0] = uint8_t(value >> 24);
  p[1] = uint8_t(value >> 16);
  p[2] = uint8_t(value >> 8);
  p[3] = uint8_t(value);
}

}  // namespace tarnvex::webdriver::png
