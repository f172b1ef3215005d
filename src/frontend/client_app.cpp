#include "frontend/client_app.h"

#include <utility>

#include "config/text_table.h"
#include "corelib/xtrace.h"
#include "launch/self_updater.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "protocol/launcher_messages.h"

namespace frontend {

std::string JoinResourcePath(const std::string& resourceDir, const std::string& language) {
    const auto separator = [](char c) { return c == '/' || c == '\\'; };
    std::size_t skip = 0;
    while (skip < language.size() && separator(language[skip]))
        ++skip;
    if (skip == language.size())
        return resourceDir;
    if (resourceDir.empty())
        return language.substr(skip);
    std::string head = resourceDir;
    while (head.size() > 1 && separator(head.back()))
        head.pop_back();
    return head + (separator(head.back()) ? "" : "/") + language.substr(skip);
}

std::string ApplicationTitle(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

CClientApp::CClientApp(std::string modulePath, std::string commandLine)
    : m_strModulePathGiven(std::move(modulePath)), m_strCommandLine(std::move(commandLine)) {}

int CClientApp::Run() {
    InitInstance();
    return ExitInstance();
}

bool CClientApp::InitInstance() {
    // The order is the start-up's contract: every early return leaves ExitInstance something it
    // can release.
    corelib::set_trace_sink(&corelib::trace_output());
    // The program file's name is the single-instance lock's name and every box's caption. A
    // temporary copy holds its file from here on: the last process running from it removes it.
    m_pszModulePath = m_strModulePathGiven;
    m_hTempCopyLock = launch::SelfUpdater::HoldTempCopy();
    const std::string fileName = platform::GetFileNamePart(m_pszModulePath);
    platform::SetMessageCaption(ApplicationTitle(fileName));
    m_pszModuleDir = platform::GetFolderPart(m_pszModulePath);
    // The folder ends in a separator already; the doubled one is harmless.
    m_strSkinIni = m_pszModuleDir + "/Skin.ini";
    // Without its configuration the launcher ends without a word.
    if (!config::ReadLauncherConfig(m_pszModuleDir + "Launcher.ini", m_config))
        return false;
    m_strResourcePath = JoinResourcePath(m_config.resourceDir, m_config.language);
    m_pszTextFile = m_pszModuleDir + "Launcher." + m_config.language;
    config::SetTextFile(m_pszTextFile);
    // The texts are known from here on: a second launcher can say why it ends.
    if (!CheckSingleInstance(fileName)) {
        platform::ShowMessage("不允许启动多个登录器");
        return false;
    }
    // Only the temporary copy goes on; it removes its own file at exit.
    if (!RunSelfUpdate(m_strCommandLine))
        return false;
    m_bTempCopy = true;
    // A failed connection still shows the main window, with Start disabled.
    m_bConnected = false;
    m_bConnected = ConnectServer();
    if (m_bConnected)
        SendRequest(protocol::kGameListId);
    else
        config::ShowText("ConnectionFailed", 'G');
    return true;
}

int CClientApp::ExitInstance() {
    m_connection.StopConnection();
    m_hMutex.reset();
    m_pszModulePath.clear();
    m_pszModuleDir.clear();
    m_pszTextFile.clear();
    // A refused copy too: it may be the last process that runs from Temp.exe.
    if (m_bTempCopy || m_hTempCopyLock)
        RemoveTempCopy();
    return 0;
}

bool CClientApp::RunSelfUpdate(const std::string& commandLine) {
    launch::SelfUpdater updater;
    const bool goOn = updater.Run(commandLine);
    m_bNoCheck = updater.NoCheck();
    m_bNoUpdate = updater.NoUpdate();
    return goOn;
}

void CClientApp::RemoveTempCopy() {
    launch::SelfUpdater::RemoveTempCopy(std::move(m_hTempCopyLock));
}

bool CClientApp::ConnectServer() {
    m_connection.SetInstalledGames(m_config.games);
    return m_connection.ConnectServer(m_config.treeServer);
}

bool CClientApp::SendRequest(int32_t id) {
    return m_connection.SendRequest(id);
}

void CClientApp::StoreSession(const account::LoginSession& session) {
    m_strUserId = session.userId;
    m_strUserKey = session.userKey;
    m_strUnderage = session.underage;
}

}  // namespace frontend
