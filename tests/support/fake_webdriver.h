#pragma once
// A fake WebDriver server on loopback: parses each HTTP request (keep-alive
// connections included), records method, path, headers and body, and answers
// with the reply scripted for "METHOD path" (by default {"value":null}).
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/scripted_server.h"

namespace tarnvex::testing {

struct RecordedRequest {
  std::string method;
  std::string path;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;

  bool HasHeader(const std::string& lower_name) const { return headers.count(lower_name) != 0; }
  std::string Header(const std::string& lower_name) const;
};

class FakeWebDriver {
 public:
  FakeWebDriver();
  int port() const { return server_.port(); }
  std::string Host() const { return "http://127.0.0.1:" + std::to_string(port()); }

  // Scripts the standing answer to "METHOD path", replacing an earlier one.
  void Reply(const std::string& method, const std::string& path, const std::string& body,
             int status = 200);
  // An answer given once, before the standing one (several: in turn).
  void ReplyOnce(const std::string& method, const std::string& path, const std::string& body,
                 int status = 200);

  std::vector<RecordedRequest> Requests() const;
  // The requests of one method and path, in order.
  std::vector<RecordedRequest> Requests(const std::string& method, const std::string& path) const;
  // The only request received; fails the test when there is not exactly one.
  RecordedRequest Only() const;
  void ClearRequests();

 private:
  struct Answer {
    int status;
    std::string body;
  };
  struct Route {
    std::deque<Answer> once;
    Answer standing{200, R"({"value":null})"};
  };
  void Serve(PeerConnection& peer);
  Answer Take(const std::string& route);

  mutable std::mutex mutex_;
  std::map<std::string, Route> routes_;
  std::vector<RecordedRequest> requests_;
  ScriptedServer server_;  // last: its threads use the members above
};

}  // namespace tarnvex::testing
