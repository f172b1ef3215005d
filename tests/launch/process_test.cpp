#include "platform/process.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launch_test_util.h"

namespace {

using namespace quend::test;
using namespace std::chrono_literals;

std::string canonicalText(const std::filesystem::path& path) {
    return std::filesystem::canonical(path).string();
}

TEST(Process, StartsAProgramWithItsArgumentsInTheGivenFolder) {
    TempDir dir;
    const auto program = dir / "game" / "Qnd.exe";
    copyProgram(QUEND_FAKE_GAME, program);
    std::filesystem::create_directories(dir / "work");

    platform::ProcessId pid = 0;
    ASSERT_TRUE(
        platform::StartProcess(program.string(), {"a b", "", "-x"}, (dir / "work").string(), &pid));
    Child child(pid);
    const int status = child.Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readLines(program.string() + ".record"),
              (std::vector<std::string>{"cwd=" + canonicalText(dir / "work"), "arg=a b",
                                        "arg=", "arg=-x"}));

    // Nothing starts when the program is missing or not runnable, or the folder is missing.
    EXPECT_FALSE(platform::StartProcess((dir / "missing").string(), {}, ""));
    EXPECT_FALSE(platform::StartProcess(program.string(), {}, (dir / "no-folder").string()));
    writeFile(dir / "plain.exe", "MZ not a program here");
    ::chmod((dir / "plain.exe").c_str(), 0755);
    EXPECT_FALSE(platform::StartProcess((dir / "plain.exe").string(), {}, ""));
    ::chmod((dir / "plain.exe").c_str(), 0644);
    EXPECT_FALSE(platform::StartProcess((dir / "plain.exe").string(), {}, ""));
}

TEST(Process, EndingAProcessWaitsForItsEndAndKillsOneThatIgnoresTheRequest) {
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess("/bin/sleep", {"30"}, "", &pid));
    Child sleeper(pid);
    EXPECT_EQ(platform::ProcessExePath(pid), canonicalText("/bin/sleep"));
    EXPECT_TRUE(platform::IsProcessRunning(pid));
    EXPECT_TRUE(platform::EndProcess(pid));
    // Ended but not yet collected by us, its parent: that counts as ended.
    EXPECT_FALSE(platform::IsProcessRunning(pid));
    EXPECT_FALSE(platform::EndProcess(pid)) << "nothing left to end";
    const int status = sleeper.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);

    ASSERT_TRUE(platform::StartProcess("/bin/sh", {"-c", "trap '' TERM; exec sleep 30"}, "", &pid));
    Child stubborn(pid);
    ASSERT_TRUE(
        waitFor([&] { return platform::ProcessExePath(pid) == canonicalText("/bin/sleep"); }));
    EXPECT_TRUE(platform::EndProcess(pid, 200ms));
    const int killed = stubborn.Wait();
    EXPECT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGKILL);
}

TEST(Process, IdsThatNameNoSingleOtherProcessAreRefused) {
    EXPECT_FALSE(platform::EndProcess(0));
    EXPECT_FALSE(platform::EndProcess(-1));
    EXPECT_FALSE(platform::EndProcess(platform::CurrentProcessId()));
    EXPECT_FALSE(platform::IsProcessRunning(0));
    EXPECT_TRUE(platform::IsProcessRunning(platform::CurrentProcessId()));
    EXPECT_EQ(platform::ProcessExePath(platform::CurrentProcessId()), platform::OwnExePath());
    EXPECT_EQ(platform::ProcessExePath(0), "");
}

TEST(Process, FindsRunnableProgramsOnThePath) {
    TempDir dir;
    copyProgram(QUEND_FAKE_GAME, dir / "one" / "tool");
    writeFile(dir / "two" / "other", "#!/bin/sh\n");
    ::chmod((dir / "two" / "other").c_str(), 0644);
    const std::string saved = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    const std::string path = (dir / "two").string() + ":" + (dir / "one").string();
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(platform::FindOnPath("tool"), (dir / "one" / "tool").string());
    EXPECT_EQ(platform::FindOnPath("other"), "") << "not runnable";
    EXPECT_EQ(platform::FindOnPath("missing"), "");
    ::setenv("PATH", saved.c_str(), 1);
}

TEST(Process, CommandLinesSplitAtBlanksWithoutQuoting) {
    EXPECT_EQ(platform::SplitCommandLine("USERID=a\"b  USERKEY=\t-x "),
              (std::vector<std::string>{"USERID=a\"b", "USERKEY=", "-x"}));
    EXPECT_TRUE(platform::SplitCommandLine("  ").empty());
    const char* argv[] = {"prog", "1234", "-NoCheck"};
    EXPECT_EQ(platform::JoinArguments(3, argv), "1234 -NoCheck");
}

}  // namespace
