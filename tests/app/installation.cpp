#include "installation.h"

#include <cstdlib>
#include <utility>

#include "launch/self_updater.h"
#include "pack/ini_encoder.h"
#include "test_install.h"

namespace quend::test {

Installation::Installation() {
    ::setenv("QUEND_CODEPAGE", "GBK", 1);
    WriteTestSkin(launcherDir);
    const char* saved = std::getenv("TMPDIR");
    m_savedTmp = saved != nullptr ? saved : "";
    ::setenv("TMPDIR", locks.path().c_str(), 1);
}

Installation::~Installation() {
    if (m_savedTmp.empty())
        ::unsetenv("TMPDIR");
    else
        ::setenv("TMPDIR", m_savedTmp.c_str(), 1);
}

void Installation::WriteLauncherIni(std::map<std::string, std::string> keys,
                                    const std::string& game, const std::string& version,
                                    const std::string& authDomain) {
    keys.try_emplace("RESOURCE_DIR", (launcherDir / "Res").string());
    keys.try_emplace("LANGUAGE", "Chs");
    std::string ini = "[Launcher]\r\n";
    for (const auto& [key, value] : keys)
        ini += key + "=" + HexEncode(value) + "\r\n";
    if (!game.empty()) {
        ini += "[Gamelist]\r\nCOUNT=" + HexEncode("1") + "\r\ngame1=" + HexEncode(game) + "\r\n";
        ini += "[" + game + "]\r\nVERSION=" + HexEncode(version) +
               "\r\nAUTH_DOMAIN=" + HexEncode(authDomain) + "\r\n";
    }
    writeFile(launcherDir / "Launcher.ini", ini);
}

bool InstalledLauncher::RunSelfUpdate(const std::string& commandLine) {
    SelfUpdater switches;
    switches.ParseCommandLine(commandLine);
    m_bNoCheck = switches.NoCheck() ? 1 : 0;
    m_bNoUpdate = switches.NoUpdate() ? 1 : 0;
    return true;
}

}  // namespace quend::test
