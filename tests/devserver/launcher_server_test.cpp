// The in-process launcher server: its replies as raw bytes in both header forms, several launcher
// connections served at once, and a stop while clients are still connected.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devserver/launcher_server.h"
#include "platform/window_messages.h"
#include "protocol/client_connection.h"
#include "protocol/launcher_messages.h"
#include "support/message_recorder.h"
#include "support/trace_recorder.h"
#include "support/wire_bytes.h"

namespace {

devserver::LauncherServerConfig SampleConfig() {
    devserver::LauncherServerConfig config;
    protocol::GameRecord game;
    game.name = "Q";
    game.game_key = "Q";
    game.server_version = 5;
    game.install_state = 1;
    config.games = {game};
    protocol::ServerGroup group;
    group.game_name = "Q";
    group.label = "L";
    group.servers = {{{{0x7F000001, 7001}}, 1, 3}};
    config.groups = {group};
    config.trailer = "t";
    return config;
}

// A client that writes requests and reads replies as raw bytes.
class RawClient final {
public:
    explicit RawClient(uint16_t port) : m_handle(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected = ::connect(m_handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(m_handle); }

    void write(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(::send(m_handle, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    std::vector<uint8_t> read(size_t n) {
        std::vector<uint8_t> bytes(n);
        size_t done = 0;
        while (done < n) {
            const ssize_t got = ::recv(m_handle, bytes.data() + done, n - done, 0);
            if (got <= 0)
                break;
            done += static_cast<size_t>(got);
        }
        bytes.resize(done);
        return bytes;
    }

    bool connected = false;

private:
    int m_handle;
};

std::vector<uint8_t> Request(int32_t id) {
    return quend::test::longFrame(quend::test::WireBytes().i32(id).fill(252, 0).bytes);
}

TEST(LauncherServer, RepliesInTheConfiguredHeaderForm) {
    for (bool shortHeader : {false, true}) {
        auto config = SampleConfig();
        config.short_header = shortHeader;
        std::vector<std::string> log;
        std::mutex logMutex;
        devserver::CLauncherServer server(config, [&](const std::string& line) {
            std::lock_guard lock(logMutex);
            log.push_back(line);
        });
        ASSERT_TRUE(server.Start());
        ASSERT_NE(server.Port(), 0);
        EXPECT_FALSE(server.Start());

        RawClient client(server.Port());
        ASSERT_TRUE(client.connected);
        client.write(Request(77));  // ignored, the connection stays
        client.write(Request(40));
        const std::vector<uint8_t> header = client.read(shortHeader ? 4 : 8);
        const std::vector<uint8_t> expected = shortHeader
                                                  ? std::vector<uint8_t>{0, 0, 1, 0}
                                                  : std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 1, 0};
        EXPECT_EQ(header, expected);
        // id 40, one group: "Q", "", "L", one server with one endpoint 127.0.0.1:7001, on, 3.
        const auto body = quend::test::WireBytes()
                              .i32(40)
                              .i32(1)
                              .str("Q")
                              .str("")
                              .str("L")
                              .i32(1)
                              .i32(1)
                              .ipv4(127, 0, 0, 1)
                              .u16(7001)
                              .u8(1)
                              .i32(3)
                              .bytes;
        const std::vector<uint8_t> reply = client.read(256);
        ASSERT_EQ(reply.size(), 256u);
        EXPECT_EQ(std::vector<uint8_t>(reply.begin(), reply.begin() + body.size()), body);
        server.Stop();
        std::lock_guard lock(logMutex);
        ASSERT_GE(log.size(), 3u);
        EXPECT_NE(log[1].find("request 77 ignored"), std::string::npos) << log[1];
        EXPECT_NE(log[2].find("request 40, 1 groups"), std::string::npos) << log[2];
    }
}

TEST(LauncherServer, ServesManyLaunchersAtOnceAndStopsUnderThem) {
    quend::test::TraceRecorder trace;
    devserver::CLauncherServer server(SampleConfig());
    ASSERT_TRUE(server.Start());
    constexpr int kClients = 6;
    std::vector<quend::test::MessageRecorder> windows(kClients);
    std::vector<std::unique_ptr<protocol::CClientConnection>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<protocol::CClientConnection>());
        clients.back()->m_config.treeServer = "127.0.0.1:" + std::to_string(server.Port());
        clients.back()->SetMainWindow(&windows[i]);
        ASSERT_TRUE(clients.back()->ConnectServer());
    }
    for (auto& client : clients)
        ASSERT_TRUE(client->SendRequest(protocol::kGameListId));
    for (int i = 0; i < kClients; ++i) {
        ASSERT_TRUE(windows[i].waitFor(platform::WM_SERVER_NOTIFY)) << i;
        const auto lists = clients[i]->Directory().Latest();
        EXPECT_EQ(lists->game_list.size(), 1u);
        EXPECT_EQ(lists->group_list.size(), 1u);
    }
    server.Stop();  // the launchers hear of it as a lost connection
    for (int i = 0; i < kClients; ++i)
        EXPECT_TRUE(windows[i].waitFor(platform::WM_SERVER_MSG)) << i;
    clients.clear();
}

}  // namespace
