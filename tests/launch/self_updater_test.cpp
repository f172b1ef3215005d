#include "launch/self_updater.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "launch_test_util.h"

namespace {

using namespace quend::test;

constexpr auto kCopyTimeout = std::chrono::seconds(20);  // sanitizer builds start slowly

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
        EXPECT_EQ(updater.Args(), c.args) << c.arguments;
        EXPECT_EQ(updater.NoCheck(), c.noCheck) << c.arguments;
        EXPECT_EQ(updater.NoUpdate(), c.noUpdate) << c.arguments;
    }
}

// Runs the stand-in launcher as `name` in a fresh folder and answers the copy's record once the
// copy has removed its file; `first` gets the first process.
std::map<std::string, std::string> RunLauncher(const TempDir& dir, const std::string& name,
                                               const std::vector<std::string>& args,
                                               platform::ProcessId* first) {
    copyProgram(QUEND_FAKE_LAUNCHER, dir / name);
    TempDir elsewhere;
    EXPECT_TRUE(platform::StartProcess((dir / name).string(), args, elsewhere.path(), first));
    EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(dir / "record.txt"); }, kCopyTimeout));
    EXPECT_TRUE(waitFor([&] { return !std::filesystem::exists(dir / "Temp.exe"); }, kCopyTimeout));
    return readRecord(dir / "record.txt");
}

TEST(SelfUpdater, TheLauncherHandsOverToATemporaryCopyThatRemovesItself) {
    TempDir dir;
    platform::ProcessId pid = 0;
    auto record = RunLauncher(dir, "Launcher", {"-NoCheck", "-noupdate"}, &pid);
    EXPECT_EQ(Child(pid).Wait(), 0);
    EXPECT_EQ(record["args"], std::to_string(pid) + " -NoCheck -noupdate -NoCheck -NoUpdate");
    EXPECT_EQ(record["nocheck"] + record["noupdate"], "11");
    EXPECT_EQ(record["cwd"], std::filesystem::canonical(dir.path()).string());
    EXPECT_EQ(record["first_running"], "0");
    EXPECT_TRUE(std::filesystem::exists(dir / "Launcher"));
}

// A first process that does not end by itself is ended by the copy, with code 0, before the copy
// goes on. Its file is named temp.exe: only "Temp.exe" exactly is the copy.
TEST(SelfUpdater, TheCopyEndsAFirstProcessThatLingers) {
    TempDir dir;
    ::setenv("QUEND_FAKE_LINGER", "1", 1);
    platform::ProcessId pid = 0;
    auto record = RunLauncher(dir, "temp.exe", {}, &pid);
    ::unsetenv("QUEND_FAKE_LINGER");
    EXPECT_EQ(record["args"], std::to_string(pid));
    EXPECT_EQ(record["first_running"], "0");
    EXPECT_EQ(Child(pid).Wait(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "temp.exe"));
}

// Handed the id of a program from elsewhere, the copy leaves it alone.
TEST(SelfUpdater, TheCopyLeavesAnUnrelatedProcessAlone) {
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess("/bin/sleep", {"30"}, "", &pid));
    Child stranger(pid);
    TempDir dir;
    auto record = RunLauncher(dir, "Temp.exe", {std::to_string(pid), "-NoUpdate"}, &pid);
    EXPECT_EQ(Child(pid).Wait(), 0);
    EXPECT_EQ(record["args"], std::to_string(stranger.pid()) + " -NoUpdate");
    EXPECT_EQ(record["first_running"], "1");
    EXPECT_TRUE(platform::IsProcessRunning(stranger.pid()));

    SelfUpdater updater([](int) { ADD_FAILURE() << "this process must not end"; });
    for (platform::ProcessId id : {stranger.pid(), 0, -1, platform::CurrentProcessId()})
        updater.EndProcessById(id);
    EXPECT_TRUE(platform::IsProcessRunning(stranger.pid()));
}

}  // namespace
