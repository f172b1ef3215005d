// The real quend-devserver program, started as a process from a JSON file: each role it is asked
// for serves what the file describes to several clients at once and logs each request, the
// configured faults are on, a mistaken file is refused with the field named, and either signal
// stops it cleanly, also under connected launchers.

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "account/account_urls.h"
#include "patch/md5.h"
#include "platform/http_client.h"
#include "platform/window_messages.h"
#include "protocol/client_connection.h"
#include "protocol/launcher_messages.h"
#include "support/post_recorder.h"
#include "support/test_support.h"

namespace {

// The program as a child, its standard output and error read line by line. The shell prints its
// own id, which the program keeps once it has taken the shell's place.
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

    // The next line of output, empty at its end.
    std::string ReadLine() {
        char line[4096];
        return std::fgets(line, sizeof line, m_out) ? std::string(line, std::strcspn(line, "\n"))
                                                    : "";
    }

    // Sends `signal` (none for 0) and waits for the end; the exit status (-1 when it did not
    // exit normally). The output not read yet goes to `rest`.
    int Finish(int signal, std::string* rest = nullptr) {
        if (signal != 0)
            ::kill(m_pid, signal);
        for (std::string line; !(line = ReadLine()).empty();) {
            if (rest != nullptr)
                *rest += line + "\n";
        }
        const int status = ::pclose(std::exchange(m_out, nullptr));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    std::FILE* m_out;
    pid_t m_pid;
};

// "127.0.0.1:<port>" from a "<what> listening on 127.0.0.1:<port>[, ...]" line, or empty.
std::string Listening(const std::string& what, const std::string& line) {
    const std::string prefix = what + " listening on ";
    if (line.rfind(prefix + "127.0.0.1:", 0) != 0)
        return {};
    return line.substr(prefix.size(), line.find(',') - prefix.size());
}

class DevServerProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("no_proxy", "127.0.0.1,localhost", 1);
        quend::test::writeFile(m_dir / "conf/files/Data/地图.txt", "map bytes");
    }

    std::string WriteConfig(const std::string& faults) {
        const auto path = m_dir / "conf/devserver.json";
        quend::test::writeFile(path, R"({
            "launcher": {"port": 0, "trailer": "end", "games": [
                {"name": "Quendalor", "server_version": "1.2.3", "update_url": "http://u/"},
                {"name": "Elsewhere", "server_version": "2.0.0"}],
             "groups": [
                {"game": "Quendalor", "label": "推荐",
                 "servers": [{"endpoints": ["127.0.0.1:7001"], "load": 5}]},
                {"game": "Quendalor", "label": "North", "servers": []}]},
            "update": {"port": 0, "root": "files", "faults": {)" +
                                         faults + R"(}},
            "account": {"port": 0, "accounts": [{"name": "player1", "password": "quendalor",
                                                 "user_id": "10001", "user_key": "k1"}]}})");
        return path.string();
    }

    quend::test::TempDir m_dir;
};

