// A launcher as far as self-update goes: runs SelfUpdater on its command line; as the copy it
// writes what it was given to "record.txt" in its folder, then removes its own file.
// QUEND_FAKE_LINGER set: the first process does not end itself after starting the copy.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "launch/self_updater.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    const std::string arguments = platform::JoinArguments(argc, argv);
    SelfUpdater::ExitHook exitHook = platform::ExitProcessNow;
    if (std::getenv("QUEND_FAKE_LINGER") != nullptr)
        exitHook = [](int) {
            for (;;)
                ::pause();
        };
    SelfUpdater updater(exitHook);
    if (!updater.Run(arguments))
        return 3;

    const int first = std::atoi(arguments.c_str());
    const std::filesystem::path folder =
        std::filesystem::path(platform::OwnExePath()).parent_path();
    {
        std::ofstream out(folder / "record.part", std::ios::binary | std::ios::trunc);
        out << "args=" << arguments << "\n"
            << "switches=" << updater.NoCheck() << updater.NoUpdate() << "\n"
            << "cwd=" << std::filesystem::current_path().string() << "\n"
            << "first_running=" << platform::IsProcessRunning(first) << "\n";
    }
    std::filesystem::rename(folder / "record.part", folder / "record.txt");
    updater.RemoveTempCopy();
    return 0;
}
