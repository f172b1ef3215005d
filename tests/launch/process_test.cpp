#include "platform/process.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "launch_test_util.h"

namespace {

using namespace quend::test;

TEST(Process, StartsAProgramInTheGivenFolderOrReportsWhyNot) {
    TempDir dir;
    const auto program = dir / "game" / "Qnd.exe";
    copyProgram(QUEND_FAKE_GAME, program);
    std::filesystem::create_directories(dir / "work");
    platform::ProcessId pid = 0;
    ASSERT_TRUE(
        platform::StartProcess(program.string(), {"a b", "", "-x"}, (dir / "work").string(), &pid));
    Child child(pid);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(readLines(program.string() + ".record"),
              (std::vector<std::string>{"cwd=" + std::filesystem::canonical(dir / "work").string(),
                                        "arg=a b", "arg=", "arg=-x"}));

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
    const std::string sleepPath = std::filesystem::canonical("/bin/sleep").string();
    ASSERT_TRUE(waitFor([&] { return platform::ProcessExePath(pid) == sleepPath; }));
    EXPECT_TRUE(platform::EndProcess(pid, std::chrono::milliseconds(200)));
    EXPECT_EQ(stubborn.Wait(), -SIGKILL);

    // 0 and -1 would name process groups.
    EXPECT_FALSE(platform::EndProcess(0));
    EXPECT_FALSE(platform::EndProcess(-1));
    EXPECT_FALSE(platform::EndProcess(platform::CurrentProcessId()));
}

}  // namespace
