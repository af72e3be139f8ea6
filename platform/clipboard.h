#pragma once
// The desktop clipboard, reached through whichever command-line tool the
// session offers: wl-paste/wl-copy under Wayland, xclip or xsel under X11.
// Every tool run has a deadline, so a stuck clipboard owner cannot hang the
// caller; without a display or a tool the clipboard reads as empty.
#include <string>

namespace tarnvex::clipboard {

// Longest clipboard text taken; a longer one reads as no text (it could not
// be typed within a run anyway).
inline constexpr size_t kMaxTextBytes = size_t{4} << 20;
// How long one tool run may take.
inline constexpr int kToolDeadlineMs = 2000;

// The clipboard's text as UTF-8 (invalid bytes become U+FFFD); empty when it
// holds no text or cannot be reached.
std::string ReadText();

// Replaces the clipboard's whole content by an empty text. False when there
// is no clipboard to reach or the tool failed.
bool SetEmpty();

}  // namespace tarnvex::clipboard
