#include "launch/quendalor_manager.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include "config/text_table.h"
#include "platform/codepage.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"

namespace launch {

namespace {

const char kIniPath[] = "Bin\\Qnd.ini";
const char kGamePath[] = "Bin\\Qnd.exe";
const char kLoginSection[] = "QuendalorUI.Game_Login";
const char kGameSection[] = "QuendalorUI.QuendalorGame";

// Two language texts (ANSI) on two lines in one message box.
void ShowTwoLines(const char* first, const char* second) {
    platform::ShowMessage(platform::AnsiToUtf8(std::string(first) + "\n" + second));
}

std::string AddressText(const protocol::Endpoint& endpoint) {
    return endpoint.text() + ":" + std::to_string(endpoint.port);
}

// One address of every server of the group that has any, each drawn with rand(), joined by "|".
std::string ServerSetInfo(const protocol::ServerGroup& group) {
    std::string info;
    for (const protocol::ServerEntry& server : group.servers) {
        if (server.endpoints.empty())
            continue;
        const int count = static_cast<int>(server.endpoints.size());
        info += AddressText(server.endpoints[static_cast<std::size_t>(std::rand() % count)]);
        info += '|';
    }
    if (!info.empty())
        info.pop_back();
    return info;
}

bool IsWindowsProgram(const std::string& path) {
    std::ifstream in(platform::FsPath(path), std::ios::binary);
    char magic[2] = {};
    return in.read(magic, sizeof magic) && magic[0] == 'M' && magic[1] == 'Z';
}

}  // namespace

CQuendalorManager::CQuendalorManager() : CQuendalorManager(platform::ExitProcessNow) {}

CQuendalorManager::CQuendalorManager(ExitHook exitProcess)
    : m_exitProcess(std::move(exitProcess)) {}

int CQuendalorManager::CheckSelection(ServerSelection selection, const std::string& updateUrl) {
    m_selection = std::move(selection);
    if (!m_selection.Complete()) {
        config::ShowText("UnSelectServer", 'G');
        return 0;
    }
    if (m_selection.game->version_not_ready != 0) {
        ShowTwoLines(config::GetGeneralText("VersionNotReady"),
                     config::GetGeneralText("WaitForSafeService"));
        return 0;
    }
    if (updateUrl.empty()) {
        config::ShowText("UnSetUpdateServer", 'G');
        return 0;
    }
    return 1;
}

int CQuendalorManager::LaunchGame(const std::string& gameDir, std::string userId,
                                  std::string userKey, std::string underage) {
    // Only a launch after a successful CheckSelection has a server to go to.
    if (!m_selection.Complete()) {
        config::ShowText("UnSelectServer", 'G');
        return 0;
    }
    if (m_selection.server->enabled == 0) {
        ShowTwoLines(config::GetErrorText("GameServerNotFound"),
                     config::GetGeneralText("WaitForSafeService"));
        return 0;
    }

    const std::string ini = platform::JoinNativePath(gameDir, kIniPath);
    std::error_code ignored;
    std::filesystem::permissions(platform::FsPath(ini), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ignored);

    const std::string host = m_selection.endpoint->text();
    const std::string port = std::to_string(m_selection.endpoint->port);
    const std::string info = ServerSetInfo(*m_selection.group);
    int ok = 1;
    ok &= platform::WriteProfileString(kLoginSection, "ServerHost", host.c_str(), ini) ? 1 : 0;
    ok &= platform::WriteProfileString(kLoginSection, "ServerPort", port.c_str(), ini) ? 1 : 0;
    ok &= platform::WriteProfileString(kGameSection, "ServerSetInfo", info.c_str(), ini) ? 1 : 0;
    if (ok == 0) {
        config::ShowText("FailSaveConfig", 'G');
        if (m_exitProcess)
            m_exitProcess(0);
        return 0;
    }

    const std::string commandLine = "USERID=" + userId + " USERKEY=" + userKey +
                                    " UNDERAGE=" + underage + " -LauncherPassed -pzqmvt ";
    if (!StartGame(platform::JoinNativePath(gameDir, kGamePath), commandLine))
        config::ShowText("FailExecuteProgram", 'E');
    return ok;
}

bool CQuendalorManager::StartGame(const std::string& program,
                                  const std::string& commandLine) const {
    if (!platform::StartsWindowsPrograms() && IsWindowsProgram(program)) {
        const std::string wine = platform::FindOnPath("wine");
        if (!wine.empty()) {
            std::vector<std::string> args = platform::SplitCommandLine(commandLine);
            args.insert(args.begin(), program);
            return platform::StartProcess(wine, args, "");
        }
    }
    // The game reads its command line as one text, trailing blank included.
    return platform::StartProcessWithCommandLine(program, commandLine, "");
}

}  // namespace launch
