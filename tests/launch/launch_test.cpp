// Self-update through a Temp.exe copy and the game start (Bin\Qnd.ini rewritten in its three keys
// only, the stand-in game or wine started with the session), with real programs and folders.

#include <sys/stat.h>

#include <cstdlib>
#include <tuple>

#include <gtest/gtest.h>

#include "config/text_table.h"
#include "launch/quendalor_manager.h"
#include "launch/self_updater.h"
#include "platform/process.h"
#include "support/message_box_recorder.h"
#include "support/program_support.h"

namespace {

using namespace quend::test;
using launch::CQuendalorManager;
using launch::SelfUpdater;
using launch::ServerSelection;
namespace fs = std::filesystem;
using protocol::Endpoint;
using protocol::ServerEntry;
using Texts = std::vector<std::string>;
const std::string kWait = "[?General.WaitForSafeService?]";
constexpr std::chrono::seconds kSlow(20);  // sanitizer builds start programs slowly

TEST(SelfUpdater, CommandLinesSplitIntoProcessIdAndSwitches) {
    // The command line, the text before its first "-", the rest, -NoCheck, -NoUpdate.
    using Split = std::tuple<std::string, std::string, bool, bool>;
    const std::pair<const char*, Split> cases[] = {
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

// The copy runs in its own folder with the first process's id and the switches, after the first
// process has ended: by itself, or, when it lingers, by the copy's request (with code 0); then the
// copy removes its own file and the program file stays. Only "Temp.exe" exactly is the copy, and
// the id of a program from elsewhere on the command line is left alone.
TEST(SelfUpdater, TheLauncherHandsOverToATemporaryCopy) {
    platform::ProcessId strangerId = 0;
    ASSERT_TRUE(platform::StartProcess("/bin/sleep", {"30"}, "", &strangerId));
    Child stranger(strangerId);
    const std::string longName(250, 'L');  // a program path over 256 characters
    // The program's name, its arguments, whether it lingers, what the copy gets after the id.
    const std::tuple<std::string, Texts, bool, std::string> runs[] = {
        {longName, {"-NoCheck", "-noupdate"}, false, " -NoCheck -noupdate -NoCheck -NoUpdate"},
        {"temp.exe", {std::to_string(strangerId), "-x"}, true, " -x"}};
    for (const auto& [name, args, linger, handed] : runs) {
        TempDir dir, elsewhere;
        copyProgram(QUEND_FAKE_LAUNCHER, dir / name);
        linger ? ::setenv("QUEND_FAKE_LINGER", "1", 1) : ::unsetenv("QUEND_FAKE_LINGER");
        platform::ProcessId pid = 0;
        EXPECT_TRUE(platform::StartProcess((dir / name).string(), args, elsewhere.path(), &pid));
        EXPECT_TRUE(
            waitFor([&] { return fs::exists(dir / "record.txt") && !fs::exists(dir / "Temp.exe"); },
                    kSlow));
        EXPECT_EQ(Child(pid).Wait(), 0) << name;
        EXPECT_EQ(
            readLines(dir / "record.txt"),
            (Texts{"args=" + std::to_string(pid) + handed, linger ? "switches=00" : "switches=11",
                   "cwd=" + fs::canonical(dir.path()).string(), "first_running=0"}));
        EXPECT_TRUE(fs::exists(dir / name));
    }
    ::unsetenv("QUEND_FAKE_LINGER");

    SelfUpdater updater([](int) { ADD_FAILURE() << "this process must not end"; });
    for (platform::ProcessId id : {strangerId, 0, -1, platform::CurrentProcessId()})
        updater.EndProcessById(id);
    EXPECT_TRUE(platform::IsProcessRunning(strangerId));
}

// A copy that cannot be made and started ends the launcher with a message naming it, not
// silently.
TEST(SelfUpdater, ACopyThatCannotStartIsNamed) {
    TempDir dir;
    copyProgram(QUEND_FAKE_LAUNCHER, dir / "Launcher");
    fs::create_directories(dir / "Temp.exe" / "in the way");
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess((dir / "Launcher").string(), {}, "", &pid));
    EXPECT_EQ(Child(pid).Wait(), 3);
    const Texts message = readLines(dir / "message.txt");
    ASSERT_EQ(message.size(), 1u);
    EXPECT_NE(message[0].find((fs::canonical(dir.path()) / "Temp.exe").string()), std::string::npos)
        << message[0];
    EXPECT_FALSE(fs::exists(dir / "record.txt"));
}

// The file's inode; 0 when there is none.
ino_t InodeOf(const fs::path& path) {
    struct stat file {};
    return ::stat(path.c_str(), &file) == 0 ? file.st_ino : 0;
}

// A second start while a copy runs reruns that file, which goes with the last copy to end.
TEST(SelfUpdater, CopiesRunningFromOneFileLeaveItToTheLastOfThem) {
    ::setenv("QUEND_FAKE_STAY", "1", 1);
    TempDir dir;
    copyProgram(QUEND_FAKE_LAUNCHER, dir / "Launcher");
    // Starts the launcher; answers the id of its copy once that runs, beside `running`.
    const auto start = [&](platform::ProcessId running) {
        platform::ProcessId pid = 0, copy = 0;
        EXPECT_TRUE(platform::StartProcess((dir / "Launcher").string(), {}, "", &pid));
        EXPECT_EQ(Child(pid).Wait(), 0);
        EXPECT_TRUE(waitFor(
            [&] {
                for (const auto& entry : fs::directory_iterator(dir.path())) {
                    const std::string name = entry.path().filename().string();
                    if (name.starts_with("stay.") && std::stoi(name.substr(5)) != running)
                        copy = std::stoi(name.substr(5));
                }
                return copy != 0;
            },
            kSlow));
        return copy;
    };
    const auto end = [&](platform::ProcessId copy) {
        fs::remove(dir / ("stay." + std::to_string(copy)));
        EXPECT_TRUE(waitFor([&] { return !platform::IsProcessRunning(copy); }, kSlow));
    };

    const platform::ProcessId first = start(0);
    const ino_t file = InodeOf(dir / "Temp.exe");
    ASSERT_NE(file, 0u);
    const platform::ProcessId second = start(first);
    EXPECT_EQ(InodeOf(dir / "Temp.exe"), file);
    EXPECT_EQ(InodeOf("/proc/" + std::to_string(second) + "/exe"), file);
    end(first);
    EXPECT_EQ(InodeOf(dir / "Temp.exe"), file);
    end(second);
    EXPECT_FALSE(fs::exists(dir / "Temp.exe"));
    EXPECT_TRUE(fs::exists(dir / "Launcher"));
    ::unsetenv("QUEND_FAKE_STAY");
}

// A game folder with the stand-in game as Bin/Qnd.exe, and a group of an enabled server, one
// without addresses and a disabled one.
class QuendalorManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUEND_CODEPAGE", "GBK", 1);
        config::SetTextFile((m_dir / "Launcher.none").string());  // messages show their keys
        copyProgram(QUEND_FAKE_GAME, m_dir / "Bin" / "Qnd.exe");
    }
    void TearDown() override { reapChildren(); }

