#include "net/http_charset.h"

#include <vector>

#include "platform/text.h"

namespace tarnvex::net {
namespace {

std::vector<std::string_view> SplitParameters(std::string_view value) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t semicolon = value.find(';', start);
    parts.push_back(text::TrimBlanks(value.substr(start, semicolon - start)));
    if (semicolon == std::string_view::npos) return parts;
    start = semicolon + 1;
  }
}

std::string Unquote(std::string_view s) {
  s = text::TrimBlanks(s);
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
    s = s.substr(1, s.size() - 2);
  }
  return std::string(s);
}

std::string DefaultCharSet(std::string_view media_type) {
  const std::string type = text::AsciiLower(media_type);
  if (!type.starts_with("text/")) return {};
  const std::string_view subtype = std::string_view(type).substr(5);
  if (subtype == "xml" || subtype == "xml-external-parsed-entity" || subtype.ends_with("+xml")) {
    return "us-ascii";
  }
  return "ISO-8859-1";
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) text::AppendUtf8(out, c);
  return out;
}

std::string AsciiToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) text::AppendUtf8(out, c < 0x80 ? c : 0xFFFD);
  return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    units += static_cast<char16_t>(big_endian ? (first << 8) | second : (second << 8) | first);
  }
  std::string out = text::Utf16ToUtf8(units);
  if (bytes.size() % 2 != 0) text::AppendUtf8(out, 0xFFFD);  // a dangling half unit
  return out;
}

// UTF-16 without an order in its name: a byte-order mark decides (and is
// dropped), big-endian otherwise.
std::string Utf16WithMarkToUtf8(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    return Utf16ToUtf8(bytes.substr(2), false);
  }
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
      static_cast<unsigned char>(bytes[1]) == 0xFF) {
    bytes.remove_prefix(2);
  }
  return Utf16ToUtf8(bytes, true);
}

}  // namespace

TContentType ParseContentType(std::string_view value) {
  TContentType result;
  bool has_charset = false;
  for (std::string_view part : SplitParameters(value)) {
    size_t equals = part.find('=');
    if (equals != std::string_view::npos && text::EqualsNoCase(text::TrimBlanks(part.substr(0, equals)), "charset")) {
      result.CharSet = Unquote(part.substr(equals + 1));
      has_charset = true;
      continue;
    }
    if (part.empty()) continue;
    if (!result.MediaType.empty()) result.MediaType += "; ";
    result.MediaType += part;
  }
  if (!has_charset) result.CharSet = DefaultCharSet(result.MediaType);
  return result;
}

std::string DecodeBody(std::string_view bytes, std::string_view charset) {
  const std::string name = text::AsciiLower(text::TrimBlanks(charset));
  if (name == "utf-8" || name == "utf8") return text::SanitizeUtf8(bytes);
  if (name == "us-ascii" || name == "ascii" || name == "ansi_x3.4-1968") return AsciiToUtf8(bytes);
  if (name == "utf-16le") return Utf16ToUtf8(bytes, false);
  if (name == "utf-16be") return Utf16ToUtf8(bytes, true);
  if (name == "utf-16" || name == "unicode") return Utf16WithMarkToUtf8(bytes);
  // ISO-8859-1 and every name we do not know: each byte is its own code point.
  return Latin1ToUtf8(bytes);
}

}  // namespace tarnvex::net
