// Processes as the launcher starts and ends them, the game folder found from the working folder,
// and self-update through a Temp.exe copy, all with real programs.

#include "platform/process.h"

#include <sys/stat.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "launch/common_manager.h"
#include "launch/self_updater.h"
#include "launch_test_util.h"

namespace {

using namespace quend::test;
namespace fs = std::filesystem;

constexpr auto kCopyTimeout = std::chrono::seconds(20);  // sanitizer builds start slowly

TEST(Process, StartsAProgramInTheGivenFolderOrReportsWhyNot) {
    TempDir dir;
    const auto program = dir / "game" / "Qnd.exe";
    copyProgram(QUEND_FAKE_GAME, program);
    fs::create_directories(dir / "work");
    platform::ProcessId pid = 0;
    ASSERT_TRUE(
        platform::StartProcess(program.string(), {"a b", "", "-x"}, (dir / "work").string(), &pid));
    EXPECT_EQ(Child(pid).Wait(), 0);
    EXPECT_EQ(readLines(program.string() + ".record"),
              (std::vector<std::string>{"cwd=" + fs::canonical(dir / "work").string(), "arg=a b",
                                        "arg=", "arg=-x"}));

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
    const std::string sleepPath = fs::canonical("/bin/sleep").string();
    ASSERT_TRUE(waitFor([&] { return platform::ProcessExePath(pid) == sleepPath; }));
    EXPECT_TRUE(platform::EndProcess(pid, std::chrono::milliseconds(200)));
    EXPECT_EQ(stubborn.Wait(), -SIGKILL);

    // 0 and -1 would name process groups.
    for (platform::ProcessId id : {0, -1, platform::CurrentProcessId()})
        EXPECT_FALSE(platform::EndProcess(id)) << id;
}

TEST(CommonManager, TheGameFolderIsTheParentOfTheWorkingFolder) {
    struct Owner final : CommonOwner {
        void SetGameDir(std::string dir) override { gameDir = std::move(dir); }
        std::string gameDir = "unset";
    } owner;
    TempDir dir;
    fs::create_directories(dir / "Games" / "Launcher");
    CCommonManager manager;
    manager.SetOwner(&owner);
    {
        WorkingFolder inside(dir / "Games" / "Launcher");
        EXPECT_EQ(manager.FillGameDir(), 1);
        EXPECT_EQ(owner.gameDir, fs::canonical(dir / "Games").string() + "/");
        // A working folder that no longer exists gives no game folder.
        fs::remove(dir / "Games" / "Launcher");
        EXPECT_EQ(manager.FillGameDir(), -1);
        EXPECT_EQ(owner.gameDir, "");
    }
    WorkingFolder root("/");
    EXPECT_EQ(manager.FillGameDir(), 1);
    EXPECT_EQ(owner.gameDir, "/");
}

TEST(SelfUpdater, CommandLinesSplitIntoProcessIdAndSwitches) {
    struct Case {
        const char *arguments, *head, *args;
        bool noCheck, noUpdate;
    };
    const Case cases[] = {
        {"1234 -NoCheck", "1234 ", "-NoCheck", true, false},
        {"-nocheck -NOUPDATE", "", "-nocheck -NOUPDATE", true, true},
        {"1234", "1234", "", false, false},
        {"abc -NoCheck", "abc ", "-NoCheck", true, false},
        {"1 -NoChecks -x-NoUpdate  -NoUpdate", "1 ", "-NoChecks -x-NoUpdate  -NoUpdate", false,
         true},
    };
    for (const Case& c : cases) {
        SelfUpdater updater;
        EXPECT_EQ(updater.ParseCommandLine(c.arguments), c.head) << c.arguments;
        EXPECT_EQ(std::make_tuple(updater.Args(), updater.NoCheck(), updater.NoUpdate()),
                  std::make_tuple(std::string(c.args), c.noCheck, c.noUpdate))
            << c.arguments;
    }
}

// Runs the stand-in launcher as `name` in `dir` from elsewhere and answers the copy's record once
// the copy has removed its file; `first` gets the first process.
std::vector<std::string> RunLauncher(const TempDir& dir, const std::string& name,
                                     const std::vector<std::string>& args,
                                     platform::ProcessId* first) {
    copyProgram(QUEND_FAKE_LAUNCHER, dir / name);
    TempDir elsewhere;
    EXPECT_TRUE(platform::StartProcess((dir / name).string(), args, elsewhere.path(), first));
    EXPECT_TRUE(waitFor([&] { return fs::exists(dir / "record.txt"); }, kCopyTimeout));
    EXPECT_TRUE(waitFor([&] { return !fs::exists(dir / "Temp.exe"); }, kCopyTimeout));
    return readLines(dir / "record.txt");
}

// The copy runs in its own folder with the first process's id and the switches, the first
// process has ended by then, and the program file stays.
TEST(SelfUpdater, TheLauncherHandsOverToATemporaryCopyThatRemovesItself) {
    TempDir dir;
    platform::ProcessId pid = 0;
    const auto record = RunLauncher(dir, "Launcher", {"-NoCheck", "-noupdate"}, &pid);
    EXPECT_EQ(Child(pid).Wait(), 0);
    EXPECT_EQ(record,
              (std::vector<std::string>{
                  "args=" + std::to_string(pid) + " -NoCheck -noupdate -NoCheck -NoUpdate",
                  "switches=11", "cwd=" + fs::canonical(dir.path()).string(), "first_running=0"}));
    EXPECT_TRUE(fs::exists(dir / "Launcher"));
}

// A first process that does not end by itself is ended by the copy, with code 0, before the copy
// goes on. Its file is named temp.exe: only "Temp.exe" exactly is the copy.
TEST(SelfUpdater, TheCopyEndsAFirstProcessThatLingers) {
    TempDir dir;
    ::setenv("QUEND_FAKE_LINGER", "1", 1);
    platform::ProcessId pid = 0;
    const auto record = RunLauncher(dir, "temp.exe", {}, &pid);
    ::unsetenv("QUEND_FAKE_LINGER");
    ASSERT_EQ(record.size(), 4u);
    EXPECT_EQ(record[0], "args=" + std::to_string(pid));
    EXPECT_EQ(record[3], "first_running=0");
    EXPECT_EQ(Child(pid).Wait(), 0);
    EXPECT_TRUE(fs::exists(dir / "temp.exe"));
}

// Handed the id of a program from elsewhere, the copy leaves it alone.
TEST(SelfUpdater, TheCopyLeavesAnUnrelatedProcessAlone) {
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess("/bin/sleep", {"30"}, "", &pid));
    Child stranger(pid);
    TempDir dir;
    const auto record = RunLauncher(dir, "Temp.exe", {std::to_string(pid), "-NoUpdate"}, &pid);
    EXPECT_EQ(Child(pid).Wait(), 0);
    ASSERT_EQ(record.size(), 4u);
    EXPECT_EQ(record[0], "args=" + std::to_string(stranger.pid()) + " -NoUpdate");
    EXPECT_EQ(record[3], "first_running=1");
    EXPECT_TRUE(platform::IsProcessRunning(stranger.pid()));

    SelfUpdater updater([](int) { ADD_FAILURE() << "this process must not end"; });
    for (platform::ProcessId id : {stranger.pid(), 0, -1, platform::CurrentProcessId()})
        updater.EndProcessById(id);
    EXPECT_TRUE(platform::IsProcessRunning(stranger.pid()));
}

}  // namespace