    std::string GameDir() const { return fs::canonical(m_dir.path()).string() + "/"; }

    // The group's server and its first address, as a tree hands them out.
    ServerSelection Select(std::size_t server) {
        const ServerEntry& entry = m_group.servers[server];
        return {nullptr, &m_game, &m_group, &entry,
                entry.endpoints.empty() ? nullptr : &entry.endpoints[0]};
    }
    int Check(std::size_t server) { return m_manager.CheckSelection(Select(server), m_updateUrl); }
    int Launch(const std::string& id, const std::string& key, const std::string& underage) {
        return m_manager.LaunchGame(GameDir(), id, key, underage);
    }

    TempDir m_dir;
    std::string m_ini = (m_dir / "Bin" / "Qnd.ini").string();
    fs::path m_gameRecord = m_dir / "Bin" / "Qnd.exe.record";
    std::string m_updateUrl = "http://127.0.0.1/";
    protocol::GameRecord m_game;
    protocol::ServerGroup m_group{
        "", "", "", {{{{0x0A000001, 80}}, 1, 10}, {{}, 1, 20}, {{{0xC0A8FFFE, 65535}}, 0, 30}}};
    std::vector<int> m_exitCodes;
    CQuendalorManager m_manager{[this](int code) { m_exitCodes.push_back(code); }};
    MessageBoxRecorder m_shown;
};

