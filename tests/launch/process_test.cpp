// Processes as the launcher starts and ends them, the game folder found from the working folder,
// and self-update through a Temp.exe copy, all with real programs.

#include "platform/process.h"

#include <sys/stat.h>

#include <cstdlib>
#include <tuple>

#include <gtest/gtest.h>

#include "launch/common_manager.h"
#include "launch/self_updater.h"
#include "launch_test_util.h"

namespace {

using namespace quend::test;
namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

TEST(Process, StartsAProgramInTheGivenFolderOrReportsWhyNot) {
    TempDir dir;
    const auto program = dir / "game" / "Qnd.exe";
    copyProgram(QUEND_FAKE_GAME, program);
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess(program.string(), {"a b", "", "-x"}, dir.path(), &pid));
    EXPECT_EQ(Child(pid).Wait(), 0);
    EXPECT_EQ(readLines(program.string() + ".record"),
              (Texts{"cwd=" + fs::canonical(dir.path()).string(), "arg=a b", "arg=", "arg=-x"}));

    EXPECT_FALSE(platform::StartProcess((dir / "missing").string(), {}, ""));
    EXPECT_FALSE(platform::StartProcess(program.string(), {}, (dir / "no-folder").string()));
    writeFile(dir / "plain.exe", "MZ not a program here");
    ::chmod((dir / "plain.exe").c_str(), 0755);
    EXPECT_FALSE(platform::StartProcess((dir / "plain.exe").string(), {}, ""));
}

TEST(Process, EndingAProcessWaitsForItsEndAndKillsOneThatIgnoresTheRequest) {
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess("/bin/sleep", {"30"}, "", &pid));
    Child sleeper(pid);
    EXPECT_TRUE(platform::EndProcess(pid));
    // Ended but not yet collected by us, its parent: that counts as ended.
    EXPECT_FALSE(platform::IsProcessRunning(pid));
    EXPECT_FALSE(platform::EndProcess(pid)) << "nothing left to end";
    EXPECT_EQ(sleeper.Wait(), -SIGTERM);

    ASSERT_TRUE(platform::StartProcess("/bin/sh", {"-c", "trap '' TERM; exec sleep 30"}, "", &pid));
    Child stubborn(pid);
    ASSERT_TRUE(
        waitFor([&] { return platform::ProcessExePath(pid) == fs::canonical("/bin/sleep"); }));
    EXPECT_TRUE(platform::EndProcess(pid, std::chrono::milliseconds(200)));
    EXPECT_EQ(stubborn.Wait(), -SIGKILL);

    // 0 and -1 would name process groups.
    for (platform::ProcessId id : {0, -1, platform::CurrentProcessId()})
        EXPECT_FALSE(platform::EndProcess(id)) << id;
}

// A working folder that no longer exists gives no game folder.
TEST(CommonManager, TheGameFolderIsTheParentOfTheWorkingFolder) {
    struct Owner final : CommonOwner {
        void SetGameDir(std::string dir) override { gameDir = std::move(dir); }
        std::string gameDir = "unset";
    } owner;
    CCommonManager manager;
    manager.SetOwner(&owner);
    const auto fill = [&] {
        const int result = manager.FillGameDir();
        return std::make_pair(result, owner.gameDir);
    };
    TempDir dir;
    fs::create_directories(dir / "Launcher");
    {
        WorkingFolder inside(dir / "Launcher");
        EXPECT_EQ(fill(), std::make_pair(1, fs::canonical(dir.path()).string() + "/"));
        fs::remove(dir / "Launcher");
        EXPECT_EQ(fill(), std::make_pair(-1, std::string()));
    }
    WorkingFolder root("/");
    EXPECT_EQ(fill(), std::make_pair(1, std::string("/")));
}

