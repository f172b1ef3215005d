// The real quend-devserver program: its roles under several clients, its log, its stop.

#include <signal.h>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "account/account_urls.h"
#include "devserver/devserver_config.h"
#include "patch/md5.h"
#include "platform/http_client.h"
#include "platform/window_messages.h"
#include "protocol/client_connection.h"
#include "protocol/launcher_messages.h"
#include "support/post_recorder.h"
#include "support/raw_peer.h"
#include "support/test_support.h"

namespace {

using testing::HasSubstr;

// The program as a child, its output read by line; its id is the one its shell printed (exec).
class DevServer final {
public:
    explicit DevServer(const std::string& args)
        : m_out(::popen(("echo $$; exec " QUEND_DEVSERVER " " + args + " 2>&1").c_str(), "re")),
          m_pid(std::stoi(ReadLine())) {}
    ~DevServer() {
        if (m_out != nullptr)
            Finish(SIGKILL);
    }
    DevServer(const DevServer&) = delete;
    DevServer& operator=(const DevServer&) = delete;

    std::string ReadLine() {
        char line[4096] = "";
        std::fgets(line, sizeof line, m_out);
        return std::string(line, std::strcspn(line, "\n"));
    }

    // Sends `signal` (none for 0) and waits for the end: the exit status (-1 when it did not
    // exit normally) and the output not read yet.
    std::pair<int, std::string> Finish(int signal) {
        if (signal != 0)
            ::kill(m_pid, signal);
        std::string rest;
        char buffer[4096];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, m_out))
            rest.append(buffer, n);
        const int status = ::pclose(std::exchange(m_out, nullptr));
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, rest};
    }

private:
    std::FILE* m_out;
    pid_t m_pid;
};

// "127.0.0.1:<port>" from a "<role> listening on 127.0.0.1:<port>[, ...]" line.
std::string Address(const std::string& line) {
    const std::size_t at = line.find(" listening on 127.0.0.1:") + 14;
    return at < 14 ? "" : line.substr(at, line.find(',') - at);
}

class DevServerProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("no_proxy", "127.0.0.1,localhost", 1);
        quend::test::writeFile(m_dir / "conf/files/Data/地图.txt", "map bytes");
        quend::test::writeFile(m_config, R"({"launcher": {"port": 0, "trailer": "end", "games": [
                {"name": "Quendalor", "server_version": "1.2.3", "update_url": "http://u/"},
                {"name": "Elsewhere", "server_version": "2.0.0"}], "groups": [
                {"game": "Quendalor", "label": "推荐",
                 "servers": [{"endpoints": ["127.0.0.1:7001"], "load": 5}]},
                {"game": "Quendalor", "label": "North", "servers": []}]},
            "account": {"port": 0, "accounts": [{"name": "player1", "password": "quendalor",
                                                 "user_id": "10001", "user_key": "k1"}]},
            "update": {"port": 0, "root": "files", "faults": {}}})");
    }

    quend::test::TempDir m_dir;
    std::string m_config = (m_dir / "conf/devserver.json").string();
};

TEST_F(DevServerProgram, AllRolesServeTheirFileUntilStoppedUnderConnectedLaunchers) {
    DevServer process("--config " + m_config + " --short-header");
    const std::string launcher = Address(process.ReadLine());
    const std::string update = Address(process.ReadLine());
    const std::string account = Address(process.ReadLine());
    ASSERT_FALSE(launcher.empty() || update.empty() || account.empty());

    std::array<quend::test::PostRecorder, 4> windows;
    std::array<protocol::CClientConnection, 4> clients;  // gone before their windows
    const auto served = devserver::DevServerConfig::Load(m_config).Launcher();
    for (size_t i = 0; i < clients.size(); ++i) {
        clients[i].SetInstalledGames({{"Quendalor", {"1.2.3", ""}}, {"Elsewhere", {"2.0.0", ""}}});
        clients[i].SetMainWindow(&windows[i]);
        ASSERT_TRUE(clients[i].ConnectServer(launcher));
        ASSERT_TRUE(clients[i].SendRequest(protocol::kGameListId));
    }
    for (size_t i = 0; i < clients.size(); ++i) {
        ASSERT_TRUE(windows[i].waitFor(platform::WM_SERVER_NOTIFY)) << i;
        EXPECT_TRUE(clients[i].short_header());
        const auto lists = clients[i].Directory().Latest();
        EXPECT_EQ(lists->game_list, served.games);
        EXPECT_EQ(lists->group_list, served.groups);
        EXPECT_EQ(lists->trailer, "end");
    }

    {
        // Gone before the signal: the server waits for a kept-alive connection to go idle. (The
        // update role with its faults serves the download suite's fixture.)
        platform::HttpClient http("QuendTest");
        std::string reply;
        ASSERT_TRUE(http.GetText(
            account::MakeLoginUrl(account, "player1", patch::CMD5().GetStringMD5("quendalor")),
            reply));
        EXPECT_THAT(reply, testing::AllOf(testing::StartsWith("succeed|"), HasSubstr("10001")));
    }

    const auto [status, log] = process.Finish(SIGINT);
    EXPECT_EQ(status, 0);
    for (size_t i = 0; i < windows.size(); ++i)  // they hear of it as a lost connection
        EXPECT_TRUE(windows[i].waitFor(platform::WM_SERVER_MSG)) << i;
    for (const char* logged : {"request 30, 2 games", "request 40, 2 groups",
                               "\naccount 127.0.0.1:", "\nstopping on SIGINT\n"})
        EXPECT_THAT(log, HasSubstr(logged));
    EXPECT_TRUE(log.ends_with("\nstopped\n")) << log;
}

// Only the role asked for starts, or its neighbours would print their lines first.
TEST_F(DevServerProgram, APortInUseIsNamed) {
    const quend::test::RawPeer taken;
    const std::string port = std::to_string(taken.port());
    DevServer process("--config " + m_config + " --role account --account-port " + port);
    EXPECT_EQ(process.Finish(0),
              std::make_pair(1, "quend-devserver: account service cannot listen on port " + port +
                                    " (in use?)\n"));
}

}  // namespace
