#pragma once
// What the main window's rules need of the application object that runs them: the connection to
// the launcher server, the settings of Launcher.ini, start-up's results and the session a login
// leaves for the game. The application implements it. GUI thread only.

#include <string>

#include "account/account_login.h"
#include "config/launcher_config.h"
#include "protocol/client_connection.h"

namespace frontend {

class LauncherHost {
public:
    virtual ~LauncherHost() = default;

    // The server directory, the version state, StopConnection and the window that hears the
    // receive thread.
    virtual protocol::CClientConnection& Connection() = 0;
    // m_config: the values of Launcher.ini, owned and written by the GUI thread alone.
    virtual config::LauncherConfig& Config() = 0;
    // m_bConnected: the start-up connection attempt succeeded.
    virtual bool IsConnected() const = 0;

    // "-NoCheck" and "-NoUpdate" of the command line.
    virtual bool NoCheck() const = 0;
    virtual bool NoUpdate() const = 0;
    // The program's folder in native form, ending in "/".
    virtual std::string ModuleDir() const = 0;

    // Skin.ini's path, and the resource path that the skin's image names are glued to.
    virtual std::string SkinIni() const = 0;
    virtual std::string ResourcePath() const = 0;

    // The session of a successful login (ANSI texts), read again when the game starts.
    virtual void StoreSession(const account::LoginSession& session) = 0;
    virtual account::LoginSession Session() const = 0;
};

}  // namespace frontend
