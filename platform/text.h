#pragma once
// Text conversions. Every 8-bit text of the system is UTF-8, so the "ANSI code
// page" conversions are lossless; only invalid byte sequences are replaced,
// by U+FFFD, where text is decoded.
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnvex::text {

// UTF-8 to UTF-16 code units; each invalid sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
// UTF-8 with every invalid sequence replaced by U+FFFD (valid text unchanged).
std::string SanitizeUtf8(std::string_view bytes);
// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t code_point);
// Length in bytes of the UTF-8 sequence that starts with this byte (1 for a
// stray continuation or invalid lead byte).
int Utf8SequenceLength(unsigned char lead);

// Leading and trailing characters up to U+0020 removed.
std::string_view TrimControl(std::string_view s);
// Leading and trailing blanks (space and TAB) removed, as HTTP trims values.
std::string_view TrimBlanks(std::string_view s);
// ASCII-only lower case.
std::string AsciiLower(std::string_view s);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace tarnvex::text
