// The launcher's connection over a real loopback socket, against a raw peer that plays the
// launcher server byte by byte: connecting from the configured address, the receive thread's end
// on a lost connection or on a stop with the one notice it posts, and messages 30 and 40 written
// from the field rules with what the launcher makes of them (lists, version state, request 40).

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/window_messages.h"
#include "protocol/client_connection.h"
#include "protocol/launcher_messages.h"
#include "protocol/server_address.h"
#include "support/message_box_recorder.h"
#include "support/post_recorder.h"
#include "support/raw_peer.h"
#include "support/test_support.h"
#include "support/trace_recorder.h"
#include "support/wire_bytes.h"

using platform::WM_SERVER_MSG;
using platform::WM_SERVER_NOTIFY;
using quend::test::longFrame;
using quend::test::WireBytes;

namespace {

constexpr auto kQuiet = std::chrono::milliseconds(200);
constexpr uint32_t kV123 = (1u << 28) | (2u << 14) | 3u;  // 1.2.3 packed by hand

class Connected : public ::testing::Test {
protected:
    void SetUp() override {
        connection.m_config.games["Quendalor"] = {"1.2.3", "auth.example"};
        connection.m_config.treeServer = peer.address();
        connection.SetMainWindow(&window);
        ASSERT_TRUE(connection.ConnectServer());
        ASSERT_TRUE(peer.accept());
    }

    // Reads one request frame as the launcher sends it after a long-header reply: the header
    // "1, 256", then the body. Answers the id, or -1 when the frame is not that.
    int32_t readRequest() {
        if (peer.read(8) != std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 1, 0})
            return -1;
        const std::vector<uint8_t> body = peer.read(256);
        if (body.size() != 256)
            return -1;
        return static_cast<int32_t>(body[0] | body[1] << 8 | body[2] << 16 | body[3] << 24);
    }

    // Declared first, so they outlive the connection and its thread.
    quend::test::TraceRecorder trace;
    quend::test::PostRecorder window;
    quend::test::RawPeer peer;
    protocol::CClientConnection connection;
};

using ConnectionLife = Connected;

TEST_F(ConnectionLife, PeerClosingPostsOneLostNoticeAndEndsTheThread) {
    peer.close();
    ASSERT_TRUE(window.waitFor(WM_SERVER_MSG));
    ASSERT_TRUE(quend::test::waitFor([&] { return !connection.running(); }));
    std::this_thread::sleep_for(kQuiet);  // nothing further may arrive
    const auto posted = window.messages();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].wParam, -1);
    EXPECT_EQ(posted[0].lParam, 0);
    EXPECT_FALSE(connection.m_bSocketOpen);
    EXPECT_TRUE(connection.m_bStopping);
    EXPECT_FALSE(connection.SendRequest(protocol::kGameListId));
    connection.StopConnection();  // what the dialog does next
    EXPECT_FALSE(connection.has_thread());
}

