// The launcher's connection against the real quend-devserver program, started as a process from
// a JSON file: both lists arrive, the version state follows Launcher.ini, and both ends stop
// cleanly.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/window_messages.h"
#include "protocol/client_connection.h"
#include "protocol/launcher_messages.h"
#include "support/message_recorder.h"
#include "support/test_support.h"
#include "support/trace_recorder.h"

extern char** environ;

namespace {

// The program with its standard output on a pipe, read line by line.
class DevServerProcess final {
public:
    explicit DevServerProcess(const std::string& configPath) {
        int out[2];
        if (::pipe(out) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args = {QUEND_DEVSERVER, "--config", configPath, "--role",
                                         "launcher",      "--port",   "0"};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc =
            posix_spawn(&m_pid, QUEND_DEVSERVER, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_out = out[0];
        if (rc != 0)
            throw std::runtime_error("cannot start " + std::string(QUEND_DEVSERVER));
    }
    ~DevServerProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
    }

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

    // Sends SIGTERM and answers the exit status, -1 when it did not exit normally.
    int terminate() {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

TEST(LauncherEndToEnd, ClientGetsBothListsFromTheDevServerProgram) {
    quend::test::TempDir dir;
    quend::test::writeFile(dir / "devserver.json", R"({
        "launcher": {
            "games": [
                {"name": "Quendalor", "server_version": "1.2.3", "update_url": "http://127.0.0.1:1/"},
                {"name": "Elsewhere", "server_version": "2.0.0"}
            ],
            "groups": [
                {"game": "Quendalor", "label": "推荐",
                 "servers": [{"endpoints": ["127.0.0.1:7001"], "load": 5}]},
                {"game": "Quendalor", "label": "North", "servers": []}
            ]
        }})");
    DevServerProcess process((dir / "devserver.json").string());
    const std::string ready = process.readLine();
    const std::string prefix = "launcher server listening on 127.0.0.1:";
    ASSERT_EQ(ready.rfind(prefix, 0), 0u) << ready;

    quend::test::TraceRecorder trace;
    quend::test::MessageRecorder window;
    {
        protocol::CClientConnection connection;
        connection.m_config.treeServer = ready.substr(ready.find("127.0.0.1:"));
        connection.m_config.games["Quendalor"] = {"1.2.3", ""};
        connection.SetMainWindow(&window);
        ASSERT_TRUE(connection.ConnectServer());
        ASSERT_TRUE(connection.SendRequest(protocol::kGameListId));
        ASSERT_TRUE(window.waitFor(platform::WM_SERVER_NOTIFY));

        const auto lists = connection.Directory().Latest();
        ASSERT_EQ(lists->game_list.size(), 2u);
        EXPECT_EQ(lists->game_list[0].update_url, "http://127.0.0.1:1/");
        EXPECT_EQ(lists->game_list[1].install_state, protocol::kNotInstalled);
        ASSERT_EQ(lists->group_list.size(), 2u);
        EXPECT_EQ(lists->group_list[0].label, "\xCD\xC6\xBC\xF6");
        EXPECT_EQ(lists->group_list[0].servers.at(0).endpoints.at(0).port, 7001);
        // The last game is unknown here, so the full list is chosen.
        EXPECT_EQ(connection.GetVersionState().checksumFile, "checksum_all.md5");
        connection.StopConnection();
    }
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"[30]", "[40]"}));
    EXPECT_EQ(window.count(platform::WM_SERVER_MSG), 0u);

    std::vector<std::string> log;
    for (std::string line = process.readLine(); line.find("closed") == std::string::npos;
         line = process.readLine()) {
        ASSERT_FALSE(line.empty()) << "log ended early";
        if (line.rfind("launcher ", 0) == 0)  // not the send reports
            log.push_back(line);
    }
    EXPECT_EQ(process.terminate(), 0);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NE(log[1].find("request 30, 2 games"), std::string::npos) << log[1];
    EXPECT_NE(log[2].find("request 40, 2 groups"), std::string::npos) << log[2];
}

}  // namespace
