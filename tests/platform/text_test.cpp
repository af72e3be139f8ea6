#include "platform/text.h"

#include <gtest/gtest.h>

namespace tarnvex::text {
namespace {

TEST(Utf8ToUtf16, DecodesAndReplacesInvalidSequences) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"abc", u"abc"},
      {"\xC3\xA9", u"\u00e9"},
      {"\xE4\xB8\xAD", u"\u4e2d"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xE9", u"\uFFFD"},                  // Latin-1 byte, not UTF-8
      {"a\xC3", u"a\uFFFD"},                // truncated sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},        // overlong form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
}

TEST(Utf16ToUtf8, EncodesPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(Utf16ToUtf8(u"\u00e9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD83D))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDE00)) + u"x"), "\xEF\xBF\xBDx");
}

TEST(SanitizeUtf8, KeepsValidTextAndReplacesTheRest) {
  EXPECT_EQ(SanitizeUtf8("ok \xC3\xA9 \xEF\xBF\xBD"), "ok \xC3\xA9 \xEF\xBF\xBD");
  EXPECT_EQ(SanitizeUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
}

TEST(TrimControl, RemovesCharactersUpToSpace) {
  EXPECT_EQ(TrimControl(" \t\r\n x y \x01"), "x y");
  EXPECT_EQ(TrimControl("   "), "");
}

}  // namespace
}  // namespace tarnvex::text