TEST(SelfUpdater, CommandLinesSplitIntoProcessIdAndSwitches) {
    // The command line, the text before its first "-", the rest, -NoCheck, -NoUpdate.
    using Split = std::tuple<std::string, std::string, bool, bool>;
    const std::pair<const char*, Split> cases[] = {
        {"1234 -NoCheck", {"1234 ", "-NoCheck", true, false}},
        {"-nocheck -NOUPDATE", {"", "-nocheck -NOUPDATE", true, true}},
        {"1234", {"1234", "", false, false}},
        {"1 -NoChecks -x-NoUpdate  -NoUpdate",
         {"1 ", "-NoChecks -x-NoUpdate  -NoUpdate", false, true}},
    };
    for (const auto& [arguments, split] : cases) {
        SelfUpdater updater;
        const std::string head = updater.ParseCommandLine(arguments);
        EXPECT_EQ(Split(head, updater.Args(), updater.NoCheck(), updater.NoUpdate()), split)
            << arguments;
    }
}

// Runs the stand-in launcher as `name` in `dir`, from elsewhere, and answers the copy's record
// once the copy has removed its file; `first` gets the first process.
Texts RunLauncher(const TempDir& dir, const std::string& name, const Texts& args,
                  platform::ProcessId* first) {
    copyProgram(QUEND_FAKE_LAUNCHER, dir / name);
    TempDir elsewhere;
    EXPECT_TRUE(platform::StartProcess((dir / name).string(), args, elsewhere.path(), first));
    // Sanitizer builds start slowly.
    EXPECT_TRUE(
        waitFor([&] { return fs::exists(dir / "record.txt") && !fs::exists(dir / "Temp.exe"); },
                std::chrono::seconds(20)));
    return readLines(dir / "record.txt");
}

// The copy runs in its own folder with the first process's id and the switches, the first
// process has ended by then, and the program file stays.
TEST(SelfUpdater, TheLauncherHandsOverToATemporaryCopyThatRemovesItself) {
    TempDir dir;
    platform::ProcessId pid = 0;
    const Texts record = RunLauncher(dir, "Launcher", {"-NoCheck", "-noupdate"}, &pid);
    EXPECT_EQ(Child(pid).Wait(), 0);
    EXPECT_EQ(
        record,
        (Texts{"args=" + std::to_string(pid) + " -NoCheck -noupdate -NoCheck -NoUpdate",
               "switches=11", "cwd=" + fs::canonical(dir.path()).string(), "first_running=0"}));
    EXPECT_TRUE(fs::exists(dir / "Launcher"));
}

// A first process that does not end by itself is ended by the copy, with code 0, before the copy
// goes on; the id of a program from elsewhere on its command line is left alone. Its file is
// named temp.exe: only "Temp.exe" exactly is the copy.
TEST(SelfUpdater, TheCopyEndsAFirstProcessThatLingersAndLeavesAnUnrelatedOneAlone) {
    platform::ProcessId strangerId = 0;
    ASSERT_TRUE(platform::StartProcess("/bin/sleep", {"30"}, "", &strangerId));
    Child stranger(strangerId);
    TempDir dir;
    ::setenv("QUEND_FAKE_LINGER", "1", 1);
    platform::ProcessId pid = 0;
    const Texts record = RunLauncher(dir, "temp.exe", {std::to_string(strangerId), "-x"}, &pid);
    ::unsetenv("QUEND_FAKE_LINGER");
    EXPECT_EQ(Child(pid).Wait(), 0);
    ASSERT_EQ(record.size(), 4u);
    EXPECT_EQ(std::tie(record[0], record[3]),
              std::make_tuple("args=" + std::to_string(pid) + " -x", "first_running=0"));
    EXPECT_TRUE(fs::exists(dir / "temp.exe"));

    SelfUpdater updater([](int) { ADD_FAILURE() << "this process must not end"; });
    for (platform::ProcessId id : {strangerId, 0, -1, platform::CurrentProcessId()})
        updater.EndProcessById(id);
    EXPECT_TRUE(platform::IsProcessRunning(strangerId));
}

}  // namespace
