// The connection's life over a real loopback socket: connecting from the configured address, the
// receive thread's end on a lost connection or on a stop, and the one notice it posts.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "connected_fixture.h"
#include "platform/window_messages.h"
#include "protocol/launcher_messages.h"
#include "protocol/server_address.h"
#include "support/message_box_recorder.h"
#include "support/test_support.h"

using platform::WM_SERVER_MSG;
using platform::WM_SERVER_NOTIFY;
using quend::test::Connected;
using quend::test::longFrame;
using quend::test::WireBytes;

namespace {

constexpr auto kQuiet = std::chrono::milliseconds(200);

bool threadGone(const protocol::CClientConnection& c) {
    return quend::test::waitFor([&] { return !c.running(); });
}

using ConnectionLife = Connected;

TEST_F(ConnectionLife, PeerClosingPostsOneLostNoticeAndEndsTheThread) {
    peer.close();
    ASSERT_TRUE(window.waitFor(WM_SERVER_MSG));
    ASSERT_TRUE(threadGone(connection));
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

TEST_F(ConnectionLife, LargestFrameIsHandledAndOneByteMoreDropsTheConnection) {
    peer.write(longFrame(WireBytes().i32(99).fill(65532, 0xAB).bytes));
    ASSERT_TRUE(quend::test::waitFor([&] { return trace.lines().size() == 1; }));
    EXPECT_EQ(trace.lines()[0], "[99]");
    EXPECT_TRUE(connection.m_bSocketOpen);

    std::vector<uint8_t> header;
    quend::test::appendBe32(header, 1);
    quend::test::appendBe32(header, 65537);
    peer.write(header);
    ASSERT_TRUE(window.waitFor(WM_SERVER_MSG));
    EXPECT_TRUE(peer.closedByOther());
    std::this_thread::sleep_for(kQuiet);
    EXPECT_EQ(window.count(WM_SERVER_MSG), 1u);
    EXPECT_EQ(trace.lines().size(), 1u);
}

TEST_F(ConnectionLife, StopWakesTheWaitingThreadWithoutANotice) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it settle into its wait
    ASSERT_TRUE(connection.running());
    connection.StopConnection();
    EXPECT_FALSE(connection.running());
    EXPECT_FALSE(connection.has_thread());
    EXPECT_FALSE(connection.m_bSocketOpen);
    EXPECT_FALSE(connection.socket().valid());
    EXPECT_TRUE(peer.closedByOther());
    std::this_thread::sleep_for(kQuiet);
    EXPECT_TRUE(window.messages().empty());
    connection.StopConnection();  // again: nothing left to release
}

TEST_F(ConnectionLife, StopEndsAReceiveWaitingInsideAFrame) {
    peer.write({0, 0, 0, 1, 0, 0, 1, 0, 30, 0});  // a header and two of 256 body bytes
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    connection.StopConnection();
    EXPECT_FALSE(connection.has_thread());
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

TEST_F(ConnectionLife, RequestsAreThirtyAndFortyOnlyAndFollowTheReplysHeader) {
    EXPECT_FALSE(connection.SendRequest(31));
    ASSERT_TRUE(connection.SendRequest(protocol::kGameListId));
    EXPECT_EQ(readRequest(), 30);

    // A short-header frame from the server (id 99, ignored) turns the next request's header.
    peer.write(quend::test::shortFrame(WireBytes().i32(99).bytes));
    ASSERT_TRUE(quend::test::waitFor([&] { return connection.short_header(); }));
    ASSERT_TRUE(connection.SendRequest(protocol::kServerListId));
    EXPECT_EQ(peer.read(4), (std::vector<uint8_t>{0, 0, 1, 0}));
    const auto body = peer.read(256);
    ASSERT_EQ(body.size(), 256u);
    EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.begin() + 4),
              (std::vector<uint8_t>{40, 0, 0, 0}));
}

TEST(ConnectServer, AddressForms) {
    quend::test::MessageBoxRecorder boxes;
    quend::test::RawPeer peer;
    {
        protocol::CClientConnection connection;
        EXPECT_FALSE(connection.ConnectServer());
        ASSERT_EQ(boxes.texts().size(), 1u);
        EXPECT_EQ(boxes.texts()[0], "无法从配置文件读取服务器信息.");
    }
    for (const std::string& address :
         {std::string("127.0.0.1"), "no-such-host.invalid:" + std::to_string(peer.port())}) {
        protocol::CClientConnection connection;
        connection.m_config.treeServer = address;
        EXPECT_FALSE(connection.ConnectServer()) << address;
        EXPECT_FALSE(connection.m_bSocketOpen);
        EXPECT_FALSE(connection.has_thread());
    }
    {
        protocol::CClientConnection connection;
        connection.m_config.treeServer = "localhost:" + std::to_string(peer.port());
        EXPECT_TRUE(connection.ConnectServer());
        EXPECT_TRUE(peer.accept());
        EXPECT_TRUE(connection.running());
    }
    EXPECT_EQ(boxes.texts().size(), 1u);
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

}  // namespace
