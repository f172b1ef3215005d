#pragma once
// CClientApp: the application object's reusable part, a GUI program that is also a client of the
// launcher server, without a toolkit. It owns the settings of Launcher.ini and the connection,
// brings the process up in a fixed order (paths, configuration, single instance, self-update,
// connection) and takes it down again; the main window's rules read what start-up found through
// LauncherHost. Each edition derives its application from it, adding its single-instance lock and
// its main window. GUI thread only: the connection's receive thread works from its own copy of
// what it needs.

#include <memory>
#include <string>

#include "config/launcher_config.h"
#include "frontend/instance_lock.h"
#include "frontend/launcher_host.h"
#include "platform/file_lock.h"
#include "protocol/client_connection.h"

namespace frontend {

class CClientApp : public LauncherHost {
public:
    // `modulePath`: the running program file (platform::OwnExePath() in the program);
    // `commandLine`: the arguments after the program name as one text.
    CClientApp(std::string modulePath, std::string commandLine);

    // True when the main window may be shown. False ends the process (after ExitInstance).
    virtual bool InitInstance();
    // Stops the connection and releases what start-up took; the process's exit code.
    virtual int ExitInstance();
    // InitInstance, then ExitInstance whatever it answered.
    int Run();

    // Takes the single-instance lock named `name` into m_hMutex. False, after raising the
    // holder's window, when another launcher holds it.
    virtual bool CheckSingleInstance(const std::string& name) = 0;

    // Gives the connection its own copy of the installed games, then connects to TREE_SERVER.
    bool ConnectServer();
    // Request 30 or 40 on the connection.
    bool SendRequest(int32_t id);

    // LauncherHost
    protocol::CClientConnection& Connection() override { return m_connection; }
    config::LauncherConfig& Config() override { return m_config; }
    bool IsConnected() const override { return m_bConnected; }
    bool NoCheck() const override { return m_bNoCheck; }
    bool NoUpdate() const override { return m_bNoUpdate; }
    std::string ModuleDir() const override { return m_pszModuleDir; }
    std::string SkinIni() const override { return m_strSkinIni; }
    std::string ResourcePath() const override { return m_strResourcePath; }
    void StoreSession(const account::LoginSession& session) override;
    account::LoginSession Session() const override {
        return {m_strUserId, m_strUserKey, m_strUnderage};
    }

    std::unique_ptr<InstanceLock> m_hMutex;  // the single-instance lock; null when not held
    std::string m_strSkinIni;
    config::LauncherConfig m_config;  // the values of Launcher.ini
    std::string m_strUserId;
    std::string m_strUserKey;
    std::string m_strUnderage;
    bool m_bNoCheck = false;
    bool m_bNoUpdate = false;
    std::string m_pszModulePath;
    std::string m_pszModuleDir;  // ends in a separator; empty when the path has no folder
    std::string m_pszTextFile;
    std::string m_strResourcePath;
    bool m_bConnected = false;  // the start-up connection attempt succeeded
    bool m_bTempCopy = false;   // this process is the temporary copy and removes itself at exit
    // Held from start-up to exit while this process runs as Temp.exe, whether it goes on or is
    // refused: the last such process removes the file.
    platform::FileLock m_hTempCopyLock;
    protocol::CClientConnection m_connection;  // to the launcher server

protected:
    // The self-update step: true only in the temporary copy, which goes on. Elsewhere it starts
    // the copy and ends this process; false reaches start-up only when that failed.
    virtual bool RunSelfUpdate(const std::string& commandLine);
    // Removes the temporary copy's program file at exit, unless another process still runs it.
    virtual void RemoveTempCopy();

private:
    const std::string m_strModulePathGiven;
    const std::string m_strCommandLine;
};

// RESOURCE_DIR and LANGUAGE joined with one "/" between them, as a path-append does: an empty
// part gives the other one unchanged.
std::string JoinResourcePath(const std::string& resourceDir, const std::string& language);

// The program file's name without its last extension: the caption of every message box.
std::string ApplicationTitle(const std::string& fileName);

}  // namespace frontend
