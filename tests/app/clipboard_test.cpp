// The clipboard through the desktop's tools: under a virtual X display with
// xclip, and without any display.
#include "platform/clipboard.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <map>

#include "tests/support/process.h"
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

// Stand-in clipboard tools on a PATH of their own: each logs its name and
// arguments and prints a text naming itself.
class FakeTools {
 public:
  void Add(const std::string& name, const std::string& body = "") {
    const std::string path = dir_.File(name);
    testing::WriteFile(path, "#!/bin/sh\necho \"" + name + " $*\" >> " + Log() + "\n" +
                                 (body.empty() ? "printf 'from " + name + "'\n" : body + "\n"));
    ::chmod(path.c_str(), 0755);
  }
  std::string Log() const { return dir_.File("log"); }
  std::string Logged() const { return testing::ReadFile(Log()); }
  const std::string& path() const { return dir_.path(); }

 private:
  testing::TempDir dir_;
};

struct ToolCase {
  const char* display;
  const char* wayland;
  std::vector<std::string> tools;
  std::string text;    // what ReadText gives
  std::string logged;  // the tool runs of one read and one clear
};

TEST(Clipboard, UsesTheToolOfTheSession) {
  const ToolCase cases[] = {
      {":5", nullptr, {"xclip", "xsel"}, "from xclip",
       "xclip -selection clipboard -o\nxclip -selection clipboard -i\n"},
      {":5", nullptr, {"xsel"}, "from xsel", "xsel --clipboard --output\nxsel --clipboard --clear\n"},
      {":5", "wayland-0", {"wl-paste", "wl-copy", "xclip"}, "from wl-paste",
       "wl-paste --no-newline\nwl-copy --clear\n"},
      // Wayland needs both of its tools; X11 is used then.
      {":5", "wayland-0", {"wl-paste", "xclip"}, "from xclip",
       "xclip -selection clipboard -o\nxclip -selection clipboard -i\n"},
      {nullptr, "wayland-0", {"xclip"}, "", ""},
      {":5", nullptr, {}, "", ""},
  };
  for (const ToolCase& c : cases) {
    FakeTools tools;
    for (const std::string& tool : c.tools) tools.Add(tool);
    ScopedEnv path("PATH", tools.path().c_str());
    ScopedEnv display("DISPLAY", c.display);
    ScopedEnv wayland("WAYLAND_DISPLAY", c.wayland);
    EXPECT_EQ(ReadText(), c.text) << c.logged;
    EXPECT_EQ(SetEmpty(), !c.logged.empty()) << c.logged;
    EXPECT_EQ(tools.Logged(), c.logged);
  }
}

TEST(Clipboard, AFailingHangingOrFloodingToolGivesNoText) {
  const std::string bodies[] = {
      "printf 'half'; exit 1",
      "exec /bin/sleep 30",
      "exec /usr/bin/head -c 5000000 /dev/zero",
  };
  for (const std::string& body : bodies) {
    FakeTools tools;
    tools.Add("xclip", body);
    ScopedEnv path("PATH", tools.path().c_str());
    ScopedEnv display("DISPLAY", ":5");
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadText(), "") << body;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << body;
  }
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
