#include "protocol/client_connection.h"

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <netinet/in.h>
#endif

#include <cerrno>
#include <chrono>
#include <utility>
#include <vector>

#include "corelib/transfer.h"
#include "corelib/xexception.h"
#include "corelib/xtrace.h"
#include "patch/checksum_list.h"
#include "platform/message_box.h"
#include "platform/window_messages.h"
#include "protocol/launcher_messages.h"
#include "protocol/server_address.h"
#include "protocol/version.h"

namespace protocol {

namespace {

constexpr std::chrono::milliseconds kWait{1000};

void TraceException(const corelib::xexception& e) {
    corelib::print_trace(corelib::trace_sink(), "%s", e.what());
}

}  // namespace

CClientConnection::CClientConnection() = default;

CClientConnection::~CClientConnection() {
    StopConnection();
}

void CClientConnection::SetInstalledGames(std::map<std::string, config::GameInfo> games) {
    std::lock_guard lock(m_versionMutex);
    m_games = std::move(games);
}

bool CClientConnection::ConnectServer(const std::string& treeServer) {
    if (treeServer.empty()) {
        platform::ShowMessage("无法从配置文件读取服务器信息.");
        return false;
    }
    const sockaddr_in address = ResolveServerAddress(treeServer);
    try {
        return Connect(address);
    } catch (const corelib::xexception& e) {
        TraceException(e);
        return false;
    }
}

bool CClientConnection::Connect(const sockaddr_in& address) {
    if (m_bSocketOpen)
        return true;
    StopConnection();  // a thread that ended with a lost connection, and its socket
    socket().create();
    if (!socket().connect(address))
        return false;
    on_connected();
    m_wake.Drain();
    m_bStopping = false;
    // Open before the thread starts, so that a frame arriving at once is not refused.
    m_bSocketOpen = true;
    try {
        start();
    } catch (...) {
        m_bSocketOpen = false;
        socket().close();
        throw;
    }
    return true;
}

void CClientConnection::AdoptSocket(corelib::socket_handle handle) {
    StopConnection();
    socket().attach(handle);
    on_connected();
    m_wake.Drain();
    m_bStopping = false;
    m_bSocketOpen = true;
}

// The socket is shut down first, which also ends a receive blocked inside a frame, and closed
// only once the receive thread is gone: its descriptor number cannot be reused under that thread.
void CClientConnection::StopConnection() {
    m_bStopping = true;
    m_wake.Signal();
    socket().shutdown();
    release();
    socket().close();
    m_bSocketOpen = false;
}

void CClientConnection::run() {
    while (!m_bStopping) {
        const WakePipe::Ready ready = m_wake.Wait(socket().handle(), kWait);
        if (ready == WakePipe::Ready::kTimeout)
            continue;
        if (ready == WakePipe::Ready::kFailed) {
            if (errno == EINTR)
                continue;
            corelib::fatal_socket_error("select");
        }
        if (ready == WakePipe::Ready::kWoken)
            return;  // StopConnection
        bool alive = false;
        try {
            alive = receive();
        } catch (const corelib::xexception& e) {
            TraceException(e);
        }
        if (!alive)
            ConnectionLost();
    }
}

// Inside a frame as before one, a stop wakes the receive thread here: a read blocked in the
// system would rely on shutdown to wake it, which Windows does not promise.
bool CClientConnection::wait_readable() {
    for (;;) {
        switch (m_wake.Wait(socket().handle(), kWait)) {
            case WakePipe::Ready::kSocket:
                return true;
            case WakePipe::Ready::kWoken:
                return false;
            case WakePipe::Ready::kTimeout:
                if (m_bStopping)
                    return false;
                break;
            case WakePipe::Ready::kFailed:
                if (errno != EINTR)
                    return false;
                break;
        }
    }
}

void CClientConnection::ConnectionLost() {
    const bool stopRequested = m_bStopping.exchange(true);
    m_bSocketOpen = false;
    socket().shutdown();  // closed by StopConnection once this thread is gone
    if (!stopRequested)
        Post(platform::WM_SERVER_MSG, -1);
}

bool CClientConnection::on_message(corelib::message& m) {
    if (!m_bSocketOpen)
        return false;
    return OnServerMessage(m) != 0;
}

bool CClientConnection::SendRequest(int32_t id, const void* /*payload*/) {
    if (id != kGameListId && id != kServerListId)
        return false;
    corelib::message m(kMessageReserve);
    WriteRequest(m, id);
    if (!m_bSocketOpen)
        return false;
    try {
        return send_message(m);
    } catch (const corelib::xexception& e) {
        TraceException(e);
        return false;
    }
}

int32_t CClientConnection::OnServerMessage(corelib::message& m) {
    int32_t id = 0;
    corelib::transfer(m, id);
    corelib::print_trace(corelib::trace_sink(), "[%d]", id);
    if (id == kGameListId)
        HandleGameList(m);
    else if (id == kServerListId)
        HandleServerList(m);
    return 1;
}

void CClientConnection::HandleGameList(corelib::message& m) {
    std::vector<GameRecord> games;
    std::string trailer;
    corelib::transfer(m, games);
    corelib::transfer(m, trailer);
    if (m.malformed())
        return;  // the channel drops the connection
    {
        std::lock_guard lock(m_versionMutex);
        for (GameRecord& game : games) {
            const auto installed = m_games.find(game.game_key);
            if (installed == m_games.end()) {
                game.install_state = kNotInstalled;
                m_strChecksumFile = "checksum_all.md5";
                continue;
            }
            m_nLocalVersion = parse_version(installed->second.version);
            m_nServerVersion = static_cast<uint32_t>(game.server_version);
            m_strChecksumFile = patch::ChecksumListName(m_nLocalVersion, m_nServerVersion);
        }
    }
    m_serverDirectory.PublishGames(std::move(games), std::move(trailer));
    SendRequest(kServerListId);
}

void CClientConnection::HandleServerList(corelib::message& m) {
    std::vector<ServerGroup> groups;
    corelib::transfer(m, groups);
    if (m.malformed())
        return;
    m_serverDirectory.PublishGroups(std::move(groups));
    Post(platform::WM_SERVER_NOTIFY, 1);
}

void CClientConnection::Post(unsigned id, std::intptr_t wParam) {
    std::lock_guard lock(m_targetMutex);
    if (m_mainWindow != nullptr)
        m_mainWindow->Post({id, wParam, 0, {}});
}

void CClientConnection::SetMainWindow(platform::MessageTarget* target) {
    std::lock_guard lock(m_targetMutex);
    m_mainWindow = target;
}

VersionState CClientConnection::GetVersionState() const {
    std::lock_guard lock(m_versionMutex);
    return {m_nLocalVersion, m_nServerVersion, m_strChecksumFile};
}

void CClientConnection::SetLocalVersion(uint32_t localVersion) {
    std::lock_guard lock(m_versionMutex);
    m_nLocalVersion = localVersion;
    m_strChecksumFile = patch::ChecksumListName(m_nLocalVersion, m_nServerVersion);
}

}  // namespace protocol
