// A launcher as far as self-update goes: runs SelfUpdater on its command line; as the copy it
// writes what it was given to "record.txt" (on Windows its command line also to "line.txt") in
// its folder, then removes its own file as the last
// process running from it does. A message goes to "message.txt" in its folder.
// QUEND_FAKE_LINGER set: the first process does not end itself after starting the copy.
// QUEND_FAKE_STAY set: the copy writes "stay.<its id>" in its folder and ends once that is gone.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

#include "launch/self_updater.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace fs = std::filesystem;

[[noreturn]] static void Linger(int) {
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

int main(int argc, char** argv) {
    platform::FileLock hold = launch::SelfUpdater::HoldTempCopy();
    platform::SetMessageHandler([](const std::string&, const std::string& text) {
        const fs::path folder = platform::FsPath(platform::OwnExePath()).parent_path();
        std::ofstream(folder / "message.txt", std::ios::binary) << text;
    });
    // The arguments are ASCII here: process ids and switches.
    const std::string arguments = platform::JoinArguments(argc, argv);
    launch::SelfUpdater updater(std::getenv("QUEND_FAKE_LINGER") ? Linger
                                                                 : platform::ExitProcessNow);
    if (!updater.Run(arguments))
        return 3;
    const fs::path folder = platform::FsPath(platform::OwnExePath()).parent_path();
#ifdef _WIN32
    {
        // The command line after the program's name and one blank, as the starter gave it.
        std::string line = ::GetCommandLineA();
        const std::size_t end = line.starts_with('"') ? line.find('"', 1) + 1 : line.find(' ');
        line.erase(0, end == std::string::npos ? line.size() : std::min(end + 1, line.size()));
        std::ofstream(folder / "line.txt", std::ios::binary) << line;
    }
#endif
    std::ofstream(folder / "record.part", std::ios::binary)
        << "args=" << arguments << "\nswitches=" << updater.NoCheck() << updater.NoUpdate()
        << "\ncwd=" << platform::PathUtf8(fs::current_path())
        << "\nfirst_running=" << platform::IsProcessRunning(std::atoi(arguments.c_str())) << "\n";
    fs::rename(folder / "record.part", folder / "record.txt");  // never seen half written
    if (std::getenv("QUEND_FAKE_STAY")) {
        const fs::path stay = folder / ("stay." + std::to_string(platform::CurrentProcessId()));
        std::ofstream{stay};
        while (fs::exists(stay))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    launch::SelfUpdater::RemoveTempCopy(std::move(hold));
    return 0;
}
