#include "tests/support/fake_webdriver.h"

#include <gtest/gtest.h>

#include <cctype>

namespace tarnvex::testing {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const size_t start = s.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  return s.substr(start, s.find_last_not_of(" \t") - start + 1);
}

// Parses a request head; false when it is incomplete.
bool ParseHead(const std::string& head, RecordedRequest& request) {
  const size_t line_end = head.find("\r\n");
  if (line_end == std::string::npos) return false;
  const std::string line = head.substr(0, line_end);
  const size_t first = line.find(' ');
  const size_t second = line.find(' ', first + 1);
  if (first == std::string::npos || second == std::string::npos) return false;
  request.method = line.substr(0, first);
  request.path = line.substr(first + 1, second - first - 1);
  size_t pos = line_end + 2;
  while (pos < head.size()) {
    const size_t end = head.find("\r\n", pos);
    if (end == std::string::npos || end == pos) break;
    const std::string header = head.substr(pos, end - pos);
    const size_t colon = header.find(':');
    if (colon != std::string::npos) {
      request.headers[Lower(header.substr(0, colon))] = Trim(header.substr(colon + 1));
    }
    pos = end + 2;
  }
  return true;
}

}  // namespace

std::string RecordedRequest::Header(const std::string& lower_name) const {
  const auto it = headers.find(lower_name);
  return it == headers.end() ? std::string() : it->second;
}

FakeWebDriver::FakeWebDriver() : server_([this](PeerConnection& peer) { Serve(peer); }) {}

void FakeWebDriver::Reply(const std::string& method, const std::string& path,
                          const std::string& body, int status) {
  std::lock_guard lock(mutex_);
  routes_[method + " " + path].standing = {status, body};
}

void FakeWebDriver::ReplyOnce(const std::string& method, const std::string& path,
                              const std::string& body, int status) {
  std::lock_guard lock(mutex_);
  routes_[method + " " + path].once.push_back({status, body});
}

FakeWebDriver::Answer FakeWebDriver::Take(const std::string& route) {
  std::lock_guard lock(mutex_);
  Route& answers = routes_[route];
  if (answers.once.empty()) return answers.standing;
  Answer answer = answers.once.front();
  answers.once.pop_front();
  return answer;
}

void FakeWebDriver::Serve(PeerConnection& peer) {
  for (;;) {
    const std::string head = peer.ReadUntil("\r\n\r\n", 10000);
    RecordedRequest request;
    if (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0 ||
        !ParseHead(head, request)) {
      return;  // closed, timed out or garbage
    }
    const std::string length = request.Header("content-length");
    if (!length.empty()) request.body = peer.ReadBytes(std::stoul(length));
    const Answer answer = Take(request.method + " " + request.path);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    peer.Send("HTTP/1.1 " + std::to_string(answer.status) + " Scripted\r\n" +
              "Content-Type: application/json; charset=utf-8\r\n" +
              "Content-Length: " + std::to_string(answer.body.size()) + "\r\n\r\n" + answer.body);
  }
}

std::vector<RecordedRequest> FakeWebDriver::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<RecordedRequest> FakeWebDriver::Requests(const std::string& method,
                                                     const std::string& path) const {
  std::vector<RecordedRequest> matching;
  for (const RecordedRequest& request : Requests()) {
    if (request.method == method && request.path == path) matching.push_back(request);
  }
  return matching;
}

RecordedRequest FakeWebDriver::Only() const {
  const std::vector<RecordedRequest> all = Requests();
  EXPECT_EQ(all.size(), 1u);
  return all.empty() ? RecordedRequest{} : all.back();
}

void FakeWebDriver::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

}  // namespace tarnvex::testing
