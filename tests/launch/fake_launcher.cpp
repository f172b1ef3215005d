// A launcher as far as self-update goes: runs SelfUpdater on its command line; as the copy it
// writes what it was given to "record.txt" in its folder, then removes its own file.
// QUEND_FAKE_LINGER set: the first process does not end itself after starting the copy.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "launch/self_updater.h"
#include "platform/process.h"

namespace fs = std::filesystem;

[[noreturn]] static void Linger(int) {
    for (;;)
        ::pause();
}

int main(int argc, char** argv) {
    const std::string arguments = platform::JoinArguments(argc, argv);
    SelfUpdater updater(std::getenv("QUEND_FAKE_LINGER") ? Linger : platform::ExitProcessNow);
    if (!updater.Run(arguments))
        return 3;
    const fs::path folder = fs::path(platform::OwnExePath()).parent_path();
    std::ofstream(folder / "record.part", std::ios::binary)
        << "args=" << arguments << "\nswitches=" << updater.NoCheck() << updater.NoUpdate()
        << "\ncwd=" << fs::current_path().string()
        << "\nfirst_running=" << platform::IsProcessRunning(std::atoi(arguments.c_str())) << "\n";
    fs::rename(folder / "record.part", folder / "record.txt");  // never seen half written
    updater.RemoveTempCopy();
    return 0;
}
