#pragma once
// The launcher-server role of the development server: a TCP server on loopback that answers
// requests 30 and 40 from a fixed list of games and server groups, each client on a thread of its
// own. Start, Stop and Port belong to one controlling thread; the logger is called from the
// client threads.

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/server_records.h"
#include "protocol/wake_pipe.h"

namespace devserver {

struct LauncherServerConfig {
    std::uint16_t port = 0;     // 0: any free port
    bool short_header = false;  // answer with the 4-byte header instead of the 8-byte one
    std::string trailer;        // the text behind the game list
    std::vector<protocol::GameRecord> games;
    std::vector<protocol::ServerGroup> groups;
    bool close_at_groups = false;  // drop the connection at request 40 instead of answering it
};

class CLauncherServer final {
public:
    // Receives one line per event, from the serving threads, one call at a time.
    using Logger = std::function<void(const std::string& line)>;

    explicit CLauncherServer(LauncherServerConfig config, Logger logger = {});
    ~CLauncherServer();
    CLauncherServer(const CLauncherServer&) = delete;
    CLauncherServer& operator=(const CLauncherServer&) = delete;

    // Binds 127.0.0.1 on the configured port and serves until Stop. False when the port cannot
    // be bound or the server already ran.
    bool Start();
    // The bound port; 0 before Start.
    std::uint16_t Port() const { return m_port; }
    // Ends every client connection and waits for all serving threads.
    void Stop();

private:
    class Session;

    void AcceptLoop();
    void Accept();
    void ReapFinished();
    void Log(const std::string& line);

    const LauncherServerConfig m_config;
    Logger m_logger;
    std::mutex m_logMutex;
    protocol::WakePipe m_wake;
    int m_listen = -1;
    std::uint16_t m_port = 0;
    bool m_started = false;
    std::thread m_acceptThread;
    std::list<std::unique_ptr<Session>> m_sessions;  // touched by the accept thread only
};

}  // namespace devserver
