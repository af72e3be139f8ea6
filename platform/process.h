#pragma once
// Hidden child processes (the WebDriver server). A process is started from a
// command line with its standard streams on /dev/null and no other inherited
// descriptors, and ended with SIGKILL followed by waitpid, so no zombie stays.
#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace tarnvex::process {

// The argument vector of a command line whose program path is not quoted.
// The program is the shortest part of the line before a space that names an
// existing file (so "/opt/my tools/drv --port=1" finds "/opt/my tools/drv"
// when that file exists); when no such part exists it is the first word. The
// rest is split on runs of spaces; empty pieces are dropped. No quoting or
// escaping is interpreted.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// Starts the command line hidden. Returns the child's process id, or 0 when
// the process could not be created (nothing is raised). A relative program
// path is taken relative to the current directory, never looked up in PATH.
pid_t StartHidden(std::string_view command_line);

// Ends a process started by StartHidden at once and reaps it. 0 or a process
// that has already been terminated is ignored.
void Terminate(pid_t pid);

// For the program's own end, so that no server outlives it: terminates every
// process started by StartHidden and not terminated yet, and makes every
// later StartHidden fail (a worker still running cannot start one after).
void TerminateAllStarted();

}  // namespace tarnvex::process
