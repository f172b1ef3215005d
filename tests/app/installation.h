#pragma once
// A launcher installation for the program tests: the launcher folder inside a game folder, with
// Launcher.ini (values encoded as the launcher reads them), the generated skin and the language
// file. Test thread only.

#include <filesystem>
#include <map>
#include <string>

#include "app/launcher_app.h"
#include "support/test_support.h"

namespace quend::test {

// While it lives, launchers keep their single-instance locks in a folder of its own (TMPDIR), so
// that no other launcher or test run meets them.
struct Installation {
    // Game folder "<temp>/Game/", launcher folder "<temp>/Game/Launcher/".
    Installation();
    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    // Writes Launcher.ini: the [Launcher] keys given (RESOURCE_DIR and LANGUAGE default to the
    // generated skin's), and one game with its version and account service.
    void WriteLauncherIni(std::map<std::string, std::string> keys, const std::string& game = "",
                          const std::string& version = "", const std::string& authDomain = "");

    TempDir root;
    std::filesystem::path gameDir = root / "Game";
    std::filesystem::path launcherDir = gameDir / "Launcher";
    TempDir locks;

private:
    std::string m_savedTmp;
};

// The launcher as the program runs it, but for the self-update step, which a test process
// cannot take (it would start a copy of the test and end): here only the switches are read.
class InstalledLauncher final : public CLauncherApp {
public:
    InstalledLauncher(const std::filesystem::path& programFile, std::string commandLine = "")
        : CLauncherApp(programFile.string(), std::move(commandLine)) {}

protected:
    bool RunSelfUpdate(const std::string& commandLine) override;
};

}  // namespace quend::test
