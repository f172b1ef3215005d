// Self-update and the game's start on Windows terms, with real processes under the system (Wine
// here), in folders with non-ASCII names: the hand-over to Temp.exe, a copy the system keeps
// while it runs and that goes once the last process running it has ended, processes that are not
// the launcher's own left alone, and Bin\Qnd.exe started with its command line.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/text_table.h"
#include "launch/common_manager.h"
#include "launch/quendalor_manager.h"
#include "launch/self_updater.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "support/message_box_recorder.h"
#include "support/test_support.h"

namespace {

using namespace quend::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

Texts Lines(const fs::path& path) {
    std::istringstream in(readFile(path));
    Texts lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A record a child renamed into place, once this process can open it: under Wine the name can
// be there a moment before a reader may open the file.
bool RecordReady(const fs::path& path) {
    return fs::exists(path) && std::ifstream(path, std::ios::binary).is_open();
}

void CopyProgram(const fs::path& source, const fs::path& target) {
    fs::create_directories(target.parent_path());
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
}

// A process that is not the launcher's: it holds a file of its own for a minute.
class Stranger final {
public:
    explicit Stranger(const fs::path& folder) {
        writeFile(folder / "stranger.dat", "x");
        platform::StartProcess(QUEND_FILE_HOLDER,
                               {platform::PathUtf8(folder / "stranger.dat"),
                                platform::PathUtf8(folder / "stranger.ready")},
                               "", &m_pid);
        waitFor([&] { return fs::exists(folder / "stranger.ready"); }, 20s);
    }
    ~Stranger() { platform::EndProcess(m_pid, 0ms); }
    Stranger(const Stranger&) = delete;
    Stranger& operator=(const Stranger&) = delete;
    platform::ProcessId Pid() const { return m_pid; }

private:
    platform::ProcessId m_pid = 0;
};

class SelfUpdaterWin32Test : public ::testing::Test {
protected:
    void SetUp() override { CopyProgram(QUEND_FAKE_LAUNCHER, m_dir / "Launcher.exe"); }
    void TearDown() override { unsetEnv("QUEND_FAKE_STAY"); }

    platform::ProcessId Start(const std::vector<std::string>& args) {
        platform::ProcessId pid = 0;
        EXPECT_TRUE(platform::StartProcess(platform::PathUtf8(m_dir / "Launcher.exe"), args,
                                           platform::PathUtf8(m_elsewhere.path()), &pid));
        return pid;
    }
    bool CopyGone() {
        return waitFor(
            [&] { return !fs::exists(m_dir / "Temp.exe") && !fs::exists(m_dir / "del.bat"); }, 20s);
    }

    TempDir m_root;
    const fs::path m_dir = m_root / "游戏 Quendalor" / "Launcher";
    TempDir m_elsewhere;
};

// The first process replaces a stale Temp.exe and hands over to it, started in the launcher's
// folder with its id and switches; the id of a process that is not the launcher's own is ignored.
// At its end the copy, whose file the system keeps while it runs, leaves a batch that deletes it
// and then itself.
TEST_F(SelfUpdaterWin32Test, TheLauncherHandsOverToATemporaryCopyThatGoesAtItsEnd) {
    Stranger stranger(m_elsewhere.path());
    ASSERT_TRUE(platform::IsProcessRunning(stranger.Pid()));
    writeFile(m_dir / "Temp.exe", "a stale copy that no process runs");
    const platform::ProcessId first =
        Start({std::to_string(stranger.Pid()), "-NoCheck", "-x", "-noupdate"});
    ASSERT_TRUE(waitFor([&] { return RecordReady(m_dir / "record.txt"); }, 20s));
    EXPECT_EQ(Lines(m_dir / "record.txt"),
              (Texts{"args=" + std::to_string(first) + " -NoCheck -x -noupdate -NoCheck -NoUpdate",
                     "switches=11", "cwd=" + platform::PathUtf8(m_dir), "first_running=0"}));
    EXPECT_TRUE(CopyGone());
    EXPECT_TRUE(fs::exists(m_dir / "Launcher.exe"));
    EXPECT_TRUE(platform::IsProcessRunning(stranger.Pid()));

    // Started with the stranger's id as the copy, it is still left alone.
    launch::SelfUpdater updater([](int) {});
    updater.EndProcessById(stranger.Pid());
    EXPECT_TRUE(platform::IsProcessRunning(stranger.Pid()));
}

// A second launcher finds Temp.exe running and starts it once more instead of replacing it; the
// first copy to end leaves the file to the other, the last one removes it.
TEST_F(SelfUpdaterWin32Test, CopiesRunningFromOneFileLeaveItToTheLastOfThem) {
    setEnv("QUEND_FAKE_STAY", "1");
    // Starts a launcher and answers the id of the copy it handed over to.
    const auto start = [&](platform::ProcessId running) {
        platform::ProcessId copy = 0;
        Start({});
        EXPECT_TRUE(waitFor(
            [&] {
                for (const auto& entry : fs::directory_iterator(m_dir)) {
                    const std::string name = entry.path().filename().string();
                    if (name.starts_with("stay.") && std::stoi(name.substr(5)) != running)
                        copy = std::stoi(name.substr(5));
                }
                return copy != 0;
            },
            20s));
        return copy;
    };
    const auto end = [&](platform::ProcessId copy) {
        fs::remove(m_dir / ("stay." + std::to_string(copy)));
        EXPECT_TRUE(waitFor([&] { return !platform::IsProcessRunning(copy); }, 20s));
    };
    const platform::ProcessId first = start(0);
    // Started without arguments, the copy is given the first launcher's id and one blank.
    const std::string line = readFile(m_dir / "line.txt");
    EXPECT_TRUE(line.size() > 1 && line.back() == ' ' &&
                line.find_first_not_of("0123456789") == line.size() - 1)
        << line;
    const platform::ProcessId second = start(first);
    EXPECT_EQ(platform::ProcessExePath(second), platform::ProcessExePath(first));
    end(first);
    EXPECT_TRUE(fs::exists(m_dir / "Temp.exe"));
    EXPECT_FALSE(fs::exists(m_dir / "del.bat"));
    end(second);
    EXPECT_TRUE(CopyGone());
    EXPECT_TRUE(fs::exists(m_dir / "Launcher.exe"));
}

// Enters a folder and returns to the former working folder at the end.
class WorkingFolder final {
public:
    explicit WorkingFolder(const fs::path& folder) : m_saved(fs::current_path()) {
        fs::current_path(folder);
    }
    ~WorkingFolder() { fs::current_path(m_saved); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    fs::path m_saved;
};

// The game folder is the parent of the launcher's working folder; Bin\Qnd.ini, read-only before,
// gets the server and Bin\Qnd.exe starts with the session in the launcher's working folder.
TEST(QuendalorManagerWin32, TheGameStartsFromItsFolderWithTheSession) {
    TempDir root;
    const fs::path game = root / "游戏 Quendalor";
    fs::create_directories(game / "Launcher");
    CopyProgram(QUEND_FAKE_GAME, game / "Bin" / "Qnd.exe");
    writeFile(game / "Bin" / "Qnd.ini", "[QuendalorUI.Game_Login]\r\nServerHost=1.1.1.1\r\n");
    ASSERT_TRUE(::SetFileAttributesW((game / "Bin" / "Qnd.ini").c_str(), FILE_ATTRIBUTE_READONLY));
    config::SetTextFile(platform::PathUtf8(root / "Launcher.none"));
    MessageBoxRecorder shown;

    const WorkingFolder inLauncher(game / "Launcher");
    const std::string gameDir = launch::CCommonManager().GameDir();
    EXPECT_EQ(gameDir, platform::PathUtf8(game) + "\\");
    protocol::GameRecord record;
    protocol::ServerGroup group;
    group.servers = {{{{0x0A000001, 80}}, 1, 10}};
    launch::CQuendalorManager manager([](int) { ADD_FAILURE() << "the launcher was ended"; });
    ASSERT_EQ(manager.CheckSelection(
                  {nullptr, &record, &group, &group.servers[0], &group.servers[0].endpoints[0]},
                  "http://127.0.0.1/"),
              1);
    // A wine on the PATH is nothing to a system that runs the game itself.
    CopyProgram(QUEND_FAKE_GAME, root / "tools" / "wine.exe");
    const char* path = std::getenv("PATH");
    const std::string savedPath = path != nullptr ? path : "";
    setEnv("PATH", platform::PathUtf8(root / "tools") + ";" + savedPath);
    EXPECT_EQ(manager.LaunchGame(gameDir, "abc", "k1", "0"), 1);
    setEnv("PATH", savedPath);
    EXPECT_EQ(shown.texts(), Texts{});
    EXPECT_EQ(readFile(game / "Bin" / "Qnd.ini"),
              "[QuendalorUI.Game_Login]\r\nServerHost=10.0.0.1\r\nServerPort=80\r\n"
              "[QuendalorUI.QuendalorGame]\r\nServerSetInfo=10.0.0.1:80\r\n");
    ASSERT_TRUE(waitFor([&] { return RecordReady(game / "Bin" / "Qnd.exe.record"); }, 20s));
    EXPECT_EQ(Lines(game / "Bin" / "Qnd.exe.record"),
              (Texts{"cwd=" + platform::PathUtf8(game / "Launcher"), "arg=USERID=abc",
                     "arg=USERKEY=k1", "arg=UNDERAGE=0", "arg=-LauncherPassed", "arg=-pzqmvt"}));
    // The game reads the text as it is: no quoting, the closing blank kept.
    EXPECT_EQ(readFile(game / "Bin" / "Qnd.exe.line"),
              "USERID=abc USERKEY=k1 UNDERAGE=0 -LauncherPassed -pzqmvt ");
    EXPECT_FALSE(fs::exists(root / "tools" / "wine.exe.record"));
}

}  // namespace
