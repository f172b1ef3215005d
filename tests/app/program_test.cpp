// The Launcher program itself, started as a process: it hands over to its temporary copy, a
// second start's copy is refused by the running one, and a lost connection ends the copy. Boxes
// go to a log file (QUEND_MESSAGE_LOG).

#include <sys/prctl.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devserver/launcher_server.h"
#include "installation.h"
#include "launch/launch_test_util.h"
#include "platform/process.h"
#include "test_install.h"

namespace {

using namespace quend::test;

constexpr auto kSlow = std::chrono::seconds(30);  // sanitizer builds start slowly

// Copies of the launcher are orphaned when their parent ends; this process collects them.
class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        ::setenv("QUEND_MESSAGE_LOG", m_log.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        copyProgram(QUEND_LAUNCHER, m_install.launcherDir / "Launcher");
    }
    ~ProgramTest() override {
        ::unsetenv("QUEND_MESSAGE_LOG");
        EndStrays();
        ReapAll(std::chrono::seconds(1));
    }

    // Launchers of this installation that a failed test left running.
    void EndStrays() {
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos)
                continue;
            const int pid = std::stoi(name);
            if (platform::ProcessExePath(pid).rfind(m_install.launcherDir.string(), 0) == 0)
                platform::EndProcess(pid, std::chrono::seconds(2));
        }
    }

    // Starts the program file and answers its exit code.
    int RunLauncher() {
        platform::ProcessId pid = 0;
        EXPECT_TRUE(platform::StartProcess((m_install.launcherDir / "Launcher").string(), {},
                                           m_install.launcherDir.string(), &pid));
        return Child(pid).Wait(kSlow);
    }

    // Exit codes of the orphans collected within `timeout`, stopping once `expected` are in.
    std::vector<int> ReapAll(std::chrono::milliseconds timeout, std::size_t expected = 0) {
        std::vector<int> codes;
        waitFor(
            [&] {
                int status = 0;
                pid_t pid = 0;
                while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0)
                    codes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
                return pid < 0 || (expected > 0 && codes.size() >= expected);
            },
            timeout);
        return codes;
    }

    std::vector<std::string> LogLines() {
        return std::filesystem::exists(m_log) ? readLines(m_log) : std::vector<std::string>{};
    }

    Installation m_install;
    std::string m_log = (m_install.locks.path() / "boxes.log").string();
};

TEST_F(ProgramTest, TheTemporaryCopyRunsAloneAndEndsWhenTheServerGoes) {
    std::mutex mutex;
    std::vector<std::string> served;
    devserver::CLauncherServer server(devserver::LauncherServerConfig{0, false, "", {}, {}},
                                      [&](const std::string& line) {
                                          std::lock_guard lock(mutex);
                                          served.push_back(line);
                                      });
    ASSERT_TRUE(server.Start());
    const auto requests = [&] {
        std::lock_guard lock(mutex);
        return std::count_if(served.begin(), served.end(), [](const std::string& line) {
            return line.find("request 40") != std::string::npos;
        });
    };
    m_install.WriteLauncherIni({{"TREE_SERVER", "127.0.0.1:" + std::to_string(server.Port())}});

    // The program file hands over to Temp.exe, which connects and asks for both lists.
    EXPECT_EQ(RunLauncher(), 0);
    ASSERT_TRUE(waitFor([&] { return requests() == 1; }, kSlow));
    EXPECT_TRUE(std::filesystem::exists(m_install.launcherDir / "Temp.exe"));

    // A second start hands over too, but its copy finds the first one running and gives up.
    EXPECT_EQ(RunLauncher(), 0);
    EXPECT_EQ(ReapAll(kSlow, 1), std::vector<int>{0});
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Temp\t不允许启动多个登录器"});
    EXPECT_EQ(requests(), 1);

    // The server goes: the copy says so and ends with 0, leaving its file behind.
    server.Stop();
    EXPECT_EQ(ReapAll(kSlow, 1), std::vector<int>{0});
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Temp\t不允许启动多个登录器",
                                                    std::string("Temp\t") + kDisconnected}));
    EXPECT_TRUE(std::filesystem::exists(m_install.launcherDir / "Temp.exe"));
}

}  // namespace
