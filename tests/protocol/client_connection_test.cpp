// The launcher's connection against a raw peer playing the launcher server on loopback.

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/window_messages.h"
#include "protocol/client_connection.h"
#include "protocol/launcher_messages.h"
#include "protocol/server_address.h"
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

// A request after a long-header reply: header "1, 256", then the id and zeros up to 256 bytes.
std::vector<uint8_t> Request(int32_t id) {
    return longFrame(WireBytes().i32(id).fill(252, 0).bytes);
}

class ConnectionLife : public ::testing::Test {
protected:
    void SetUp() override {
        connection.SetInstalledGames({{"Quendalor", {"1.2.3", "auth.example"}}});
        connection.SetMainWindow(&window);
        ASSERT_TRUE(connection.ConnectServer(peer.address()));
        ASSERT_TRUE(peer.accept());
    }

    // Declared first, so they outlive the connection and its thread.
    quend::test::TraceRecorder trace;
    quend::test::PostRecorder window;
    quend::test::RawPeer peer;
    protocol::CClientConnection connection;
};

// After a lost connection a new one starts afresh: requests go in the long form again, whatever
// the last peer used. Connecting while open keeps that connection.
TEST_F(ConnectionLife, APeerClosingPostsOneLostNoticeAndANewConnectionStartsAfresh) {
    peer.write(quend::test::shortFrame(WireBytes().i32(99).bytes));  // replies would go short
    peer.close();
    ASSERT_TRUE(quend::test::waitFor([&] { return !connection.running(); }));
    std::this_thread::sleep_for(kQuiet);  // nothing further may arrive
    const auto posted = window.messages();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(std::tie(posted[0].id, posted[0].wParam, posted[0].lParam),
              std::make_tuple(WM_SERVER_MSG, -1, 0));
    EXPECT_FALSE(connection.m_bSocketOpen);
    EXPECT_FALSE(connection.SendRequest(protocol::kGameListId));
    connection.StopConnection();  // what the dialog does next
    EXPECT_FALSE(connection.has_thread());

    ASSERT_TRUE(connection.ConnectServer(peer.address()));
    ASSERT_TRUE(peer.accept());
    const corelib::socket_handle handle = connection.socket().handle();
    EXPECT_TRUE(connection.ConnectServer(peer.address()));
    EXPECT_EQ(connection.socket().handle(), handle);
    EXPECT_FALSE(peer.pending(kQuiet));
    EXPECT_FALSE(connection.SendRequest(31));
    ASSERT_TRUE(connection.SendRequest(protocol::kGameListId));
    EXPECT_EQ(peer.read(264), Request(30));
}

// Stop wakes the thread whether it waits for a frame or inside one, and a new connection after
// it gets a thread that waits again; nothing is posted or traced.
TEST_F(ConnectionLife, StopEndsTheThreadWithoutANotice) {
    for (const bool insideFrame : {false, true}) {
        SCOPED_TRACE(insideFrame ? "inside a frame" : "between frames");
        if (insideFrame) {
            ASSERT_TRUE(connection.ConnectServer(peer.address()));
            ASSERT_TRUE(peer.accept());
            peer.write({0, 0, 0, 1, 0, 0, 1, 0, 30, 0});  // a header and two of 256 body bytes
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it settle into its wait
        ASSERT_TRUE(connection.running());
        connection.StopConnection();
        EXPECT_EQ(std::tuple(connection.running(), connection.has_thread(),
                             connection.m_bSocketOpen.load(), connection.socket().valid(),
                             peer.closedByOther()),
                  std::tuple(false, false, false, false, true));
    }
    connection.StopConnection();  // again: nothing left to release
    std::this_thread::sleep_for(kQuiet);
    EXPECT_TRUE(window.messages().empty());
    EXPECT_TRUE(trace.lines().empty());
}

// The port text is read as atoi reads it, kept to 16 bits.
TEST(ResolveServerAddress, HostAndPortRules) {
    for (const auto& [text, host, port] : std::vector<std::tuple<const char*, const char*, int>>{
             {"10.1.2.3:7000", "10.1.2.3", 7000},
             {"10.1.2.3:7000:9", "10.1.2.3", 7000},  // only the first ":" splits
             {"127.0.0.1", "255.255.255.255", 0},    // no ":": no host, no port
             {"255.255.255.255:5", "255.255.255.255", 5},
             {"no-such-host.invalid:5", "255.255.255.255", 5},
             {"localhost:5", "127.0.0.1", 5},
             {"10.1.2.3: 9000abc", "10.1.2.3", 9000},
             {"10.1.2.3:-1", "10.1.2.3", 0},
             {"10.1.2.3:70000", "10.1.2.3", 70000 - 65536},
             {"10.1.2.3:99999999999", "10.1.2.3", 65535}}) {  // held to the largest int first
        const sockaddr_in a = protocol::ResolveServerAddress(text);
        char shown[INET_ADDRSTRLEN] = "";
        ::inet_ntop(AF_INET, &a.sin_addr, shown, sizeof shown);
        EXPECT_EQ(std::make_tuple(a.sin_family, std::string(shown), ntohs(a.sin_port)),
                  std::make_tuple(AF_INET, host, port))
            << text;
    }
}

class ServerMessages : public ConnectionLife {
protected:
    // Sends message 30 with these (name, key, version) games and trailer "T"; waits for request 40.
    void answerGames(const std::vector<std::tuple<std::string, std::string, uint32_t>>& games) {
        WireBytes w;
        w.i32(30).i32(static_cast<int32_t>(games.size()));
        for (const auto& [name, key, version] : games) {
            w.str(name).str(key).i32(version).i32(77).i32(1);
            w.str("http://up/" + name).str("x").u8(0);
        }
        peer.write(longFrame(w.str("T").bytes));
        ASSERT_EQ(peer.read(264), Request(40));
    }

    std::tuple<uint32_t, uint32_t, std::string> versionState() const {
        const protocol::VersionState state = connection.GetVersionState();
        return {state.localVersion, state.serverVersion, state.checksumFile};
    }
};

TEST_F(ServerMessages, GameListChoosesTheChecksumListFromTheLastKnownGame) {
    answerGames({{"Quendalor", "Quendalor", kV123}});
    EXPECT_EQ(versionState(), std::make_tuple(kV123, kV123, "checksum_1_2_3.md5"));
    // Zero games: request 40 still follows, the version state stays. Other ids are only traced.
    peer.write(longFrame(WireBytes().i32(99).i32(30).str("ignored").bytes));
    answerGames({});
    EXPECT_EQ(versionState(), std::make_tuple(kV123, kV123, "checksum_1_2_3.md5"));
    EXPECT_TRUE(connection.Directory().Latest()->game_list.empty());
    // (After an update the controller's suite sees the local version become the server's.)
    answerGames({{"Quendalor", "Quendalor", kV123 + 1}});
    EXPECT_EQ(versionState(), std::make_tuple(kV123, kV123 + 1, "checksum_all.md5"));

    // A game Launcher.ini lacks is not installed; being last, it asks for the whole list.
    answerGames({{"Quendalor", "Quendalor", kV123}, {"Other", "OtherKey", kV123}});
    const auto lists = connection.Directory().Latest();
    EXPECT_EQ(
        lists->game_list,
        (std::vector<protocol::GameRecord>{
            {"Quendalor", "Quendalor", kV123, 77, 1, "http://up/Quendalor", "x", 0},
            {"Other", "OtherKey", kV123, 77, protocol::kNotInstalled, "http://up/Other", "x", 0}}));
    EXPECT_EQ(lists->trailer, "T");
    EXPECT_EQ(versionState(), std::make_tuple(kV123, kV123, "checksum_all.md5"));
    EXPECT_TRUE(window.messages().empty());  // only message 40 notifies
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"[30]", "[99]", "[30]", "[30]", "[30]"}));
}

