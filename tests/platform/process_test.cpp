// Processes started and ended as the launcher does, with real programs.

#include "platform/process.h"

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/program_support.h"

namespace {

using namespace quend::test;
namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

TEST(Process, StartRunsTheProgramInTheGivenFolderOrFailsWithoutEither) {
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
}

// Ended but not yet collected by us, its parent: that counts as ended.
TEST(Process, EndWaitsUntilTheProcessHasEnded) {
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess("/bin/sleep", {"30"}, "", &pid));
    Child sleeper(pid);
    EXPECT_TRUE(platform::EndProcess(pid));
    EXPECT_FALSE(platform::IsProcessRunning(pid));
    EXPECT_FALSE(platform::EndProcess(pid)) << "nothing left to end";
    EXPECT_EQ(sleeper.Wait(), -SIGTERM);
    // Nor is any id that names no other process: 0 and -1 would name process groups.
    for (platform::ProcessId id : {0, -1, platform::CurrentProcessId()})
        EXPECT_FALSE(platform::EndProcess(id)) << id;
}

TEST(Process, EndKillsAProcessThatIgnoresTheRequest) {
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess("/bin/sh", {"-c", "trap '' TERM; exec sleep 30"}, "", &pid));
    Child stubborn(pid);
    ASSERT_TRUE(
        waitFor([&] { return platform::ProcessExePath(pid) == fs::canonical("/bin/sleep"); }));
    EXPECT_TRUE(platform::EndProcess(pid, std::chrono::milliseconds(200)));
    EXPECT_EQ(stubborn.Wait(), -SIGKILL);
}

}  // namespace
