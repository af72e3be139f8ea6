#pragma once
// String scanning shared by the JSON readers of both models: decodes the body
// of a quoted string (escapes, UTF-8 validation or UTF-16 conversion) into
// UTF-8. A first pass finds the closing quote so that the output is sized
// once; the second decodes into that buffer, eight plain bytes at a time,
// so long strings (base64 images, page sources) cost little per character.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/text.h"

namespace tarnvex::json::scan {

enum class StringStatus { kOk, kNotClosed, kLineBreak, kBadHex };

template <typename Char>
struct StringResult {
  StringStatus status;
  const Char* where;  // after the closing quote, or at the offending character
};

inline int HexValue(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// Length of the valid UTF-8 sequence at p (lead byte >= 0x80), 0 when
// invalid: stray continuation bytes, overlong forms, surrogates, code points
// above U+10FFFF and truncated sequences.
inline size_t ValidUtf8Length(const char* p, const char* end) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(p[i]); };
  const unsigned char lead = byte(0);
  size_t length;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (static_cast<size_t>(end - p) < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  const unsigned char second = byte(1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second >= 0x90)) {
    return 0;
  }
  return length;
}

inline void WriteUtf8(char*& w, char32_t cp) {
  if (cp < 0x80) {
    *w++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *w++ = static_cast<char>(0xC0 | (cp >> 6));
    *w++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *w++ = static_cast<char>(0xE0 | (cp >> 12));
    *w++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *w++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *w++ = static_cast<char>(0xF0 | (cp >> 18));
    *w++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *w++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *w++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
}

constexpr char32_t kReplacement = 0xFFFD;

// Word-at-a-time scanning: eight bytes, or four UTF-16 units, per step.
template <typename Char>
struct Word {
  static constexpr ptrdiff_t kUnits = 8 / sizeof(Char);
  static constexpr int kBitsPerUnit = 8 * sizeof(Char);
  static constexpr uint64_t kOnes = sizeof(Char) == 1 ? 0x0101010101010101ull : 0x0001000100010001ull;
  static constexpr uint64_t kHigh = sizeof(Char) == 1 ? 0x8080808080808080ull : 0x8000800080008000ull;
  static constexpr uint64_t kNonAscii = sizeof(Char) == 1 ? kHigh : 0xFF80FF80FF80FF80ull;

  explicit Word(const Char* p) { std::memcpy(&bits, p, 8); }
  // High bit of each unit equal to c; exact for the lowest such unit.
  uint64_t Has(unsigned c) const {
    const uint64_t x = bits ^ (kOnes * c);
    return (x - kOnes) & ~x & kHigh;
  }
  uint64_t NonAscii() const { return bits & kNonAscii; }
  // Units that end a plain run: quote, backslash, CR and LF (unless line
  // breaks are plain) and everything from 0x80.
  uint64_t Stops(bool line_breaks_plain) const {
    uint64_t stops = NonAscii() | Has('"') | Has('\\');
    if (!line_breaks_plain) stops |= Has('\r') | Has('\n');
    return stops;
  }
  static ptrdiff_t FirstUnit(uint64_t mask) { return __builtin_ctzll(mask) / kBitsPerUnit; }

  uint64_t bits;
};

template <typename Char>
bool IsPlain(Char c) {
  const auto unit = static_cast<std::make_unsigned_t<Char>>(c);
  return unit < 0x80 && unit != '"' && unit != '\\' && unit != '\r' && unit != '\n';
}

// Four hex digits at p as a code unit, or -1.
template <typename Char>
int32_t ReadHex4(const Char* p) {
  int32_t unit = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = HexValue(static_cast<char32_t>(p[i]));
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

// Text as the models store it: UTF-8 with every invalid sequence replaced
// by U+FFFD (valid text, the usual case, is checked word by word and copied).
inline std::string ValidUtf8(std::string_view bytes) {
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  while (p < end) {
    if (end - p >= 8 && Word<char>(p).NonAscii() == 0) {
      p += 8;
    } else if (static_cast<unsigned char>(*p) < 0x80) {
      ++p;
    } else if (const size_t length = ValidUtf8Length(p, end)) {
      p += length;
    } else {
      return text::SanitizeUtf8(bytes);
    }
  }
  return std::string(bytes);
}

// Decodes the escape at p (p[0] is the backslash) into w, advancing both. A
// \u high surrogate directly followed by a \u low surrogate forms one
// character; a lone surrogate becomes U+FFFD because the stored text is UTF-8.
// Writes at most as many bytes as it consumes input units.
template <typename Char>
StringResult<Char> DecodeEscape(const Char*& p, const Char* end, char*& w) {
  if (end - p < 2) return {StringStatus::kNotClosed, end};
  const char32_t c = static_cast<char32_t>(p[1]);
  switch (c) {
    case '"': *w++ = '"'; break;
    case '\\': *w++ = '\\'; break;
    case '/': *w++ = '/'; break;
    case 'b': *w++ = '\b'; break;
    case 'f': *w++ = '\f'; break;
    case 'n': *w++ = '\n'; break;
    case 'r': *w++ = '\r'; break;
    case 't': *w++ = '\t'; break;
    case 'u': {
      for (const Char* q = p + 2; q < p + 6; ++q) {
        if (q == end) return {StringStatus::kNotClosed, end};
        if (HexValue(static_cast<char32_t>(*q)) < 0) return {StringStatus::kBadHex, q};
      }
      const char32_t unit = static_cast<char32_t>(ReadHex4(p + 2));
      p += 6;
      if (unit >= 0xD800 && unit <= 0xDBFF && end - p >= 6 && p[0] == '\\' && p[1] == 'u') {
        const int32_t low = ReadHex4(p + 2);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          WriteUtf8(w, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00));
          p += 6;
          return {StringStatus::kOk, p};
        }
      }
      WriteUtf8(w, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
      return {StringStatus::kOk, p};
    }
    default:
      // Any other character: the backslash is dropped and the character is
      // read as part of the string.
      p += 1;
      return {StringStatus::kOk, p};
  }
  p += 2;
  return {StringStatus::kOk, p};
}

// Pass one: a bound of the UTF-8 bytes that the units up to the closing
// quote (or the end) decode to, apart from invalid UTF-8 (see below).
template <typename Char>
size_t OutputBound(const Char* p, const Char* end) {
  using W = Word<Char>;
  size_t extra = 0;  // UTF-16 units from 0x80 take up to three bytes
  const Char* q = p;
  while (q < end) {
    if (end - q >= W::kUnits) {
      const W word(q);
      if (sizeof(Char) == 2 && word.NonAscii()) extra += 2 * W::kUnits;
      const uint64_t mask = word.Has('"') | word.Has('\\');
      if (mask == 0) {
        q += W::kUnits;
        continue;
      }
      q += W::FirstUnit(mask);
    } else if (*q != '"' && *q != '\\') {
      if (static_cast<std::make_unsigned_t<Char>>(*q) >= 0x80) extra += 2;
      ++q;
      continue;
    }
    if (*q == '"') break;
    // An escape pair; the escaped unit may be kept as it is (see DecodeEscape).
    if (end - q >= 2 && static_cast<std::make_unsigned_t<Char>>(q[1]) >= 0x80) extra += 2;
    q += 2;
  }
  return static_cast<size_t>((q < end ? q : end) - p) + extra;
}

// Decodes the string body at p (just after the opening quote) and appends it
// to `out`; p ends after the closing quote, or at the failure.
template <typename Char>
StringResult<Char> ScanString(const Char*& p, const Char* end, std::string& out, bool line_breaks_allowed) {
  using W = Word<Char>;
  const size_t base = out.size();
  // Whole words are copied before their stop is known: room for one more.
  out.resize(base + OutputBound(p, end) + W::kUnits);
  char* w = out.data() + base;
  const auto finish = [&](StringStatus status, const Char* where) {
    out.resize(static_cast<size_t>(w - out.data()));
    return StringResult<Char>{status, where};
  };
  for (;;) {
    if (end - p >= W::kUnits) {
      const W word(p);
      for (ptrdiff_t i = 0; i < W::kUnits; ++i) w[i] = static_cast<char>(p[i]);
      const uint64_t mask = word.Stops(line_breaks_allowed);
      if (mask == 0) {
        w += W::kUnits;
        p += W::kUnits;
        continue;
      }
      const ptrdiff_t plain = W::FirstUnit(mask);
      w += plain;
      p += plain;
    } else {
      while (p < end && IsPlain(*p)) *w++ = static_cast<char>(*p++);
      if (p == end) return finish(StringStatus::kNotClosed, p);
    }
    const char32_t c = static_cast<std::make_unsigned_t<Char>>(*p);
    if (c == '"') {
      ++p;
      return finish(StringStatus::kOk, p);
    }
    if (c == '\\') {
      const StringResult<Char> r = DecodeEscape(p, end, w);
      if (r.status != StringStatus::kOk) return finish(r.status, r.where);
    } else if (c == '\r' || c == '\n') {
      if (!line_breaks_allowed) return finish(StringStatus::kLineBreak, p);
      *w++ = static_cast<char>(c);
      ++p;
    } else if constexpr (sizeof(Char) == 1) {
      if (const size_t length = ValidUtf8Length(p, end)) {
        for (size_t i = 0; i < length; ++i) w[i] = p[i];
        w += length;
        p += length;
      } else {
        // An invalid byte becomes U+FFFD: three bytes for one, beyond the bound.
        const size_t at = static_cast<size_t>(w - out.data());
        out.resize(out.size() + 2);
        w = out.data() + at;
        WriteUtf8(w, kReplacement);
        ++p;
      }
    } else {
      if (c >= 0xD800 && c <= 0xDBFF && end - p >= 2 && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
        WriteUtf8(w, 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(p[1]) - 0xDC00));
        p += 2;
      } else {
        WriteUtf8(w, c >= 0xD800 && c <= 0xDFFF ? kReplacement : c);
        ++p;
      }
    }
  }
}

}  // namespace tarnvex::json::scan
