#pragma once
// A virtual X display for clipboard tests (Xvfb on a display number nobody
// uses), with the clipboard set and read through xclip as the oracle.
#include <memory>
#include <string>

#include "tests/support/process.h"

namespace tarnvex::testing {

class VirtualDisplay {
 public:
  // Starts Xvfb and waits until it accepts clients; available() is false
  // when Xvfb or xclip is missing or the display did not come up.
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  bool available() const { return process_ != nullptr; }
  // ":N", the value for DISPLAY.
  const std::string& name() const { return name_; }

  // The CLIPBOARD selection, through xclip.
  void SetClipboard(const std::string& text) const;
  // Empty when nobody owns the selection.
  std::string Clipboard() const;

 private:
  std::string name_;
  std::unique_ptr<ChildProcess> process_;
  TempDir scratch_;
};

}  // namespace tarnvex::testing
