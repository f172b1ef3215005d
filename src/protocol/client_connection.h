#pragma once
// The launcher's side of its one connection to the launcher server: connecting from the
// configured address, the receive loop on its own thread, the two requests, the handling of the
// game and server lists with the version state they decide, and the two notifications to the
// main window. It keeps its own copy of what it needs of Launcher.ini, so the settings the window
// works with are never read by the receive thread.
//
// Threads: ConnectServer, StopConnection and SetMainWindow belong to the GUI thread; the receive
// thread runs run() and the handlers; SendRequest, SetInstalledGames, the version state, the flags
// and the server directory may be used from either.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "config/launcher_config.h"
#include "corelib/xchannel.h"
#include "corelib/xthread.h"
#include "platform/message_target.h"
#include "protocol/server_directory.h"
#include "protocol/wake_pipe.h"

namespace protocol {

// The version state that message 30 leaves behind: that of the last game of the list that
// Launcher.ini knows, and the checksum list chosen from it.
struct VersionState {
    uint32_t localVersion = 0;
    uint32_t serverVersion = 0;
    std::string checksumFile;
};

class CClientConnection : public corelib::xchannel, public virtual corelib::xthread {
public:
    CClientConnection();
    ~CClientConnection() override;  // stops the connection and gives the thread back

    // The games of Launcher.ini by key, with their installed versions: the connection's own copy,
    // from which message 30 chooses the checksum list.
    void SetInstalledGames(std::map<std::string, config::GameInfo> games);

    // Opens the connection to `treeServer` (TREE_SERVER: host, colon, port) and starts the
    // receive thread. Shows "无法从配置文件读取服务器信息." when the address is empty. True at
    // once when already open.
    virtual bool ConnectServer(const std::string& treeServer);
    // Sends request 30 or 40 (any other id is refused); `payload` is unused by both. False when
    // the connection is not open or the send failed.
    virtual bool SendRequest(int32_t id, const void* payload = nullptr);
    // Handles one server message: traces "[id]", handles 30 and 40, ignores the rest. Always 1.
    virtual int32_t OnServerMessage(corelib::message& m);

    // Ends the connection: wakes and gives back the receive thread, then closes the socket.
    // Posts nothing. Safe to call more than once.
    void StopConnection();

    // Takes over an already connected stream socket without a receive thread, for callers that
    // drive receive() themselves.
    void AdoptSocket(corelib::socket_handle handle);

    // The window that hears WM_SERVER_MSG and WM_SERVER_NOTIFY; null drops them. Clear it
    // before the target goes away: no post reaches a target after this returns.
    void SetMainWindow(platform::MessageTarget* target);

    VersionState GetVersionState() const;
    // Sets the installed version and chooses the checksum list again, as after an update.
    void SetLocalVersion(uint32_t localVersion);

    const ServerDirectory& Directory() const { return m_serverDirectory; }

    std::atomic<bool> m_bStopping{false};
    std::atomic<bool> m_bSocketOpen{false};

protected:
    bool on_message(corelib::message& m) override;
    bool wait_readable() override;
    void run() override;

private:
    bool Connect(const sockaddr_in& address);
    void HandleGameList(corelib::message& m);
    void HandleServerList(corelib::message& m);
    void ConnectionLost();
    void Post(unsigned id, std::intptr_t wParam);

    ServerDirectory m_serverDirectory;
    WakePipe m_wake;

    mutable std::mutex m_versionMutex;  // guards the games and the version state
    std::map<std::string, config::GameInfo> m_games;
    uint32_t m_nLocalVersion = 0;
    uint32_t m_nServerVersion = 0;
    std::string m_strChecksumFile;

    std::mutex m_targetMutex;  // a post and a change of target never overlap
    platform::MessageTarget* m_mainWindow = nullptr;
};

}  // namespace protocol
