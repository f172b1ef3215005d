#pragma once
// A launcher installation for the program tests: the launcher folder inside a game folder and
// its Launcher.ini (values encoded); the window tests add the skin. Test thread only.

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "pack/ini_encoder.h"
#include "support/test_support.h"

namespace quend::test {

// Game folder "<root>/Game/", launcher folder "<root>/Game/Launcher/", GBK the code page. While
// it lives, TMPDIR is a folder of its own: launchers keep their instance locks and downloads
// there, away from other launchers and runs.
struct Installation final {
    Installation() {
        setEnv("QUEND_CODEPAGE", "GBK");
        if (const char* saved = std::getenv("TMPDIR"))
            savedTmp = saved;
        setEnv("TMPDIR", temp.path().string());
    }
    ~Installation() { savedTmp ? setEnv("TMPDIR", *savedTmp) : unsetEnv("TMPDIR"); }

    // Writes Launcher.ini: the [Launcher] keys given (RESOURCE_DIR and LANGUAGE default to the
    // test skin's), and one game with its version and account service.
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
    std::filesystem::path gameDir = root / "Game";  // a test may move the installation
    std::filesystem::path launcherDir = gameDir / "Launcher";
    TempDir temp;
    std::optional<std::string> savedTmp;
};

}  // namespace quend::test
