#pragma once
// The "paste" function of action 1: the clipboard text typed into the focused
// element one key at a time, with irregular pauses whose rhythm depends on the
// profile, so the input arrives like a person's typing.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarnvex::webdriver {
class TWebDriver;
}

namespace tarnvex::app {

// zlib's CRC-32 over the text's UTF-16 code units, each unit below U+0080 as
// that byte and every other one as "?", read as a signed 32-bit integer.
int32_t Crc32OfText(const std::string& text);

// The profile's pause base in ms, 50 to 549: |crc| mod 500 + 50 of the
// profile id's Crc32OfText.
int TypingBase(const std::string& profile_id);
int TypingBaseOfCrc(int32_t crc);

// Every CR LF, then every remaining LF, replaced by the line-break marker
// U+0013 (sent as the Enter key); a lone CR stays.
std::string MarkLineBreaks(const std::string& text);

// One key per character: a multi-byte UTF-8 character is one key.
std::vector<std::string> SplitKeys(const std::string& text);

// What typing takes from outside: the random draws, the pauses and the
// clipboard, replaceable so that tests need not wait or own a desktop.
struct TypingEnvironment {
  std::function<int(int)> draw;                 // uniform 0 <= r < n
  std::function<void(int)> pause;               // milliseconds
  std::function<std::string()> read_clipboard;  // UTF-8, empty for none
  std::function<void()> empty_clipboard;
};

// Types the clipboard text into the element that has the focus. Nothing is
// typed, and the clipboard is left alone, when no element has the focus after
// the retries; a key the server refuses is dropped.
void TypeClipboardHumanLike(webdriver::TWebDriver& driver, const std::string& profile_id,
                            int plugin_sleep, const TypingEnvironment& environment);

}  // namespace tarnvex::app
