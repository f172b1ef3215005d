// Runs the built quend-pack program as a process: the exit status a publishing script sees.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace {

using quend::test::readFile;
using quend::test::TempDir;
using quend::test::writeFile;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

Outcome RunPack(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), QUEND_PACK_PROGRAM);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string outPath = (dir / "stdout").string();
    const std::string errPath = (dir / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    Outcome outcome;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int wstatus = 0;
    if (spawned == 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus))
        outcome.status = WEXITSTATUS(wstatus);
    outcome.out = readFile(outPath);
    outcome.err = readFile(errPath);
    return outcome;
}

TEST(PackProgramTest, ExitStatusTellsUsageErrorsFromFailures) {
    TempDir dir;
    Outcome encoded = RunPack(dir, {"encode", "中A"});
    EXPECT_EQ(encoded.status, 0);
    EXPECT_EQ(encoded.out, "6D0D14\n");
    EXPECT_EQ(RunPack(dir, {"encode", "--raw", "\xD6\xD0"}).out, "6D0D\n");

    EXPECT_EQ(RunPack(dir, {}).status, 1);
    EXPECT_EQ(RunPack(dir, {"checksums", dir.dir(), "--out", dir.dir(), "--version", "1.2"}).status,
              1);

    const std::string missing = (dir / "missing-game").string();
    Outcome failed = RunPack(dir, {"checksums", missing, "--out", dir.dir()});
    EXPECT_EQ(failed.status, 2);
    EXPECT_NE(failed.err.find(missing), std::string::npos) << failed.err;

    writeFile(dir / "game/Bin/Qnd.exe", "game");
    EXPECT_EQ(RunPack(dir, {"checksums", (dir / "game").string(), "--out", (dir / "out").string(),
                            "--version", "1.0.0", "--exclude", "none"})
                  .status,
              0);
    EXPECT_NE(readFile(dir / "out/checksum_1_0_0.md5").find("Bin\\Qnd.exe|0|"), std::string::npos);
}

}  // namespace
