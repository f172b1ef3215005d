// Messages 30 and 40 as the launcher server sends them, written byte by byte from the field
// rules, and what the launcher makes of them: the published lists, the version state, the
// checksum list, the follow-up request and the notice to the main window.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "connected_fixture.h"
#include "platform/window_messages.h"

using platform::WM_SERVER_MSG;
using platform::WM_SERVER_NOTIFY;
using quend::test::longFrame;
using quend::test::WireBytes;

namespace {

constexpr uint32_t kV123 = (1u << 28) | (2u << 14) | 3u;  // 1.2.3 packed by hand

struct Game {
    std::string name;
    std::string key;
    uint32_t serverVersion = 0;
    int32_t state = 1;
};

// One GameRecord: name, key, server version, local version, state, update address, extra,
// not-ready byte.
void appendGame(WireBytes& w, const Game& g) {
    w.str(g.name).str(g.key).i32(g.serverVersion).i32(77).i32(g.state);
    w.str("http://up.example/" + g.name).str("x-" + g.name).u8(0);
}

std::vector<uint8_t> gameList(const std::vector<Game>& games, const std::string& trailer = "T") {
    WireBytes w;
    w.i32(30).i32(static_cast<int32_t>(games.size()));
    for (const Game& g : games)
        appendGame(w, g);
    w.str(trailer);
    return longFrame(w.bytes);
}

class ServerMessages : public quend::test::Connected {
protected:
    void SetUp() override {
        connection.m_config.games["Quendalor"] = {"1.2.3", "auth.example"};
        Connected::SetUp();
    }

