#include "tests/support/xvfb.h"

#include <signal.h>
#include <unistd.h>

#include "tests/support/browser.h"

namespace tarnvex::testing {
namespace {

constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr const char* kXclip = "/usr/bin/xclip";

std::string SocketOf(int display) { return "/tmp/.X11-unix/X" + std::to_string(display); }
std::string LockOf(int display) { return "/tmp/.X" + std::to_string(display) + "-lock"; }

}  // namespace

VirtualDisplay::VirtualDisplay() {
  if (::access(kXvfb, X_OK) != 0 || ::access(kXclip, X_OK) != 0) return;
  // Spread by process id so parallel test programs pick different displays.
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int display = 100 + (static_cast<int>(::getpid()) + attempt * 7) % 800;
    if (PathExists(SocketOf(display)) || PathExists(LockOf(display))) continue;
    auto process = std::make_unique<ChildProcess>(
        std::vector<std::string>{kXvfb, ":" + std::to_string(display), "-nolisten", "tcp"});
    if (WaitUntil([&] { return PathExists(SocketOf(display)) || !ProcessAlive(process->pid()); }) &&
        ProcessAlive(process->pid())) {
      name_ = ":" + std::to_string(display);
      process_ = std::move(process);
      return;
    }
  }
}

VirtualDisplay::~VirtualDisplay() {
  if (!process_) return;
  // SIGTERM first: Xvfb then removes its socket and lock file, which would
  // otherwise keep the display number taken.
  ::kill(process_->pid(), SIGTERM);
  WaitUntil([&] { return !ProcessAlive(process_->pid()); }, 2000);
  process_->Kill();
}

void VirtualDisplay::SetClipboard(const std::string& text) const {
  const std::string file = scratch_.File("clip");
  WriteFile(file, text);
  // xclip keeps serving the selection from a background process, which ends
  // with the display; a session of its own keeps it out of the process group
  // that ends with this call.
  ChildProcess xclip({"/usr/bin/setsid", "-w", "/usr/bin/env", "DISPLAY=" + name_, kXclip, "-selection",
                      "clipboard", "-i", file});
  xclip.Wait();
}

std::string VirtualDisplay::Clipboard() const {
  const std::string out = scratch_.File("clip-out");
  ChildProcess xclip({"/usr/bin/env", "DISPLAY=" + name_, kXclip, "-selection", "clipboard", "-o"}, out);
  xclip.Wait();
  return ReadFile(out);
}

}  // namespace tarnvex::testing
