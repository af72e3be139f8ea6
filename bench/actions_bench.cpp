// End-to-end timing of the DevTools actions 2 to 5: each is run as the built
// program, the way a manager runs it, against a local headless Chromium that
// shows a loaded fixture page. Reports median and p95 wall time of the whole
// process and its peak resident set size.
//
//   actions_bench [runs per action, default 60]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_stats.h"
#include "tests/support/browser.h"

namespace {

using tarnvex::bench::Percentile;
using tarnvex::bench::RunProgramTimed;
using tarnvex::bench::TimedRun;
using namespace tarnvex::testing;

struct Sample {
  TimedRun run;
  std::string response;
};

Sample RunRequest(const TempDir& dir, const std::string& request) {
  const std::string response_path = dir.File("response.json");
  std::remove(response_path.c_str());
  WriteFile(dir.File("request.json"), request);
  const TimedRun run = RunProgramTimed(dir.File("request.json"));
  return {run, ReadFile(response_path)};
}

void Bench(int runs) {
  TempDir dir;
  FixtureServer site;
  site.Add("/index.html",
           "<!doctype html><title>Bench page</title><h1>Bench</h1><p>" + std::string(2000, 'x') + "</p>\n");
  const std::string page = site.Url("/index.html");
  Browser browser;

  const auto request = [&](int api, const std::string& members) {
    return "{\"api\":" + std::to_string(api) + ",\"profileId\":\"bench\",\"port\":" +
           std::to_string(browser.port()) + ",\"logfile\":\"" + dir.File("response.json") + "\"" + members + "}";
  };
  const std::string navigate = request(4, ",\"args\":\"" + page + "\"");
  // Every timed run starts on a loaded page: after a navigation the next run
  // waits (untimed) until the page has loaded again.
  const auto wait_for_load = [&] {
    const bool loaded = WaitUntil(
        [&] {
          return RunRequest(dir, request(2, R"(,"args":"document.readyState")")).response ==
                 R"({"value":"complete","drv_pid":0})";
        },
        30000);
    if (!loaded) throw std::runtime_error("the fixture page did not load");
  };
  RunRequest(dir, navigate);
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
      {"4 navigate", navigate, R"({"value":"")", true},
  };
  std::printf("%d runs per action; machine: %u cores\n", runs, std::thread::hardware_concurrency());
  std::printf("%-18s %10s %10s %10s %12s %8s\n", "action", "median ms", "p95 ms", "max ms", "peak RSS MB", "failed");
  for (const Action& action : actions) {
    std::vector<double> times;
    long rss_kb = 0;
    int failed = 0;
    for (int i = 0; i < runs; ++i) {
      const Sample sample = RunRequest(dir, action.request);
      times.push_back(sample.run.ms);
      rss_kb = std::max(rss_kb, sample.run.max_rss_kb);
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
  try {
    Bench(runs);  // the browser and the fixture server end with it
  } catch (const std::exception& error) {
    std::fprintf(stderr, "actions_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}
