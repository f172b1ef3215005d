#pragma once
// The quend-devserver program as a child process, its standard output and error on one pipe
// that the test reads line by line. Test thread only.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace quend::test {

class DevServerProcess final {
public:
    // Starts the program with `args` after its name.
    explicit DevServerProcess(std::vector<std::string> args) {
        int out[2];
        if (::pipe(out) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        args.insert(args.begin(), QUEND_DEVSERVER);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc =
            posix_spawn(&m_pid, QUEND_DEVSERVER, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_out = out[0];
        if (rc != 0) {
            m_pid = -1;
            throw std::runtime_error("cannot start " + std::string(QUEND_DEVSERVER));
        }
    }
    ~DevServerProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
    }
    DevServerProcess(const DevServerProcess&) = delete;
    DevServerProcess& operator=(const DevServerProcess&) = delete;

    // The next line of output, or empty after 10 s or at its end.
    std::string readLine() {
        std::string line;
        char c;
        for (;;) {
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, 10000) != 1 || ::read(m_out, &c, 1) != 1)
                return line;
            if (c == '\n')
                return line;
            line += c;
        }
    }

    // Sends `signal` (none for 0), waits for the end and answers the exit status, -1 when it did
    // not exit normally.
    int finish(int signal = SIGTERM) {
        if (signal != 0)
            ::kill(m_pid, signal);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

}  // namespace quend::test
