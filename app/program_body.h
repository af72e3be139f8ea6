#pragma once
// The program body: reads and deletes the request file, starts the worker its
// `api` names, waits for it with a fixed limit and ends the process.
#include <functional>

namespace tarnvex::app {

// Runs the body on the command line and returns when the run is over; never
// raises (an escaping error becomes the one console line).
void RunProgram(int argc, const char* const* argv);

// Registers a callback that EndProcess runs before the process ends, for
// resources that must not outlive the run (a WebDriver server). Callbacks run
// on the main thread, possibly while the worker is still running, so they must
// be safe against it and return promptly. Register before acquiring the
// resource: a registration racing with the end blocks and is cut off.
void AtProcessEnd(std::function<void()> hook);

// Runs the callbacks, lets a response-file write in progress finish, and ends
// the process with exit code 0, cutting off a worker that is still running.
[[noreturn]] void EndProcess();

}  // namespace tarnvex::app
