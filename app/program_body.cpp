#include "app/program_body.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "app/bring_to_front_thread.h"
#include "app/doc_ready_state_thread.h"
#include "app/open_url_thread.h"
#include "app/page_state_thread.h"
#include "app/selenium_chrome_thread.h"
#include "json/json_document.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/text.h"

#if defined(__SANITIZE_ADDRESS__)
#define TARNVEX_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARNVEX_LEAK_CHECK 1
#endif
#endif
#ifdef TARNVEX_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace tarnvex::app {
namespace {

using json::TJsonObject;

// How long a response-file write in progress may take to finish at the end.
constexpr int kFinishWriteMs = 2000;

struct ProcessEndHooks {
  std::mutex mutex;
  std::vector<std::function<void()>> hooks;
};

ProcessEndHooks& Hooks() {
  static ProcessEndHooks hooks;
  return hooks;
}

std::string RequestPath(const char* argument) {
  std::string path(text::TrimControl(argument));
  std::erase(path, '"');
  return path;
}

// The worker of the given action with its fields filled from the request in
// table order, not yet started; empty for an unknown action.
std::unique_ptr<WorkerThread> NewWorker(int api, TJsonObject& request) {
  switch (api) {
    case 1: {
      auto worker = std::make_unique<TSeleniumChromeThread>();
      worker->FprofileId = request.GetString("profileId");
      worker->FAction = request.GetString("function");
      worker->FdataStr = request.GetString("args");
      worker->Fdata2Str = request.GetString("args2");
      worker->FToClick = request.GetBool("click");
      worker->Findex = request.GetInt("index");
      worker->remoteDebugPort = request.GetInt("port");
      worker->ChromeExe = request.GetString("chrome");
      worker->dwPluginSleep = request.GetInt("sleep");
      worker->ResponseLogFile = request.GetString("logfile");
      return worker;
    }
    case 2: {
      auto worker = std::make_unique<TDocReadyStateThread>();
      worker->FprofileId = request.GetString("profileId");
      worker->FJSStr = request.GetString("args");
      worker->remoteDebugPort = request.GetInt("port");
      worker->ResponseLogFile = request.GetString("logfile");
      return worker;
    }
    case 3: {
      auto worker = std::make_unique<TPageStateThread>();
      worker->FprofileId = request.GetString("profileId");
      worker->remoteDebugPort = request.GetInt("port");
      worker->ResponseLogFile = request.GetString("logfile");
      return worker;
    }
    case 4: {
      auto worker = std::make_unique<TOpenUrlToChromeThread>();
      worker->FNewTab = request.GetBool("click");
      worker->FxprofileId = request.GetString("profileId");
      worker->FOpenUrl = request.GetString("args");
      worker->remoteDebugPort = request.GetInt("port");
      worker->ResponseLogFile = request.GetString("logfile");
      return worker;
    }
    case 5: {
      auto worker = std::make_unique<TbringToFrontChromeThread>();
      worker->FprofileId = request.GetString("profileId");
      worker->Fid = request.GetString("args");
      worker->FisClose = request.GetBool("click");
      worker->remoteDebugPort = request.GetInt("port");
      worker->ResponseLogFile = request.GetString("logfile");
      return worker;
    }
    default:
      return nullptr;
  }
}

// The worker of actions 1 to 3 lives until the process ends; owned here so
// that the leak check at the end finds it reachable. Its destructor never
// runs: the process ends through EndProcess.
std::unique_ptr<WorkerThread> lasting_worker;

int WaitLimitMs(int api) { return api <= 3 ? 15000 : 5000; }

void DeleteRequest(const std::string& path) {
  files::MakeWritable(path);
  files::DeleteFile(path);
}

// Steps from loading to the wait; an error escaping here skips the second
// deletion.
void LoadAndDispatch(const std::string& path) {
  TJsonObject request;
  request.LoadFromFile(path, true);
  DeleteRequest(path);
  const int api = request.GetInt("api");
  std::unique_ptr<WorkerThread> worker = NewWorker(api, request);
  if (!worker) return;
  const std::shared_ptr<const Event> finished = worker->Finished();
  WorkerThread* const running = worker.get();
  if (api <= 3) {
    lasting_worker = std::move(worker);
  } else {
    worker.release();  // frees itself when it ends
  }
  running->Start();
  finished->WaitFor(WaitLimitMs(api));
}

void PrintError(const std::string& type_name, const std::string& message) {
  const std::string line = type_name + ": " + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
}

}  // namespace

void RunProgram(int argc, const char* const* argv) {
  // Writing to a socket the peer has closed must fail the write, not end the
  // process with a signal.
  std::signal(SIGPIPE, SIG_IGN);
  if (argc < 2 || !argv[1]) return;
  const std::string path = RequestPath(argv[1]);
  if (!files::FileExists(path)) return;
  try {
    LoadAndDispatch(path);
  } catch (const Exception& error) {
    PrintError(error.TypeName(), error.Message());
    return;
  } catch (const std::bad_alloc&) {
    PrintError("EOutOfMemory", "Out of memory");
    return;
  } catch (const std::exception& error) {
    PrintError("Exception", error.what());
    return;
  }
  if (files::FileExists(path)) DeleteRequest(path);
}

void AtProcessEnd(std::function<void()> hook) {
  std::lock_guard lock(Hooks().mutex);
  Hooks().hooks.push_back(std::move(hook));
}

void EndProcess() {
  {
    // Held until the end: a registration that comes too late waits and is
    // cut off with the process.
    Hooks().mutex.lock();
    for (const auto& hook : Hooks().hooks) {
      try {
        hook();
      } catch (...) {
        // One failing clean-up must not keep the others from running.
      }
    }
  }
  files::BlockFileWrites(kFinishWriteMs);
  std::fflush(stdout);
#ifdef TARNVEX_LEAK_CHECK
  // _Exit skips LeakSanitizer's check at exit, so sanitizer builds run it
  // here (it follows ASAN_OPTIONS=detect_leaks).
  __lsan_do_leak_check();
#endif
  std::_Exit(0);
}

}  // namespace tarnvex::app
