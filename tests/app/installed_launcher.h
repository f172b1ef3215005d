#pragma once
// The launcher as the program runs it, for the start-up and whole-program tests. Test thread only.

#include <filesystem>
#include <string>

#include "app/launcher_app.h"

namespace quend::test {

// All but the self-update step, which a test process cannot take (it would start a copy of the
// test and end): here it goes on as the copy would.
class InstalledLauncher final : public app::CLauncherApp {
public:
    explicit InstalledLauncher(const std::filesystem::path& programFile)
        : app::CLauncherApp(programFile.string(), "") {}

protected:
    bool RunSelfUpdate(const std::string&) override { return true; }
};

}  // namespace quend::test
