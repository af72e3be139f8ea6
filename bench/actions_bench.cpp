// End-to-end timing of the DevTools actions 2 to 5: each is run as the built
// program, the way a manager runs it, against a local headless Chromium that
// shows a loaded fixture page. Reports median and p95 wall time of the whole
// process and its peak resident set size.
//
//   actions_bench [runs per action, default 60]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
  ::close(fd);
  return ntohs(addr.sin_port);
}

// A child in its own process group, killed with everything it started.
struct Child {
  pid_t pid = 0;
  ~Child() {
    if (pid > 0) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

pid_t Spawn(const std::vector<std::string>& argv, bool own_group) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  if (own_group) {
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

// One GET over a fresh loopback connection; the body, or "" on any failure.
std::string HttpGet(int port, const std::string& path) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval timeout{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nConnection: close\r\n\r\n";
    (void)!::write(fd, request.data(), request.size());
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) reply.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  const size_t body = reply.find("\r\n\r\n");
  const bool ok = reply.rfind("HTTP/1.", 0) == 0 && reply.compare(8, 5, " 200 ") == 0;
  return ok && body != std::string::npos ? reply.substr(body + 4) : "";
}

template <typename Condition>
void WaitFor(Condition condition, const char* what) {
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (Clock::now() > deadline) throw std::runtime_error(std::string("timed out waiting for ") + what);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct Sample {
  double ms;
  long max_rss_kb;
  std::string response;
};

Sample RunProgram(const std::string& dir, const std::string& request) {
  const std::string request_path = dir + "/request.json";
  const std::string response_path = dir + "/response.json";
  std::filesystem::remove(response_path);
  std::ofstream(request_path, std::ios::binary) << request;
  const auto start = Clock::now();
  const pid_t pid = Spawn({TARNVEX_BINARY, request_path}, false);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return {ms, usage.ru_maxrss, ReadFile(response_path)};
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

void Bench(const std::string& dir, int runs) {
  std::filesystem::create_directories(dir + "/site");
  std::filesystem::create_directories(dir + "/profile");
  std::ofstream(dir + "/site/index.html")
      << "<!doctype html><title>Bench page</title><h1>Bench</h1><p>" << std::string(2000, 'x') << "</p>\n";

  const int site_port = FreePort();
  Child site{Spawn({"python3", "-m", "http.server", std::to_string(site_port), "--bind", "127.0.0.1",
                    "--directory", dir + "/site"},
                   true)};
  const std::string page = "http://127.0.0.1:" + std::to_string(site_port) + "/index.html";
  WaitFor([&] { return !HttpGet(site_port, "/index.html").empty(); }, "the fixture server");

  const int port = FreePort();
  Child browser{Spawn({"/usr/bin/chromium", "--headless", "--remote-debugging-port=" + std::to_string(port),
                       "--user-data-dir=" + dir + "/profile", "--no-sandbox", "--disable-gpu", "--no-first-run",
                       "--disable-background-networking", "--disable-component-update", "--disable-sync",
                       "--disable-quic", "--remote-allow-origins=*", page},
                      true)};
  WaitFor([&] { return !HttpGet(port, "/json/version").empty(); }, "Chromium");

  const auto request = [&](int api, const std::string& members) {
    return "{\"api\":" + std::to_string(api) + ",\"profileId\":\"bench\",\"port\":" + std::to_string(port) +
           ",\"logfile\":\"" + dir + "/response.json\"" + members + "}";
  };
  // Every timed run starts on a loaded page: after a navigation the next run
  // waits (untimed) until the page has loaded again.
  const auto wait_for_load = [&] {
    WaitFor([&] {
      return RunProgram(dir, request(2, R"(,"args":"document.readyState")")).response ==
             R"({"value":"complete","drv_pid":0})";
    }, "the fixture page to load");
  };
  wait_for_load();

  struct Action {
    const char* name;
    std::string request;
    const char* expected_start;  // a response that shows the action's own result
    bool changes_page;
  };
  const Action actions[] = {
      {"2 evaluate", request(2, R"(,"args":"document.title")"), R"({"value":"Bench page")", false},
      {"3 page state", request(3, ""), R"({"value":"{\"success\":true)", false},
      {"5 bring to front", request(5, ""), R"({"status":"OK")", false},
      {"4 navigate", request(4, ",\"args\":\"" + page + "\""), R"({"value":"")", true},
  };
  std::printf("%d runs per action; machine: %u cores\n", runs, std::thread::hardware_concurrency());
  std::printf("%-18s %10s %10s %10s %12s %8s\n", "action", "median ms", "p95 ms", "max ms", "peak RSS MB", "failed");
  for (const Action& action : actions) {
    std::vector<double> times;
    long rss_kb = 0;
    int failed = 0;
    for (int i = 0; i < runs; ++i) {
      const Sample sample = RunProgram(dir, action.request);
      times.push_back(sample.ms);
      rss_kb = std::max(rss_kb, sample.max_rss_kb);
      if (sample.response.rfind(action.expected_start, 0) != 0) ++failed;
      if (action.changes_page) wait_for_load();
    }
    std::printf("%-18s %10.1f %10.1f %10.1f %12.2f %8d\n", action.name, Percentile(times, 0.5),
                Percentile(times, 0.95), *std::max_element(times.begin(), times.end()), rss_kb / 1024.0,
                failed);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  char pattern[] = "/tmp/tarnvex-bench-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  int rc = 0;
  try {
    Bench(dir, runs);  // the browser and the fixture server end with it
  } catch (const std::exception& error) {
    std::fprintf(stderr, "actions_bench: %s\n", error.what());
    rc = 1;
  }
  std::filesystem::remove_all(dir);
  return rc;
}