    // Sends a game list and waits for the request 40 that must follow it.
    void answerGames(const std::vector<Game>& games) {
        peer.write(gameList(games));
        ASSERT_EQ(readRequest(), 40);
    }
};

TEST_F(ServerMessages, GameListChoosesTheChecksumListFromTheLastKnownGame) {
    answerGames({{"Quendalor", "Quendalor", kV123}});
    auto state = connection.GetVersionState();
    EXPECT_EQ(state.localVersion, kV123);
    EXPECT_EQ(state.serverVersion, kV123);
    EXPECT_EQ(state.checksumFile, "checksum_1_2_3.md5");

    answerGames({{"Quendalor", "Quendalor", kV123 + 1}});
    state = connection.GetVersionState();
    EXPECT_EQ(state.localVersion, kV123);
    EXPECT_EQ(state.serverVersion, kV123 + 1);
    EXPECT_EQ(state.checksumFile, "checksum_all.md5");

    // After an update the local version is the server's again.
    connection.SetLocalVersion(kV123 + 1);
    EXPECT_EQ(connection.GetVersionState().checksumFile, "checksum_1_2_4.md5");

    // Zero games: request 40 still follows, the version state stays.
    answerGames({});
    state = connection.GetVersionState();
    EXPECT_EQ(state.localVersion, kV123 + 1);
    EXPECT_EQ(state.checksumFile, "checksum_1_2_4.md5");
    EXPECT_TRUE(connection.Directory().Latest()->game_list.empty());
    EXPECT_TRUE(window.messages().empty());  // only message 40 notifies
}

TEST_F(ServerMessages, GameUnknownToLauncherIniIsNotInstalled) {
    answerGames({{"Quendalor", "Quendalor", kV123}, {"Other", "OtherKey", kV123, 1}});
    const auto lists = connection.Directory().Latest();
    ASSERT_EQ(lists->game_list.size(), 2u);
    EXPECT_EQ(lists->game_list[0].install_state, 1);
    EXPECT_EQ(lists->game_list[1].install_state, protocol::kNotInstalled);
    EXPECT_EQ(lists->trailer, "T");
    const auto state = connection.GetVersionState();
    EXPECT_EQ(state.checksumFile, "checksum_all.md5");  // the last game decides
    EXPECT_EQ(state.localVersion, kV123);               // left by the known game

    const protocol::GameRecord& g = lists->game_list[1];
    EXPECT_EQ(g.name, "Other");
    EXPECT_EQ(g.game_key, "OtherKey");
    EXPECT_EQ(g.server_version, static_cast<int32_t>(kV123));
    EXPECT_EQ(g.local_version, 77);
    EXPECT_EQ(g.update_url, "http://up.example/Other");
    EXPECT_EQ(g.extra, "x-Other");
    EXPECT_EQ(g.version_not_ready, 0);
}

TEST_F(ServerMessages, ServerListIsPublishedAndNotifiedKeepingEarlierSnapshots) {
    answerGames({{"Quendalor", "Quendalor", kV123}});
    WireBytes w;
    w.i32(40).i32(2);
    w.str("Ghost").str("e1").str("Nobody's").i32(0);  // names no game, has no servers
    w.str("Quendalor").str("e2").str("推荐").i32(1);
    w.i32(2).ipv4(10, 0, 0, 1).u16(7001).ipv4(192, 168, 1, 254).u16(65535);
    w.u8(1).i32(42);
    peer.write(longFrame(w.bytes));
    ASSERT_TRUE(window.waitFor(WM_SERVER_NOTIFY));
    EXPECT_EQ(window.messages()[0].wParam, 1);
    EXPECT_EQ(window.messages()[0].lParam, 0);

    const auto lists = connection.Directory().Latest();
    ASSERT_EQ(lists->group_list.size(), 2u);
    EXPECT_EQ(lists->FindGame(lists->group_list[0].game_name), nullptr);
    ASSERT_NE(lists->FindGame(lists->group_list[1].game_name), nullptr);
    const protocol::ServerGroup& group = lists->group_list[1];
    EXPECT_EQ(group.extra, "e2");
    EXPECT_EQ(group.label, "推荐");
    ASSERT_EQ(group.servers.size(), 1u);
    const protocol::ServerEntry& server = group.servers[0];
    EXPECT_EQ(server.enabled, 1);
    EXPECT_EQ(server.load, 42);
    ASSERT_EQ(server.endpoints.size(), 2u);
    EXPECT_EQ(server.endpoints[0].text(), "10.0.0.1");
    EXPECT_EQ(server.endpoints[0].port, 7001);
    EXPECT_EQ(server.endpoints[1].text(), "192.168.1.254");
    EXPECT_EQ(server.endpoints[1].port, 65535);

    // A second 40 replaces the list for new readers; the snapshot held above stays whole.
    peer.write(longFrame(WireBytes().i32(40).i32(0).bytes));
    ASSERT_TRUE(window.waitFor(WM_SERVER_NOTIFY, 2));
    EXPECT_TRUE(connection.Directory().Latest()->group_list.empty());
    EXPECT_EQ(connection.Directory().Latest()->game_list.size(), 1u);
    EXPECT_EQ(lists->group_list[1].servers[0].endpoints[1].port, 65535);
}

TEST_F(ServerMessages, OtherIdsAreOnlyTraced) {
    peer.write(longFrame(WireBytes().i32(99).i32(30).str("ignored").bytes));
    peer.write(longFrame(WireBytes().i32(30).i32(0).str("").bytes));  // proves it went on
    ASSERT_EQ(readRequest(), 40);
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"[99]", "[30]"}));
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(ServerMessages, MalformedListDropsTheConnectionAndPublishesNothing) {
    // Claims 1000 games in a body that cannot hold them.
    peer.write(longFrame(WireBytes().i32(30).i32(1000).fill(20, 0).bytes));
    ASSERT_TRUE(window.waitFor(WM_SERVER_MSG));
    EXPECT_TRUE(peer.closedByOther());  // and no request 40 came before the end
    EXPECT_TRUE(connection.Directory().Latest()->game_list.empty());
    EXPECT_EQ(window.count(WM_SERVER_NOTIFY), 0u);
}

}  // namespace
