// The in-process launcher server: several launcher connections served at once in the short
// header form it was asked for, and a stop while they are still connected.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devserver/launcher_server.h"
#include "platform/window_messages.h"
#include "protocol/client_connection.h"
#include "protocol/launcher_messages.h"
#include "support/post_recorder.h"
#include "support/trace_recorder.h"

namespace {

TEST(LauncherServer, ServesManyLaunchersAtOnceAndStopsUnderThem) {
    devserver::LauncherServerConfig config;
    config.short_header = true;
    config.games = {{"Q", "Q", 5, 0, 1, "http://u/", "", 0}};
    config.groups = {{"Q", "", "L", {{{{0x7F000001, 7001}}, 1, 3}}}};
    std::vector<std::string> log;
    std::mutex logMutex;
    quend::test::TraceRecorder trace;
    devserver::CLauncherServer server(config, [&](const std::string& line) {
        std::lock_guard lock(logMutex);
        log.push_back(line);
    });
    ASSERT_TRUE(server.Start());
    EXPECT_FALSE(server.Start());

    constexpr size_t kClients = 6;
    std::vector<quend::test::PostRecorder> windows(kClients);
    std::vector<std::unique_ptr<protocol::CClientConnection>> clients;
    for (size_t i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<protocol::CClientConnection>());
        clients.back()->m_config.treeServer = "127.0.0.1:" + std::to_string(server.Port());
        clients.back()->m_config.games["Q"] = {"0.0.5", ""};  // installed, so kept as sent
        clients.back()->SetMainWindow(&windows[i]);
        ASSERT_TRUE(clients.back()->ConnectServer());
    }
    for (auto& client : clients)
        ASSERT_TRUE(client->SendRequest(protocol::kGameListId));
    for (size_t i = 0; i < kClients; ++i) {
        ASSERT_TRUE(windows[i].waitFor(platform::WM_SERVER_NOTIFY)) << i;
        EXPECT_TRUE(clients[i]->short_header());
        const auto lists = clients[i]->Directory().Latest();
        EXPECT_EQ(lists->game_list, config.games);
        EXPECT_EQ(lists->group_list, config.groups);
    }
    server.Stop();  // the launchers hear of it as a lost connection
    for (size_t i = 0; i < kClients; ++i)
        EXPECT_TRUE(windows[i].waitFor(platform::WM_SERVER_MSG)) << i;
    clients.clear();

    std::lock_guard lock(logMutex);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) {
                                return l.find("request 40, 1 groups") != std::string::npos;
                            }),
              static_cast<long>(kClients));
}

}  // namespace
