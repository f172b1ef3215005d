#pragma once
// Processes: starting a program without waiting for it, ending another process and waiting for
// its end, the program files of processes, the browser, and the command line as one text. Paths
// and texts are UTF-8. Any thread.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using ProcessId = int;

// Starts the program file `path` with argv = {path, args...} in the folder `workDir` (empty: the
// caller's working folder) and the caller's environment, without waiting for it. `pid` receives
// the new process's id when given. False when the program cannot be started: missing, not
// runnable, or `workDir` cannot be entered.
bool StartProcess(const std::string& path, const std::vector<std::string>& args,
                  const std::string& workDir, ProcessId* pid = nullptr);

// As StartProcess, with the arguments as one text that the program receives exactly as given
// (on Windows after its quoted path and one blank: no quoting added, trailing blanks kept);
// elsewhere split at blanks as SplitCommandLine does.
bool StartProcessWithCommandLine(const std::string& path, const std::string& parameters,
                                 const std::string& workDir);

// True where the system starts Windows programs itself; elsewhere they need wine.
bool StartsWindowsPrograms();

// Runs the batch file `path` with the system's command interpreter, with no window and without
// waiting. Only Windows has one for batch files: elsewhere false.
bool StartBatchFile(const std::string& path);

// Asks the process to end (SIGTERM; on Windows WM_CLOSE to its windows) and waits until it has
// ended; one that is still there after `grace` is killed (SIGKILL; TerminateProcess with exit
// code 0) and waited for again, so the caller never goes on while it runs.
// A process counts as ended once it has exited, even while its parent has not collected it.
// False when no running process with that id could be signalled (gone already, another user's,
// this process itself, or an id of 0 or below, which would name a process group).
bool EndProcess(ProcessId pid, std::chrono::milliseconds grace = std::chrono::seconds(10));

// True while the process exists and has not exited.
bool IsProcessRunning(ProcessId pid);

ProcessId CurrentProcessId();

// The full path of the program file the process runs (/proc/PID/exe, or the system's image name);
// empty when it cannot be read (gone, exited, or another user's). On Linux a file removed since
// it was started reads with " (deleted)" after its path.
std::string ProcessExePath(ProcessId pid);
std::string OwnExePath();

// True when `path` names the very file this process runs (not merely one at the same place).
bool IsOwnProgramFile(const std::string& path);

// True when a running process other than this one runs the very file `path` names. Processes of
// other users are not seen.
bool IsRunByOtherProcess(const std::string& path);

// The full path of the first runnable file `name` in the folders of PATH (on Windows also `name`
// with ".exe"); empty when none.
std::string FindOnPath(const std::string& name);

// Hands `url` to the desktop's browser (xdg-open; on Windows the shell) without waiting. False
// when it could not be handed over.
bool OpenInBrowser(const std::string& url);

// A command line as the arguments a program receives: split at blanks and tabs, empty pieces
// dropped, nothing unquoted.
std::vector<std::string> SplitCommandLine(std::string_view line);

// argv[1..argc-1] joined by single blanks: the command line of a process as one text.
std::string JoinArguments(int argc, const char* const* argv);

// From now on a request to end (SIGTERM) ends this process at once with exit code 0, as
// ExitProcessNow(0) would but without flushing (a signal handler may not). On Windows, where
// EndProcess ends a process with exit code 0 already, it changes nothing.
void ExitZeroOnTerminate();

// Ends this process at once with `code`: standard streams are flushed, but no destructor, atexit
// handler or window close runs.
[[noreturn]] void ExitProcessNow(int code);

}  // namespace platform