// Stop wakes the thread whether it waits for a frame or inside one, and a new connection after
// it gets a thread that waits again; nothing is posted or traced.
TEST_F(ConnectionLife, StopEndsTheThreadWaitingForAFrameOrInsideOneWithoutANotice) {
    for (const bool insideFrame : {false, true}) {
        SCOPED_TRACE(insideFrame ? "inside a frame" : "between frames");
        if (insideFrame) {
            ASSERT_TRUE(connection.ConnectServer());
            ASSERT_TRUE(peer.accept());
            peer.write({0, 0, 0, 1, 0, 0, 1, 0, 30, 0});  // a header and two of 256 body bytes
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it settle into its wait
        ASSERT_TRUE(connection.running());
        connection.StopConnection();
        EXPECT_FALSE(connection.running());
        EXPECT_FALSE(connection.has_thread());
        EXPECT_FALSE(connection.m_bSocketOpen);
        EXPECT_FALSE(connection.socket().valid());
        EXPECT_TRUE(peer.closedByOther());
    }
    connection.StopConnection();  // again: nothing left to release
    std::this_thread::sleep_for(kQuiet);
    EXPECT_TRUE(window.messages().empty());
    EXPECT_TRUE(trace.lines().empty());
}

TEST_F(ConnectionLife, ConnectWhileOpenKeepsTheConnection) {
    const int handle = connection.socket().handle();
    EXPECT_TRUE(connection.ConnectServer());
    EXPECT_EQ(connection.socket().handle(), handle);
    EXPECT_FALSE(peer.pending(kQuiet));
}

// (Which header form a request takes is shown with the channel.)
TEST_F(ConnectionLife, RequestsAreThirtyAndFortyOnly) {
    EXPECT_FALSE(connection.SendRequest(31));
    ASSERT_TRUE(connection.SendRequest(protocol::kGameListId));
    EXPECT_EQ(readRequest(), 30);
}

// A missing port or an unknown host fails quietly, without a thread; the peer's port makes a
// wrongly resolved host connect.
TEST(ConnectServer, AddressWithoutPortOrWithUnknownHostFails) {
    quend::test::MessageBoxRecorder boxes;
    quend::test::RawPeer peer;
    for (const std::string& address :
         {std::string("127.0.0.1"), "no-such-host.invalid:" + std::to_string(peer.port())}) {
        protocol::CClientConnection connection;
        connection.m_config.treeServer = address;
        EXPECT_FALSE(connection.ConnectServer()) << address;
        EXPECT_FALSE(connection.m_bSocketOpen);
        EXPECT_FALSE(connection.has_thread());
    }
    EXPECT_TRUE(boxes.texts().empty());
}

TEST(ResolveServerAddress, HostAndPortRules) {
    const auto check = [](const char* text, const char* host, uint16_t port) {
        const sockaddr_in a = protocol::ResolveServerAddress(text);
        char shown[INET_ADDRSTRLEN] = "";
        ::inet_ntop(AF_INET, &a.sin_addr, shown, sizeof shown);
        EXPECT_EQ(a.sin_family, AF_INET) << text;
        EXPECT_STREQ(shown, host) << text;
        EXPECT_EQ(ntohs(a.sin_port), port) << text;
    };
    check("10.1.2.3:7000", "10.1.2.3", 7000);
    check("10.1.2.3:7000:9", "10.1.2.3", 7000);  // only the first ":" splits
    check("10.1.2.3:12ab", "10.1.2.3", 12);      // atoi stops at the first non-digit
    check("10.1.2.3:http", "10.1.2.3", 80);      // a service name
    check("10.1.2.3:no-such-service", "10.1.2.3", 0);
    check("10.1.2.3:", "10.1.2.3", 0);
    check("127.0.0.1", "255.255.255.255", 0);  // no ":": no host, no port
    check("255.255.255.255:5", "255.255.255.255", 5);
    check("no-such-host.invalid:5", "255.255.255.255", 5);
    check("localhost:5", "127.0.0.1", 5);
}

struct Game {
    std::string name;
    std::string key;
    uint32_t serverVersion = 0;
    int32_t state = 1;
};

class ServerMessages : public Connected {
protected:
    // Sends message 30 with these games, each GameRecord as name, key, server version, local
    // version, state, update address, extra, not-ready byte, then the trailer "T"; waits for the
    // request 40 that must follow it.
    void answerGames(const std::vector<Game>& games) {
        WireBytes w;
        w.i32(30).i32(static_cast<int32_t>(games.size()));
        for (const Game& g : games) {
            w.str(g.name).str(g.key).i32(g.serverVersion).i32(77).i32(g.state);
            w.str("http://up.example/" + g.name).str("x-" + g.name).u8(0);
        }
        peer.write(longFrame(w.str("T").bytes));
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

    EXPECT_EQ(
        lists->game_list[1],
        (protocol::GameRecord{"Other", "OtherKey", static_cast<int32_t>(kV123), 77,
                              protocol::kNotInstalled, "http://up.example/Other", "x-Other", 0}));
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
    EXPECT_EQ(lists->group_list[0], (protocol::ServerGroup{"Ghost", "e1", "Nobody's", {}}));
    EXPECT_EQ(
        lists->group_list[1],
        (protocol::ServerGroup{
            "Quendalor", "e2", "推荐", {{{{0x0A000001, 7001}, {0xC0A801FE, 65535}}, 1, 42}}}));
    EXPECT_EQ(lists->group_list[1].servers[0].endpoints[1].text(), "192.168.1.254");
    EXPECT_EQ(lists->FindGame("Ghost"), nullptr);
    EXPECT_NE(lists->FindGame("Quendalor"), nullptr);

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
