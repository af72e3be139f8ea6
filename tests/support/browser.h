#pragma once
// The browser harness: a real headless Chromium on a free port with a fresh
// profile, and a loopback HTTP server for fixture pages.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/scripted_server.h"

namespace tarnvex::testing {

struct HttpReply {
  int status = 0;
  std::string body;
};

// One HTTP/1.0-style request over a fresh loopback connection (test-only
// plumbing, independent of the code under test).
HttpReply HttpRequest(int port, const std::string& method, const std::string& target,
                      const std::string& body = "", int timeout_ms = 10000);

class Browser {
 public:
  // Starts /usr/bin/chromium headless and waits until /json/version answers.
  Browser();
  ~Browser();
  int port() const { return port_; }
  pid_t pid() const { return process_->pid(); }
  // The parsed-enough view of /json/list: the raw body.
  std::string ListTargets() const;
  // Opens a new tab at `url` (PUT /json/new?url); returns the raw reply body.
  std::string NewTab(const std::string& url) const;
  // Kills the browser (for fault tests); the destructor then does nothing more.
  void Kill();

 private:
  TempDir profile_;
  int port_;
  std::unique_ptr<ChildProcess> process_;
};

// Serves fixed pages on 127.0.0.1; counts the requests per path.
class FixtureServer {
 public:
  FixtureServer();
  int port() const { return server_.port(); }
  std::string Url(const std::string& path) const;
  void Add(const std::string& path, const std::string& body,
           const std::string& content_type = "text/html; charset=utf-8");
  int Hits(const std::string& path) const;

 private:
  void Answer(PeerConnection& connection);

  mutable std::mutex mutex_;
  std::map<std::string, std::pair<std::string, std::string>> pages_;
  std::map<std::string, int> hits_;
  // Last: its handler threads use the members above until it is destroyed.
  ScriptedServer server_;
};

// Waits (polling every 20 ms, at most `timeout_ms`) until `condition` holds.
template <typename Condition>
bool WaitUntil(Condition condition, int timeout_ms = 10000) {
  for (int waited = 0; waited < timeout_ms; waited += 20) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

}  // namespace tarnvex::testing