// A disabled server is refused with nothing written or started, and a failed write ends the
// launcher without starting the game. (The selection check's messages are shown with the
// launcher's controller.)
TEST_F(QuendalorManagerTest, RefusalsShowTheirMessagesAndWriteNothing) {
    writeFile(m_ini, "[QuendalorUI.Game_Login]\nServerHost=1.1.1.1\n");
    ASSERT_EQ(Check(2), 1);
    EXPECT_EQ(Launch("abc", "k1", "0"), 0);
    EXPECT_EQ(m_shown.take(), Texts{"[?Error.GameServerNotFound?]\n" + kWait});
    EXPECT_EQ(readFile(m_ini), "[QuendalorUI.Game_Login]\nServerHost=1.1.1.1\n");
    EXPECT_FALSE(fs::exists(m_gameRecord));

    fs::remove_all(m_dir / "Bin");
    ASSERT_EQ(Check(0), 1);
    EXPECT_EQ(Launch("abc", "k1", "0"), 0);
    EXPECT_EQ(m_shown.take(), Texts{"[?General.FailSaveConfig?]"});
    EXPECT_EQ(m_exitCodes, std::vector<int>{0});
}

// A server without addresses adds nothing to the group's list; the disabled one still counts.
TEST_F(QuendalorManagerTest, OnlyTheThreeKeysOfAReadOnlyIniChange) {
    const char before[] =
        "; game settings\r\n[QuendalorUI.Game_Login]\r\nUserName=keep me\r\nServerHost=1.1.1.1\r\n"
        "ServerPort = 1\r\n\r\n[Graphics]\r\nWidth=1024\r\n[QuendalorUI.QuendalorGame]\r\n"
        "ServerSetInfo=old\r\nVolume=7\r\n";
    writeFile(m_ini, before);
    ASSERT_EQ(::chmod(m_ini.c_str(), 0444), 0);
    ASSERT_EQ(Check(0), 1);
    EXPECT_EQ(Launch("abc", "k1", "0"), 1);
    EXPECT_EQ(m_shown.texts(), Texts{});
    EXPECT_EQ(
        readFile(m_ini),
        "; game settings\r\n[QuendalorUI.Game_Login]\r\nUserName=keep me\r\nServerHost=10.0.0.1\r\n"
        "ServerPort = 80\r\n\r\n[Graphics]\r\nWidth=1024\r\n[QuendalorUI.QuendalorGame]\r\n"
        "ServerSetInfo=10.0.0.1:80|192.168.255.254:65535\r\nVolume=7\r\n");
    EXPECT_NE(fs::status(m_ini).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_TRUE(waitFor([&] { return fs::exists(m_gameRecord); }));
}

// A Windows game goes through wine when there is one; without it the start fails after the
// settings were written. The missing ini is created; a group without addresses writes an empty
// list; the session's values are split at blanks.
TEST_F(QuendalorManagerTest, AWindowsGameStartsThroughWine) {
    writeFile(m_dir / "Bin" / "Qnd.exe", std::string("MZ\x90\0\x03", 5));
    const Endpoint elsewhere{0xAC100009, 65535};
    for (ServerEntry& server : m_group.servers)
        server.endpoints.clear();
    ServerSelection selection = Select(0);
    selection.endpoint = &elsewhere;
    TempDir tools;
    const std::string savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", tools.path().c_str(), 1);
    ASSERT_EQ(m_manager.CheckSelection(selection, m_updateUrl), 1);
    EXPECT_EQ(Launch("", "key with blank", "1"), 1);
    EXPECT_EQ(m_shown.take(), Texts{"[?Error.FailExecuteProgram?]"});
    EXPECT_EQ(readFile(m_ini),
              "[QuendalorUI.Game_Login]\r\nServerHost=172.16.0.9\r\n"
              "ServerPort=65535\r\n[QuendalorUI.QuendalorGame]\r\nServerSetInfo=\r\n");

    copyProgram(QUEND_FAKE_GAME, tools / "wine");
    EXPECT_EQ(Launch("", "key with blank", "1"), 1);
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(m_shown.texts(), Texts{});
    ASSERT_TRUE(waitFor([&] { return fs::exists(tools / "wine.record"); }));
    EXPECT_EQ(readLines(tools / "wine.record"),
              (Texts{"cwd=" + fs::current_path().string(), "arg=" + GameDir() + "Bin/Qnd.exe",
                     "arg=USERID=", "arg=USERKEY=key", "arg=with", "arg=blank", "arg=UNDERAGE=1",
                     "arg=-LauncherPassed", "arg=-pzqmvt"}));
}

}  // namespace