TEST_F(ServerMessages, ServerListIsPublishedAndNotified) {
    answerGames({{"Quendalor", "Quendalor", kV123}});
    WireBytes w;
    w.i32(40).i32(2);
    w.str("Ghost").str("e1").str("Nobody's").i32(0);  // names no game, has no servers
    w.str("Quendalor").str("e2").str("推荐").i32(1);
    w.i32(2).ipv4(10, 0, 0, 1).u16(7001).ipv4(192, 168, 1, 254).u16(65535);
    w.u8(1).i32(42);
    peer.write(longFrame(w.bytes));
    ASSERT_TRUE(window.waitFor(WM_SERVER_NOTIFY));
    EXPECT_EQ(std::tie(window.messages()[0].wParam, window.messages()[0].lParam),
              std::make_tuple(1, 0));

    const auto lists = connection.Directory().Latest();
    const protocol::ServerEntry server{{{0x0A000001, 7001}, {0xC0A801FE, 65535}}, 1, 42};
    EXPECT_EQ(lists->group_list,
              (std::vector<protocol::ServerGroup>{{"Ghost", "e1", "Nobody's", {}},
                                                  {"Quendalor", "e2", "推荐", {server}}}));
}

// One thread publishes as the receive thread does while another reads as the window does: each
// snapshot is whole and none is older than the one before (round n: trailer "n", n % 5 games,
// one group named "n"). The ThreadSanitizer build also sees a hand-over left unguarded.
TEST(ServerDirectory, ReadersTakeWholeSnapshotsWhileListsArePublished) {
    constexpr int kRounds = 20000;
    protocol::ServerDirectory directory;
    std::atomic<bool> reading{false};
    std::thread receiver([&] {
        while (!reading)
            std::this_thread::yield();
        for (int n = 1; n <= kRounds; ++n) {
            directory.PublishGames(std::vector<protocol::GameRecord>(n % 5), std::to_string(n));
            directory.PublishGroups({{std::to_string(n), "", "", {}}});
        }
    });
    const auto round = [](const std::string& text) { return text.empty() ? 0 : std::stoi(text); };
    int last = 0;
    bool whole = true;
    for (reading = true; whole && last < kRounds;) {
        const auto lists = directory.Latest();
        const int games = round(lists->trailer);
        const int groups = lists->group_list.empty() ? 0 : round(lists->group_list[0].game_name);
        whole = games >= last && lists->game_list.size() == static_cast<size_t>(games % 5) &&
                (groups == games || groups == games - 1);
        last = games;
    }
    receiver.join();
    EXPECT_TRUE(whole) << "snapshot of round " << last;
}

TEST_F(ServerMessages, MalformedListDropsTheConnectionAndPublishesNothing) {
    // A whole game, then a trailer one byte short.
    WireBytes w;
    w.i32(30).i32(1).str("Quendalor").str("Quendalor").i32(kV123).i32(77).i32(1);
    peer.write(longFrame(w.str("http://up").str("x").u8(0).i32(2).u8('T').bytes));
    ASSERT_TRUE(window.waitFor(WM_SERVER_MSG));
    EXPECT_TRUE(peer.closedByOther());  // and no request 40 came before the end
    EXPECT_TRUE(connection.Directory().Latest()->game_list.empty());
    EXPECT_EQ(window.count(WM_SERVER_NOTIFY), 0u);
}

}  // namespace
