// Human-like typing: the profile's base, the key split, and the whole typing
// against a fake WebDriver server with scripted draws, so no test waits.
#include "app/human_typing.h"

#include <gtest/gtest.h>

#include <climits>
#include <deque>

#include "tests/webdriver/driver_fixture.h"

namespace tarnvex::app {
namespace {

TEST(Crc32OfText, MatchesZlibOverTheAsciiMapping) {
  struct Case {
    std::string text;
    int32_t crc;
    int base;
  };
  const Case cases[] = {
      {"abc", 891568578, 128},
      {"123456789", -873187034, 84},
      {"", 0, 50},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Crc32OfText(c.text), c.crc) << c.text;
    EXPECT_EQ(TypingBase(c.text), c.base) << c.text;
  }
  // Every unit from U+0080 counts as "?", whatever the character.
  EXPECT_EQ(Crc32OfText("é"), Crc32OfText("?"));
  EXPECT_EQ(Crc32OfText("p中x"), Crc32OfText("p?x"));
  // 0x80000000 has no magnitude in 32 bits; it still gets a base in range.
  EXPECT_EQ(TypingBaseOfCrc(INT32_MIN), 2147483648LL % 500 + 50);
  EXPECT_EQ(TypingBaseOfCrc(INT32_MAX), 2147483647LL % 500 + 50);
  // Outside the BMP: two UTF-16 units, so two "?".
  EXPECT_EQ(Crc32OfText("😀"), Crc32OfText("??"));
}

TEST(HumanTyping, LineBreaksBecomeTheEnterMarkerAndCharactersStayWhole) {
  struct Case {
    std::string text;
    std::vector<std::string> keys;
  };
  const Case cases[] = {
      {"ab\r\nc", {"a", "b", "\x13", "c"}},
      {"a\nb\n", {"a", "\x13", "b", "\x13"}},
      {"a\rb", {"a", "\r", "b"}},
      {"\r\r\n", {"\r", "\x13"}},
      {"é中😀", {"é", "中", "😀"}},
      {"a\xff", {"a", "\xef\xbf\xbd"}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitKeys(MarkLineBreaks(c.text)), c.keys) << c.text;
}

class TypingTest : public webdriver::DriverTest {
 protected:
  TypingTest() {
    Attach(true);
    server.Reply("GET", "/session/s1/element/active",
                 R"({"value":{"element-6066-11e4-a52e-4f735466cecf":"E"}})");
  }

  void Type(const std::string& profile, int sleep, std::deque<int> draws) {
    const TypingEnvironment environment{
        [this, draws](int n) mutable {
          drawn_ranges.push_back(n);
          const int value = draws.empty() ? 0 : draws.front();
          if (!draws.empty()) draws.pop_front();
          return value;
        },
        [this](int ms) { pauses.push_back(ms); },
        [this] {
          ++clipboard_reads;
          return clipboard;
        },
        [this] {
          ++clipboard_clears;
          clipboard.clear();
        },
    };
    TypeClipboardHumanLike(*driver, profile, sleep, environment);
  }

  std::vector<std::string> TypedTexts() const {
    std::vector<std::string> texts;
    for (const auto& request : server.Requests("POST", "/session/s1/element/E/value")) {
      const size_t at = request.body.find("\"text\":\"");
      texts.push_back(request.body.substr(at + 8, request.body.rfind('"') - at - 8));
    }
    return texts;
  }

  std::string clipboard = "ab\r\nc";
  int clipboard_reads = 0;
  int clipboard_clears = 0;
  std::vector<int> drawn_ranges;
  std::vector<int> pauses;
};

TEST_F(TypingTest, TypesEveryKeyWithThePausesInTheirDrawOrder) {
  // Profile "abc": base 128. Per key: base pause, short-extra test (and
  // length), long-extra test (and length).
  Type("abc", -100,
       {5, 29, 7, 10,        // a: |5-100|, short 7+50, no long
        0, 30, 9, 199,       // b: |0-100|, no short, long 199+128
        99, 0, 127, 0, 0,    // Enter: |99-100|, short 127+50, long 0+128
        50, 99, 99});        // c: |50-100| only
  EXPECT_EQ(TypedTexts(), (std::vector<std::string>{"a", "b", "\\ue007", "c"}));
  EXPECT_EQ(pauses, (std::vector<int>{95, 57, 100, 327, 1, 177, 128, 50}));
  EXPECT_EQ(drawn_ranges, (std::vector<int>{100, 100, 128, 100,  //
                                            100, 100, 100, 200,  //
                                            100, 100, 128, 100, 200, 100, 100, 100}));
  EXPECT_EQ(clipboard, "");
}

TEST_F(TypingTest, ARefusedKeyIsDroppedAndTypingGoesOn) {
  clipboard = "xyz";
  server.ReplyOnce("POST", "/session/s1/element/E/value", "not json");
  Type("p", 0, {});
  EXPECT_EQ(TypedTexts(), (std::vector<std::string>{"x", "y", "z"}));
}

TEST_F(TypingTest, RetriesTheFocusFourTimesThenLeavesTheClipboardAlone) {
  server.Reply("GET", "/session/s1/element/active",
               R"({"value":{"error":"no such element","message":"none"}})", 404);
  Type("p", 0, {});
  EXPECT_EQ(server.Requests("GET", "/session/s1/element/active").size(), 5u);
  EXPECT_EQ(pauses, (std::vector<int>{200, 200, 200, 200}));
  EXPECT_EQ(clipboard_reads, 0);
  EXPECT_EQ(clipboard_clears, 0);
  EXPECT_TRUE(TypedTexts().empty());
}

TEST_F(TypingTest, AFocusFoundOnARetryIsTypedInto) {
  for (int i = 0; i < 2; ++i) {
    server.ReplyOnce("GET", "/session/s1/element/active",
                     R"({"value":{"error":"no such element","message":"none"}})", 404);
  }
  clipboard = "q";
  Type("p", 0, {});
  EXPECT_EQ(server.Requests("GET", "/session/s1/element/active").size(), 3u);
  EXPECT_EQ(TypedTexts(), std::vector<std::string>{"q"});
}

TEST_F(TypingTest, AnEmptyClipboardIsStillEmptiedAndNothingIsTyped) {
  clipboard = "";
  Type("p", 0, {});
  EXPECT_EQ(clipboard_reads, 1);
  EXPECT_EQ(clipboard_clears, 1);
  EXPECT_TRUE(TypedTexts().empty());
  EXPECT_TRUE(pauses.empty());
}

}  // namespace
}  // namespace tarnvex::app
