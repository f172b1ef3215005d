#pragma once
// Self-update: the launcher never runs from its own program file. Started under any other name
// it copies itself to "Temp.exe" beside it, starts the copy with its process id and switches, and
// ends; the copy makes sure the first process has ended and runs the launcher, so an update can
// replace the launcher's own file. The last process that runs from a copy removes it at its exit.
// Start-up and shutdown call it on the GUI thread; one object serves one call of Run.

#include <functional>
#include <string>

#include "platform/file_lock.h"
#include "platform/process.h"

namespace launch {

class SelfUpdater final {
public:
    // The temporary copy's file name beside the program file, and so the name of the
    // single-instance lock of a running launcher window.
    static constexpr const char* kTempName = "Temp.exe";
    // The batch that deletes a copy whose file the system keeps while it runs.
    static constexpr const char* kDelBatName = "del.bat";

    // How this process ends itself; tests put an observer here.
    using ExitHook = std::function<void(int code)>;

    SelfUpdater();
    explicit SelfUpdater(ExitHook exitProcess);

    // `arguments`: the command line after the program name, as one text ("1234 -NoCheck").
    // True: this process is the copy and start-up goes on. False: start-up stops; normally the
    // process has ended before that, right after starting the copy. From the moment it starts
    // the copy, a request to end (SIGTERM, as the copy sends) also ends this process with code 0.
    bool Run(const std::string& arguments);

    // Answers the text before the first "-" (the whole text when there is none); keeps the rest
    // in Args() and sets NoCheck()/NoUpdate() for the switches "-NoCheck" and "-NoUpdate",
    // compared without regard to case.
    std::string ParseCommandLine(const std::string& arguments);

    // Ends the process `pid` and waits for its end, but only when it runs a program file from
    // this launcher's own folder; any other id (0 and below, this process, a stranger) is ignored.
    void EndProcessById(platform::ProcessId pid);

    // This process: ends it with `exitCode` through the exit hook. Another process: asks it to
    // end (SIGTERM, SIGKILL after a grace time) and waits until it has; its exit code cannot be
    // imposed. True when the process was made to end; false when it had ended already, or the
    // exit hook returned.
    bool EndProcessGracefully(platform::ProcessId pid, int exitCode);

    // True when the running program file's name is exactly `name` (case-sensitive).
    bool IsRunningAs(const std::string& name) const;

    // Replaces "Temp.exe" beside the running program file with a copy of it, run permission
    // included, unless another process runs from it: then it stays, to be started once more.
    // Failures are not reported: StartTempCopy then starts whatever is there.
    void MakeTempCopy();

    // Starts the copy with "<this process id> <Args()>", then " -NoCheck" and " -NoUpdate" when
    // set, split at blanks into its arguments, in the launcher's folder. False when it could not
    // be started.
    bool StartTempCopy();

    // For a process running as "Temp.exe": a shared lock on its program file, held from start-up
    // to exit, by which the last of the processes running from one copy knows itself. Elsewhere
    // it holds nothing.
    static platform::FileLock HoldTempCopy();

    // At the exit of a process running as "Temp.exe", given its HoldTempCopy: removes the program
    // file when no other process holds it and it is still this process's own file. Linux lets a
    // running file be removed; where the system keeps it (Windows), "del.bat" beside it is
    // written and started hidden, and deletes the file once this process has ended, then itself.
    // Without a hold, only the second condition counts.
    static void RemoveTempCopy(platform::FileLock hold);

    // The batch deleting the file `exeName` beside it once that is free, then itself: four lines,
    // each ending in a blank and CR LF.
    static std::string DelBatText(const std::string& exeName);

    bool NoCheck() const { return m_bNoCheck; }
    bool NoUpdate() const { return m_bNoUpdate; }
    const std::string& Args() const { return m_strArgs; }
    const std::string& TempPath() const { return m_strTempPath; }

private:
    std::string m_strTempPath;    // the launcher's folder + "Temp.exe"
    std::string m_strModulePath;  // the running program file
    std::string m_strArgs;        // the command line from its first "-"
    bool m_bNoCheck = false;
    bool m_bNoUpdate = false;
    ExitHook m_exitProcess;
};

}  // namespace launch
