#pragma once
// Helpers of the tests that start programs: a child process that is always collected, the games
// reaped, a working folder that is restored, the lines of a record, a runnable copy. Test thread.

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quend::test {

// A started child of the test; killed and collected at the end unless Wait has collected it.
class Child final {
public:
    explicit Child(pid_t pid) : m_pid(pid) {}
    ~Child() {
        if (m_pid > 0)
            Wait(std::chrono::milliseconds(0));
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return m_pid; }

    // Collects the child: its exit code, or minus the signal that ended it. One still running
    // after `timeout` is killed first, so a test that waits in vain fails, not hangs.
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        int status = 0;
        if (!waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout)) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
        return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
    }

private:
    pid_t m_pid;
};

// Enters `folder` and returns to the former working folder at the end.
class WorkingFolder final {
public:
    explicit WorkingFolder(const std::filesystem::path& folder)
        : m_saved(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() { std::filesystem::current_path(m_saved); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    std::filesystem::path m_saved;
};

inline std::vector<std::string> readLines(const std::filesystem::path& path) {
    std::istringstream in(readFile(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Collects every child, waiting for each: the started games end by themselves after their record.
inline void reapChildren() {
    while (::waitpid(-1, nullptr, 0) > 0) {
    }
}

// A copy of the program `source` at `target`, runnable.
inline void copyProgram(const std::filesystem::path& source, const std::filesystem::path& target) {
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace quend::test
