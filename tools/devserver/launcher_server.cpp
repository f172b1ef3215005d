#include "devserver/launcher_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "corelib/transfer.h"
#include "corelib/xchannel.h"
#include "corelib/xexception.h"
#include "corelib/xthread.h"
#include "protocol/launcher_messages.h"

namespace devserver {

// One client connection, served on its own thread with the launcher's own framing.
class CLauncherServer::Session final : public corelib::xchannel, public corelib::xthread {
public:
    Session(CLauncherServer& server, int handle, std::string peer)
        : m_server(server), m_peer(std::move(peer)) {
        socket().attach(handle);
        on_connected();
    }
    ~Session() override {
        socket().shutdown();  // ends a receive waiting inside a frame
        release();
    }

protected:
    void run() override {
        m_server.Log(m_peer + ": connected");
        for (;;) {
            pollfd waits[2] = {{socket().handle(), POLLIN, 0},
                               {m_server.m_wake.ReadHandle(), POLLIN, 0}};
            const int ready = ::poll(waits, 2, -1);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0 || waits[1].revents != 0)
                break;
            if (!ReceiveGuarded())
                break;
        }
        m_server.Log(m_peer + ": closed");
    }

    bool on_message(corelib::message& m) override {
        int32_t id = 0;
        corelib::transfer(m, id);
        if (m.malformed()) {
            m_server.Log(m_peer + ": malformed request");
            return false;
        }
        const LauncherServerConfig& config = m_server.m_config;
        corelib::message reply(protocol::kMessageReserve);
        if (id == protocol::kGameListId) {
            protocol::WriteGameList(reply, config.games, config.trailer);
            m_server.Log(m_peer + ": request 30, " + std::to_string(config.games.size()) +
                         " games");
        } else if (id == protocol::kServerListId) {
            if (config.close_at_groups) {
                m_server.Log(m_peer + ": request 40, closing");
                return false;
            }
            protocol::WriteServerList(reply, config.groups);
            m_server.Log(m_peer + ": request 40, " + std::to_string(config.groups.size()) +
                         " groups");
        } else {
            m_server.Log(m_peer + ": request " + std::to_string(id) + " ignored");
            return true;
        }
        set_short_header(config.short_header);  // our choice, whatever the client used
        if (!send_message(reply))
            m_server.Log(m_peer + ": reply not sent");
        return true;
    }

private:
    bool ReceiveGuarded() {
        try {
            return receive();
        } catch (const corelib::xexception& e) {
            m_server.Log(m_peer + ": " + e.what());
            return false;
        }
    }

    CLauncherServer& m_server;
    const std::string m_peer;
};

CLauncherServer::CLauncherServer(LauncherServerConfig config, Logger logger)
    : m_config(std::move(config)), m_logger(std::move(logger)) {}

CLauncherServer::~CLauncherServer() {
    Stop();
}

bool CLauncherServer::Start() {
    if (m_started)
        return false;
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0)
        return false;
    const int reuse = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(m_config.port);
    socklen_t length = sizeof address;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listen, SOMAXCONN) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(m_listen);
        m_listen = -1;
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_started = true;
    m_acceptThread = std::thread(&CLauncherServer::AcceptLoop, this);
    return true;
}

void CLauncherServer::Stop() {
    if (!m_acceptThread.joinable())
        return;
    m_wake.Signal();  // never drained: every loop that polls it ends
    m_acceptThread.join();
    m_sessions.clear();  // each shuts its socket down and joins its thread
    ::close(m_listen);
    m_listen = -1;
}

void CLauncherServer::AcceptLoop() {
    for (;;) {
        pollfd waits[2] = {{m_listen, POLLIN, 0}, {m_wake.ReadHandle(), POLLIN, 0}};
        const int ready = ::poll(waits, 2, 1000);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && waits[1].revents != 0)
            break;
        ReapFinished();
        if (ready > 0 && waits[0].revents != 0)
            Accept();
    }
}

void CLauncherServer::Accept() {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int handle =
        ::accept4(m_listen, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (handle < 0)
        return;
    char host[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &peer.sin_addr, host, sizeof host);
    const std::string name = std::string(host) + ":" + std::to_string(ntohs(peer.sin_port));
    auto session = std::make_unique<Session>(*this, handle, name);
    try {
        session->start();
    } catch (const corelib::xexception& e) {
        Log(name + ": " + e.what());
        return;
    }
    m_sessions.push_back(std::move(session));
}

void CLauncherServer::ReapFinished() {
    m_sessions.remove_if([](const std::unique_ptr<Session>& s) { return !s->running(); });
}

void CLauncherServer::Log(const std::string& line) {
    if (!m_logger)
        return;
    std::lock_guard lock(m_logMutex);
    m_logger("launcher " + line);
}

}  // namespace devserver
