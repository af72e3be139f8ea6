// The clipboard through the desktop's tools: under a virtual X display with
// xclip, and without any display.
#include "platform/clipboard.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/xvfb.h"

namespace tarnvex::clipboard {
namespace {

// Sets or clears an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_.empty() ? ::unsetenv(name_) : ::setenv(name_, old_.c_str(), 1); }

 private:
  const char* name_;
  std::string old_;
};

TEST(Clipboard, WithoutADisplayItIsEmptyAndCannotBeCleared) {
  ScopedEnv display("DISPLAY", nullptr);
  ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
  EXPECT_EQ(ReadText(), "");
  EXPECT_FALSE(SetEmpty());
}

TEST(Clipboard, ADisplayNobodyServesReadsAsEmpty) {
  ScopedEnv display("DISPLAY", ":1999");
  ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
  EXPECT_EQ(ReadText(), "");
}

TEST(Clipboard, ReadsTheTextAndEmptiesItUnderX11) {
  testing::VirtualDisplay x;
  if (!x.available()) GTEST_SKIP() << "no Xvfb or xclip";
  ScopedEnv display("DISPLAY", x.name().c_str());
  ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
  EXPECT_EQ(ReadText(), "");  // nobody owns it yet
  const std::string text = "ab\r\nc é 中 😀\ttab";
  x.SetClipboard(text);
  EXPECT_EQ(ReadText(), text);
  EXPECT_TRUE(SetEmpty());
  EXPECT_EQ(ReadText(), "");
  EXPECT_EQ(x.Clipboard(), "");
}

}  // namespace
}  // namespace tarnvex::clipboard
