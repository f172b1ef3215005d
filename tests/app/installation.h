#pragma once
// A launcher installation for the program tests: the launcher folder inside a game folder, with
// Launcher.ini (values encoded), the generated skin and the language file. Test thread only.

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "app/launcher_app.h"
#include "pack/ini_encoder.h"
#include "support/test_skin.h"
#include "support/test_support.h"

namespace quend::test {

// Game folder "<temp>/Game/", launcher folder "<temp>/Game/Launcher/". While it lives, launchers
// keep their instance locks in a folder of its own (TMPDIR), away from other launchers and runs.
struct Installation {
    Installation() {
        ::setenv("QUEND_CODEPAGE", "GBK", 1);
        WriteTestSkin(launcherDir);
        if (const char* saved = std::getenv("TMPDIR"))
            savedTmp = saved;
        ::setenv("TMPDIR", locks.path().c_str(), 1);
    }
    ~Installation() { savedTmp ? ::setenv("TMPDIR", savedTmp->c_str(), 1) : ::unsetenv("TMPDIR"); }

    // Writes Launcher.ini: the [Launcher] keys given (RESOURCE_DIR and LANGUAGE default to the
    // generated skin's), and one game with its version and account service.
    void WriteLauncherIni(std::map<std::string, std::string> keys, const std::string& game = "",
                          const std::string& version = "", const std::string& authDomain = "") {
        keys.try_emplace("RESOURCE_DIR", (launcherDir / "Res").string());
        keys.try_emplace("LANGUAGE", "Chs");
        std::string ini = "[Launcher]\r\n";
        for (const auto& [key, value] : keys)
            ini += key + "=" + pack::HexEncode(value) + "\r\n";
        if (!game.empty()) {
            ini += "[Gamelist]\r\nCOUNT=" + pack::HexEncode("1") +
                   "\r\ngame1=" + pack::HexEncode(game) + "\r\n[" + game +
                   "]\r\nVERSION=" + pack::HexEncode(version) +
                   "\r\nAUTH_DOMAIN=" + pack::HexEncode(authDomain) + "\r\n";
        }
        writeFile(launcherDir / "Launcher.ini", ini);
    }

    TempDir root;
    std::filesystem::path gameDir = root / "Game";
    std::filesystem::path launcherDir = gameDir / "Launcher";
    TempDir locks;
    std::optional<std::string> savedTmp;
};

// The launcher as the program runs it, but for the self-update step, which a test process
// cannot take (it would start a copy of the test and end): here it goes on as the copy would.
class InstalledLauncher final : public app::CLauncherApp {
public:
    explicit InstalledLauncher(const std::filesystem::path& programFile)
        : app::CLauncherApp(programFile.string(), "") {}

protected:
    bool RunSelfUpdate(const std::string&) override { return true; }
};

}  // namespace quend::test
