#pragma once
// String scanning shared by the JSON readers of both models: decodes the body
// of a quoted string (escapes, UTF-8 validation or UTF-16 conversion) into
// UTF-8. Plain runs are found with a table and appended in one piece, so long
// strings (base64 images, page sources) cost no per-character work.
#include <cstddef>
#include <cstdint>
#include <string>

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

// Bytes that end a plain run inside a string: quote, backslash, CR, LF and
// every byte from 0x80 (validated as UTF-8 separately).
struct StopTable {
  bool stop[256] = {};
  constexpr StopTable() {
    stop[static_cast<unsigned char>('"')] = true;
    stop[static_cast<unsigned char>('\\')] = true;
    stop[static_cast<unsigned char>('\r')] = true;
    stop[static_cast<unsigned char>('\n')] = true;
    for (int i = 0x80; i < 256; ++i) stop[i] = true;
  }
};
inline constexpr StopTable kStringStops;

// Length of the valid UTF-8 sequence at p (lead byte >= 0x80), 0 when invalid.
inline size_t ValidUtf8Length(const char* p, const char* end) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(p[i]); };
  const unsigned char lead = byte(0);
  const size_t length = static_cast<size_t>(text::Utf8SequenceLength(lead));
  if (length == 1 || static_cast<size_t>(end - p) < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and code points above U+10FFFF.
  const unsigned char second = byte(1);
  if (lead == 0xE0 && second < 0xA0) return 0;
  if (lead == 0xED && second >= 0xA0) return 0;
  if (lead == 0xF0 && second < 0x90) return 0;
  if (lead == 0xF4 && second >= 0x90) return 0;
  return length;
}

inline void AppendReplacement(std::string& out) { out += "\xEF\xBF\xBD"; }

// Four hex digits at p as a code unit; -1 and `bad` set when one is not hex.
template <typename Char>
int32_t ReadHex4(const Char* p, const Char*& bad) {
  int32_t unit = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = HexValue(static_cast<char32_t>(p[i]));
    if (digit < 0) {
      bad = p + i;
      return -1;
    }
    unit = unit * 16 + digit;
  }
  return unit;
}

// Decodes the escape at p (p[0] is the backslash), advancing p. A \u high
// surrogate directly followed by a \u low surrogate forms one character; a
// lone surrogate becomes U+FFFD because the stored text is UTF-8.
template <typename Char>
StringResult<Char> DecodeEscape(const Char*& p, const Char* end, std::string& out) {
  if (end - p < 2) return {StringStatus::kNotClosed, end};
  const char32_t c = static_cast<char32_t>(p[1]);
  switch (c) {
    case '"': out += '"'; break;
    case '\\': out += '\\'; break;
    case '/': out += '/'; break;
    case 'b': out += '\b'; break;
    case 'f': out += '\f'; break;
    case 'n': out += '\n'; break;
    case 'r': out += '\r'; break;
    case 't': out += '\t'; break;
    case 'u': {
      for (const Char* q = p + 2; q < p + 6; ++q) {
        if (q == end) return {StringStatus::kNotClosed, end};
        if (HexValue(static_cast<char32_t>(*q)) < 0) return {StringStatus::kBadHex, q};
      }
      const Char* bad = nullptr;
      const char32_t unit = static_cast<char32_t>(ReadHex4(p + 2, bad));
      p += 6;
      if (unit >= 0xD800 && unit <= 0xDBFF && end - p >= 6 && p[0] == '\\' && p[1] == 'u') {
        const int32_t low = ReadHex4(p + 2, bad);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          text::AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00));
          p += 6;
          return {StringStatus::kOk, p};
        }
      }
      if (unit >= 0xD800 && unit <= 0xDFFF) {
        AppendReplacement(out);
      } else {
        text::AppendUtf8(out, unit);
      }
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

// UTF-8 input. p is just after the opening quote.
inline StringResult<char> ScanString(const char*& p, const char* end, std::string& out,
                                     bool line_breaks_allowed) {
  for (;;) {
    const char* run = p;
    for (;;) {
      while (p < end && !kStringStops.stop[static_cast<unsigned char>(*p)]) ++p;
      if (p < end && static_cast<unsigned char>(*p) >= 0x80) {
        if (const size_t length = ValidUtf8Length(p, end)) {
          p += length;
          continue;
        }
      }
      if (p < end && line_breaks_allowed && (*p == '\r' || *p == '\n')) {
        ++p;
        continue;
      }
      break;
    }
    out.append(run, static_cast<size_t>(p - run));
    if (p == end) return {StringStatus::kNotClosed, p};
    const char c = *p;
    if (c == '"') {
      ++p;
      return {StringStatus::kOk, p};
    }
    if (c == '\\') {
      const StringResult<char> r = DecodeEscape(p, end, out);
      if (r.status != StringStatus::kOk) return r;
      continue;
    }
    if (static_cast<unsigned char>(c) >= 0x80) {
      AppendReplacement(out);
      ++p;
      continue;
    }
    return {StringStatus::kLineBreak, p};
  }
}

// UTF-16 input, converted to UTF-8; a lone surrogate becomes U+FFFD.
inline StringResult<char16_t> ScanString(const char16_t*& p, const char16_t* end, std::string& out,
                                         bool line_breaks_allowed) {
  for (;;) {
    const char16_t* run = p;
    while (p < end && *p < 0x80 && *p != '"' && *p != '\\' && *p != '\r' && *p != '\n') ++p;
    if (p != run) {
      const size_t start = out.size();
      out.resize(start + static_cast<size_t>(p - run));
      char* dst = out.data() + start;
      for (const char16_t* q = run; q < p; ++q) *dst++ = static_cast<char>(*q);
    }
    if (p == end) return {StringStatus::kNotClosed, p};
    const char16_t c = *p;
    if (c == '"') {
      ++p;
      return {StringStatus::kOk, p};
    }
    if (c == '\\') {
      const StringResult<char16_t> r = DecodeEscape(p, end, out);
      if (r.status != StringStatus::kOk) return r;
      continue;
    }
    if (c == '\r' || c == '\n') {
      if (!line_breaks_allowed) return {StringStatus::kLineBreak, p};
      out += static_cast<char>(c);
      ++p;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && end - p >= 2 && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      text::AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (p[1] - 0xDC00));
      p += 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      AppendReplacement(out);
      ++p;
    } else {
      text::AppendUtf8(out, c);
      ++p;
    }
  }
}

}  // namespace tarnvex::json::scan
