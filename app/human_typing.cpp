#include "app/human_typing.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/text.h"
#include "webdriver/web_driver.h"
#include "webdriver/web_element.h"

namespace tarnvex::app {
namespace {

constexpr int kFocusRetries = 4;
constexpr int kFocusRetryPauseMs = 200;
constexpr int kBaseModulus = 500;
constexpr int kBaseOffset = 50;
constexpr int kKeyDraw = 100;
constexpr int kShortExtraChance = 30;
constexpr int kShortExtraOffsetMs = 50;
constexpr int kLongExtraChance = 10;
constexpr int kLongExtraRange = 200;
constexpr char kEnterMarker = '\x13';

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// The pauses after one key, drawn in this order: the base pause, the test
// for the short extra and its length, the test for the long extra and its
// length.
void PauseAfterKey(int base, int plugin_sleep, const TypingEnvironment& environment) {
  // 64 bits: a sleep near the integer limits must not overflow.
  const long long pause = std::llabs(static_cast<long long>(environment.draw(kKeyDraw)) + plugin_sleep);
  environment.pause(static_cast<int>(std::min<long long>(pause, INT_MAX)));
  if (environment.draw(100) < kShortExtraChance) {
    environment.pause(environment.draw(base) + kShortExtraOffsetMs);
  }
  if (environment.draw(100) < kLongExtraChance) {
    environment.pause(environment.draw(kLongExtraRange) + base);
  }
}

webdriver::TWebElement FocusedElement(webdriver::TWebDriver& driver,
                                      const TypingEnvironment& environment) {
  webdriver::TWebElement element = driver.SwitchToActive_element();
  for (int retry = 0; retry < kFocusRetries && element.IsEmpty(); ++retry) {
    environment.pause(kFocusRetryPauseMs);
    element = driver.SwitchToActive_element();
  }
  return element;
}

}  // namespace

int32_t Crc32OfText(const std::string& text) {
  std::string bytes;
  for (const char16_t unit : text::Utf8ToUtf16(text)) {
    bytes += unit < 0x80 ? static_cast<char>(unit) : '?';
  }
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                          static_cast<uInt>(bytes.size()));
  return static_cast<int32_t>(static_cast<uint32_t>(crc));
}

int TypingBase(const std::string& profile_id) { return TypingBaseOfCrc(Crc32OfText(profile_id)); }

int TypingBaseOfCrc(int32_t crc) {
  // 64 bits give 0x80000000 a magnitude too (base 198).
  return static_cast<int>(std::llabs(static_cast<long long>(crc)) % kBaseModulus) + kBaseOffset;
}

std::string MarkLineBreaks(const std::string& text) {
  std::string marked = text;
  ReplaceAll(marked, "\r\n", std::string(1, kEnterMarker));
  ReplaceAll(marked, "\n", std::string(1, kEnterMarker));
  return marked;
}

std::vector<std::string> SplitKeys(const std::string& text) {
  const std::string valid = text::SanitizeUtf8(text);
  std::vector<std::string> keys;
  for (size_t at = 0; at < valid.size();) {
    const size_t length = static_cast<size_t>(text::Utf8SequenceLength(static_cast<unsigned char>(valid[at])));
    keys.push_back(valid.substr(at, length));
    at += length;
  }
  return keys;
}

void TypeClipboardHumanLike(webdriver::TWebDriver& driver, const std::string& profile_id,
                            int plugin_sleep, const TypingEnvironment& environment) {
  webdriver::TWebElement element = FocusedElement(driver, environment);
  if (element.IsEmpty()) return;  // the clipboard stays as it is
  const std::string text = MarkLineBreaks(environment.read_clipboard());
  // Taken once, emptied before the first key, as a paste would consume it.
  environment.empty_clipboard();
  const int base = TypingBase(profile_id);
  for (const std::string& key : SplitKeys(text)) {
    try {
      element.SendKey(key);
    } catch (const std::exception&) {
      // A refused key is lost; the next one follows after the usual pauses.
    }
    PauseAfterKey(base, plugin_sleep, environment);
  }
}

}  // namespace tarnvex::app
