// The launcher's connection against the real quend-devserver program, started as a process from
// a JSON file: both lists arrive, the version state follows Launcher.ini, and both ends stop
// cleanly.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "devserver_process.h"
#include "platform/window_messages.h"
#include "protocol/client_connection.h"
#include "protocol/launcher_messages.h"
#include "support/post_recorder.h"
#include "support/test_support.h"
#include "support/trace_recorder.h"

namespace {

using quend::test::DevServerProcess;

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
    DevServerProcess process(
        {"--config", (dir / "devserver.json").string(), "--role", "launcher", "--port", "0"});
    const std::string ready = process.readLine();
    const std::string prefix = "launcher server listening on 127.0.0.1:";
    ASSERT_EQ(ready.rfind(prefix, 0), 0u) << ready;

    quend::test::TraceRecorder trace;
    quend::test::PostRecorder window;
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
    EXPECT_EQ(process.finish(), 0);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NE(log[1].find("request 30, 2 games"), std::string::npos) << log[1];
    EXPECT_NE(log[2].find("request 40, 2 groups"), std::string::npos) << log[2];
}

}  // namespace
