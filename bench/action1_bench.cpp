// Action 1 "source" end to end: the built program is run the way a manager
// runs it, against a local headless Chromium showing a small page; each run
// starts its own chromedriver and attaches a session. Reports median and p95
// wall time of the whole process and its peak resident set size, then the
// same steps timed one by one in this process to show where the time goes.
//
//   action1_bench [runs, default 40]
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/selenium_chrome_thread.h"
#include "app/target_discovery.h"
#include "bench/bench_stats.h"
#include "tests/support/browser.h"
#include "webdriver/chrome_driver.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarnvex::bench::Percentile;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Run {
  double ms;
  long rss_kb;      // wait4: the largest of the program and the children it reaped
  long own_hwm_kb;  // the program's own high-water mark, sampled every ms
};

long OwnHighWaterKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// One whole program run on a request file.
// Polls rather than blocks, to sample the program's own high-water mark; the
// 1 ms poll is small against a run of tens of milliseconds.
Run RunProgram(const std::string& request_path) {
  const Clock::time_point start = Clock::now();
  tarnvex::testing::ChildProcess program({TARNVEX_BINARY, request_path}, "",
                                         tarnvex::testing::ProcessGroup::kInherited);
  int status = 0;
  rusage usage{};
  long own = 0;
  while (::wait4(program.pid(), &status, WNOHANG, &usage) == 0) {
    own = std::max(own, OwnHighWaterKb(program.pid()));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return {MsSince(start), usage.ru_maxrss, own};
}

// The worker's steps, timed in this process.
void TimeSteps(int browser_port, int rounds) {
  const char* names[] = {"start chromedriver", "until /status answers", "new session",
                         "first page id",      "switch to tab",        "page source",
                         "terminate server"};
  constexpr int kSteps = 7;
  std::vector<std::vector<double>> times(kSteps);
  for (int round = 0; round < rounds; ++round) {
    tarnvex::webdriver::TChromeDriver driver;
    driver.SetPort(tarnvex::testing::FreePort());
    std::string page_id;
    const std::function<void()> steps[kSteps] = {
        [&] { driver.StartDriver("/usr/bin/chromedriver", ""); },
        [&] { driver.WaitForServer(5000); },
        [&] { driver.NewSession(tarnvex::app::DebuggerAddress(browser_port)); },
        [&] { tarnvex::app::FindFirstPageId(browser_port, page_id); },
        [&] { driver.SwitchToTab(page_id); },
        [&] { driver.GetDocument(); },
        [&] { driver.TerminateWebDriver(); },
    };
    for (int step = 0; step < kSteps; ++step) {
      const Clock::time_point start = Clock::now();
      steps[step]();
      times[step].push_back(MsSince(start));
    }
  }
  std::printf("\nsteps in process, median of %d rounds (ms):\n", rounds);
  for (int step = 0; step < kSteps; ++step) {
    std::printf("  %-24s %7.1f\n", names[step], Percentile(times[step], 0.5));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  tarnvex::testing::TempDir dir;
  tarnvex::testing::Browser browser;
  const int port = browser.port();

  const std::string request = dir.File("request.json");
  const std::string response = dir.File("response.json");
  auto write_request = [&](const std::string& function, const std::string& args) {
    std::ofstream(request) << "{\"api\":1,\"profileId\":\"bench\",\"port\":" << port << ",\"function\":\"" << function
                           << "\",\"args\":\"" << args << "\",\"chrome\":\"/usr/bin/chromium\",\"logfile\":\""
                           << response << "\"}";
  };
  // The small page, loaded once; "click" navigates without a prefix.
  write_request("click", "data:text/html,<title>bench</title><p>a small fixture page</p>");
  RunProgram(request);

  std::vector<double> times;
  long peak_rss = 0;
  long own_peak = 0;
  write_request("source", "");
  RunProgram(request);  // warm-up
  for (int i = 0; i < runs; ++i) {
    write_request("source", "");
    const Run run = RunProgram(request);
    times.push_back(run.ms);
    peak_rss = std::max(peak_rss, run.rss_kb);
    own_peak = std::max(own_peak, run.own_hwm_kb);
  }
  const std::string last = tarnvex::testing::ReadFile(response);
  std::printf("action 1 \"source\", %d runs: median %.1f ms, p95 %.1f ms, peak RSS %.1f MB "
              "(TarnvexApi alone %.1f MB; the rest is its chromedriver)\n",
              runs, Percentile(times, 0.5), Percentile(times, 0.95), peak_rss / 1024.0, own_peak / 1024.0);
  std::printf("last response: %.120s\n", last.c_str());

  TimeSteps(port, std::min(runs, 20));
}