TEST_F(DevServerProgram, AllRolesServeTheFileWithItsFaultsAndStopUnderConnectedLaunchers) {
    DevServer process("--config " + WriteConfig(R"("cut_after": 4)") + " --short-header");
    const std::string launcher = Listening("launcher server", process.ReadLine());
    const std::string update = Listening("update server", process.ReadLine());
    const std::string account = Listening("account service", process.ReadLine());
    ASSERT_FALSE(launcher.empty() || update.empty() || account.empty());

    constexpr size_t kLaunchers = 4;
    std::vector<quend::test::PostRecorder> windows(kLaunchers);
    std::vector<std::unique_ptr<protocol::CClientConnection>> clients;
    for (size_t i = 0; i < kLaunchers; ++i) {
        auto& client = *clients.emplace_back(std::make_unique<protocol::CClientConnection>());
        client.m_config.treeServer = launcher;
        client.m_config.games["Quendalor"] = {"1.2.3", ""};
        client.SetMainWindow(&windows[i]);
        ASSERT_TRUE(client.ConnectServer());
    }
    for (auto& client : clients)
        ASSERT_TRUE(client->SendRequest(protocol::kGameListId));
    for (size_t i = 0; i < kLaunchers; ++i) {
        ASSERT_TRUE(windows[i].waitFor(platform::WM_SERVER_NOTIFY)) << i;
        EXPECT_TRUE(clients[i]->short_header());
        const auto lists = clients[i]->Directory().Latest();
        ASSERT_EQ(lists->game_list.size(), 2u);
        EXPECT_EQ(lists->game_list[0].update_url, "http://u/");
        EXPECT_EQ(lists->trailer, "end");
        ASSERT_EQ(lists->group_list.size(), 2u);
        EXPECT_EQ(lists->group_list[0].label, "\xCD\xC6\xBC\xF6");
        EXPECT_EQ(lists->group_list[0].servers.at(0).endpoints.at(0).port, 7001);
    }

    {
        // Gone before the signal: the server waits for a kept-alive connection to go idle.
        platform::HttpClient http("QuendTest");
        ASSERT_TRUE(http.Get("http://" + update + "/Data/地图.txt"));
        EXPECT_EQ(http.ContentLength(), 9u);
        char buffer[64];
        ASSERT_EQ(http.Read(buffer, sizeof buffer), 4);
        EXPECT_EQ(std::string(buffer, 4), "map ");
        EXPECT_EQ(http.Read(buffer, sizeof buffer), -1);  // cut after 4 of 9 bytes
        http.Close();
        std::string reply;
        ASSERT_TRUE(http.GetText(MakeLoginUrl(account, "player1", CMD5().GetStringMD5("quendalor")),
                                 reply));
        EXPECT_EQ(reply.rfind("succeed|", 0), 0u) << reply;
        EXPECT_NE(reply.find("10001"), std::string::npos) << reply;
    }

    std::string log;
    EXPECT_EQ(process.Finish(SIGINT, &log), 0);
    for (size_t i = 0; i < kLaunchers; ++i)  // they hear of it as a lost connection
        EXPECT_TRUE(windows[i].waitFor(platform::WM_SERVER_MSG)) << i;
    for (const std::string logged :
         {"request 30, 2 games", "\"GET /Data/%E5%9C%B0%E5%9B%BE.txt\" 200 9 \"QuendTest\"",
          "\nupdate 127.0.0.1:", "\naccount 127.0.0.1:"}) {
        EXPECT_NE(log.find(logged), std::string::npos) << logged << " not in\n" << log;
    }
    const auto count = [&log](const std::string& text) {
        size_t found = 0;
        for (size_t at = 0; (at = log.find(text, at + 1)) != std::string::npos;)
            ++found;
        return found;
    };
    EXPECT_EQ(count("request 40, 2 groups"), kLaunchers) << log;
    EXPECT_EQ(count(": closed"), kLaunchers) << log;
    EXPECT_NE(log.find("\nstopping on SIGINT\n"), std::string::npos) << log;
    EXPECT_TRUE(log.ends_with("\nstopped\n")) << log;
}

TEST_F(DevServerProgram, ServesOnlyTheRoleAskedForAndStopsOnSigterm) {
    DevServer process("--config " + WriteConfig("") + " --role update");
    const std::string ready = process.ReadLine();
    EXPECT_FALSE(Listening("update server", ready).empty()) << ready;
    std::string rest;
    EXPECT_EQ(process.Finish(SIGTERM, &rest), 0);
    EXPECT_EQ(rest, "stopping on SIGTERM\nstopped\n");
}

TEST_F(DevServerProgram, MistakenFileNamesTheField) {
    const std::string config = WriteConfig(R"("cut_after": "all")");
    DevServer process("--config " + config + " --role update");
    EXPECT_EQ(process.ReadLine(),
              "quend-devserver: " + config + ": update.faults.cut_after: expected an integer");
    EXPECT_EQ(process.Finish(0), 2);
}

}  // namespace
