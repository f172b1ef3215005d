#include "launch/self_updater.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "launch_test_util.h"

namespace {

using namespace quend::test;
using namespace std::chrono_literals;

// The copy runs with sanitizers in some builds; give it room.
constexpr auto kCopyTimeout = 20s;

TEST(SelfUpdater, CommandLinesSplitIntoProcessIdAndSwitches) {
    struct Case {
        const char* arguments;
        const char* head;
        const char* args;
        bool noCheck;
        bool noUpdate;
    };
    const Case cases[] = {
        {"1234 -NoCheck", "1234 ", "-NoCheck", true, false},
        {"-nocheck -NOUPDATE", "", "-nocheck -NOUPDATE", true, true},
        {"1234", "1234", "", false, false},
        {"abc -NoCheck", "abc ", "-NoCheck", true, false},
        {"1 -NoChecks -x-NoUpdate  -NoUpdate", "1 ", "-NoChecks -x-NoUpdate  -NoUpdate", false,
         true},
        {"", "", "", false, false},
    };
    for (const Case& c : cases) {
        SelfUpdater updater;
        EXPECT_EQ(updater.ParseCommandLine(c.arguments), c.head) << c.arguments;
        EXPECT_EQ(updater.Args(), c.args) << c.arguments;
        EXPECT_EQ(updater.NoCheck(), c.noCheck) << c.arguments;
        EXPECT_EQ(updater.NoUpdate(), c.noUpdate) << c.arguments;
    }
}

TEST(SelfUpdater, OnlyALauncherFromOurOwnFolderIsEnded) {
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess("/bin/sleep", {"30"}, "", &pid));
    Child stranger(pid);
    // The stand-in game is built beside this test, so it counts as one of ours.
    ASSERT_TRUE(platform::StartProcess(QUEND_FAKE_GAME, {"--linger"}, "", &pid));
    Child ours(pid);
    ASSERT_TRUE(waitFor([&] { return platform::ProcessExePath(pid) != ""; }));

    bool exited = false;
    SelfUpdater updater([&](int) { exited = true; });
    updater.EndProcessById(stranger.pid());
    updater.EndProcessById(0);
    updater.EndProcessById(-1);
    updater.EndProcessById(platform::CurrentProcessId());
    EXPECT_FALSE(exited);
    EXPECT_TRUE(platform::IsProcessRunning(stranger.pid()));

    updater.EndProcessById(ours.pid());
    EXPECT_FALSE(platform::IsProcessRunning(ours.pid())) << "ended before the call returned";
    const int status = ours.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);

    EXPECT_FALSE(updater.IsRunningAs("Temp.exe"));
    EXPECT_TRUE(
        updater.IsRunningAs(std::filesystem::path(platform::OwnExePath()).filename().string()));
}

// The launcher under its own name hands over to Temp.exe with the same switches, in its own
// folder, and the copy cleans up after itself.
TEST(SelfUpdater, TheLauncherHandsOverToATemporaryCopyThatRemovesItself) {
    TempDir dir;
    copyProgram(QUEND_FAKE_LAUNCHER, dir / "Launcher");
    TempDir elsewhere;
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess((dir / "Launcher").string(), {"-NoCheck", "-noupdate"},
                                       elsewhere.path().string(), &pid));
    Child first(pid);
    const int status = first.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir / "record.txt"); }, kCopyTimeout));
    auto record = readRecord(dir / "record.txt");
    EXPECT_EQ(record["args"], std::to_string(pid) + " -NoCheck -noupdate -NoCheck -NoUpdate");
    EXPECT_EQ(record["nocheck"], "1");
    EXPECT_EQ(record["noupdate"], "1");
    EXPECT_EQ(record["cwd"], std::filesystem::canonical(dir.path()).string());
    EXPECT_EQ(record["first_running"], "0");
    EXPECT_TRUE(waitFor([&] { return !std::filesystem::exists(dir / "Temp.exe"); }, kCopyTimeout));
    EXPECT_TRUE(std::filesystem::exists(dir / "Launcher"));
}

// A first process that does not end by itself is ended by the copy, with code 0, before the copy
// goes on. Its file is named temp.exe: only "Temp.exe" exactly is the copy.
TEST(SelfUpdater, TheCopyEndsAFirstProcessThatLingers) {
    TempDir dir;
    copyProgram(QUEND_FAKE_LAUNCHER, dir / "temp.exe");
    ::setenv("QUEND_FAKE_LINGER", "1", 1);
    platform::ProcessId pid = 0;
    const bool started = platform::StartProcess((dir / "temp.exe").string(), {}, "", &pid);
    ::unsetenv("QUEND_FAKE_LINGER");
    ASSERT_TRUE(started);
    Child first(pid);
    const int status = first.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir / "record.txt"); }, kCopyTimeout));
    auto record = readRecord(dir / "record.txt");
    EXPECT_EQ(record["args"], std::to_string(pid));
    EXPECT_EQ(record["first_running"], "0");
    EXPECT_TRUE(waitFor([&] { return !std::filesystem::exists(dir / "Temp.exe"); }, kCopyTimeout));
    EXPECT_TRUE(std::filesystem::exists(dir / "temp.exe"));
}

// A copy handed the id of some other program leaves it alone.
TEST(SelfUpdater, TheCopyLeavesAnUnrelatedProcessAlone) {
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess("/bin/sleep", {"30"}, "", &pid));
    Child stranger(pid);
    TempDir dir;
    copyProgram(QUEND_FAKE_LAUNCHER, dir / "Temp.exe");
    ASSERT_TRUE(platform::StartProcess((dir / "Temp.exe").string(),
                                       {std::to_string(pid), "-NoUpdate"}, "", &pid));
    Child copy(pid);
    const int status = copy.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    auto record = readRecord(dir / "record.txt");
    EXPECT_EQ(record["args"], std::to_string(stranger.pid()) + " -NoUpdate");
    EXPECT_EQ(record["noupdate"], "1");
    EXPECT_EQ(record["first_running"], "1");
    EXPECT_TRUE(platform::IsProcessRunning(stranger.pid()));
    EXPECT_FALSE(std::filesystem::exists(dir / "Temp.exe"));
}

}  // namespace
