#include "launch/quendalor_manager.h"

#include <sys/stat.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "config/text_table.h"
#include "launch_test_util.h"
#include "platform/message_box.h"
#include "platform/profile.h"

namespace {

using namespace quend::test;
using protocol::Endpoint;
using protocol::ServerEntry;

// A tree row chosen by the test, handed out as the server tree hands out its selection.
struct FixedSelection final : ServerSelection {
    bool HasSelectedItem() const override { return selected; }
    int GetSelectedServer(const protocol::GameRecord** g, const protocol::ServerGroup** gr,
                          const ServerEntry** s, const Endpoint** e) override {
        if (!selected || *g != nullptr || *gr != nullptr || *s != nullptr || *e != nullptr)
            return 0;
        *g = game, *gr = group, *s = server, *e = endpoint;
        return 1;
    }
    bool selected = false;
    const protocol::GameRecord* game = nullptr;
    const protocol::ServerGroup* group = nullptr;
    const ServerEntry* server = nullptr;
    const Endpoint* endpoint = nullptr;
};

struct FakeWindow final : LaunchOwner {
    ServerSelection* LeftTree() override { return &left; }
    ServerSelection* RightTree() override { return &right; }
    std::string UpdateUrl() const override { return updateUrl; }
    std::string GameDir() const override { return gameDir; }
    FixedSelection left, right;
    std::string updateUrl = "http://127.0.0.1:8080/quendalor/";
    std::string gameDir;
};

// A game folder with the stand-in game as Bin/Qnd.exe and a launcher folder inside it, a
// language file, a recorder for message boxes, and a group of an enabled server, one without
// addresses and a disabled one, the first selected in the left tree.
class QuendalorManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUEND_CODEPAGE", "GBK", 1);
        writeFile(m_dir / "Launcher" / "Launcher.en",
                  "[General]\nUnSelectServer=Choose a server\nVersionNotReady=Not ready\n"
                  "WaitForSafeService=Please wait\nUnSetUpdateServer=No update server\n"
                  "FailSaveConfig=Cannot save\n"
                  "[Error]\nGameServerNotFound=Server is down\nFailExecuteProgram=Cannot start\n");
        SetTextFile((m_dir / "Launcher" / "Launcher.en").string());
        m_savedHandler = platform::SetMessageHandler(
            [this](const std::string&, const std::string& text) { m_shown.push_back(text); });
        copyProgram(QUEND_FAKE_GAME, m_dir / "Bin" / "Qnd.exe");
        m_window.gameDir = std::filesystem::canonical(m_dir.path()).string() + "/";
        m_manager.SetOwner(&m_window);
        m_group.servers = {
            {{{0x0A000001, 80}}, 1, 10}, {{}, 1, 20}, {{{0xC0A8FFFE, 65535}}, 0, 30}};
        Select(m_window.left, 0);
    }
    void TearDown() override {
        platform::SetMessageHandler(std::move(m_savedHandler));
        while (::waitpid(-1, nullptr, 0) > 0) {  // the games started, each ends after its record
        }
    }

    void Select(FixedSelection& tree, std::size_t server) {
        const ServerEntry& entry = m_group.servers[server];
        tree = {};
        tree.selected = true, tree.game = &m_game, tree.group = &m_group, tree.server = &entry;
        tree.endpoint = entry.endpoints.empty() ? nullptr : &entry.endpoints[0];
    }
    std::string ReadIni(const char* section, const char* key) {
        char buffer[256];
        platform::ReadProfileString(section, key, "<missing>", buffer, sizeof buffer, m_ini);
        return buffer;
    }
    // The arguments the stand-in game (or wine) recorded.
    std::vector<std::string> GameArguments(const std::filesystem::path& record) {
        EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(record); }));
        std::vector<std::string> args;
        for (const std::string& line : readLines(record)) {
            if (line.starts_with("arg="))
                args.push_back(line.substr(4));
        }
        return args;
    }

    TempDir m_dir;
    std::string m_ini = (m_dir / "Bin" / "Qnd.ini").string();
    std::filesystem::path m_gameRecord = m_dir / "Bin" / "Qnd.exe.record";
    std::vector<int> m_exitCodes;
    CQuendalorManager m_manager{[this](int code) { m_exitCodes.push_back(code); }};
    FakeWindow m_window;
    protocol::GameRecord m_game;
    protocol::ServerGroup m_group;
    std::vector<std::string> m_shown;
    platform::MessageHandler m_savedHandler;
};

TEST_F(QuendalorManagerTest, TheSelectionIsCheckedWithItsThreeMessages) {
    m_window.left.selected = false;
    EXPECT_EQ(m_manager.CheckSelection(), 0) << "no tree has a selection";
    Select(m_window.right, 1);
    EXPECT_EQ(m_manager.CheckSelection(), 0) << "the server has no address";
    Select(m_window.right, 0);
    m_game.version_not_ready = 1;
    EXPECT_EQ(m_manager.CheckSelection(), 0);
    m_game.version_not_ready = 0;
    m_window.updateUrl.clear();
    EXPECT_EQ(m_manager.CheckSelection(), 0);
    EXPECT_EQ(m_shown, (std::vector<std::string>{"Choose a server", "Choose a server",
                                                 "Not ready\nPlease wait", "No update server"}));
    m_window.updateUrl = "http://127.0.0.1/";
    EXPECT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_shown.size(), 4u);
}

// The left tree wins over the right one; the game runs in the launcher's working folder.
TEST_F(QuendalorManagerTest, TheGameStartsWithTheExactArgumentsAndOnlyTheThreeKeysChange) {
    Select(m_window.right, 2);
    const std::string before =
        "; game settings\r\n[QuendalorUI.Game_Login]\r\nUserName=keep me\r\nServerHost=1.1.1.1\r\n"
        "ServerPort = 1\r\n\r\n[Graphics]\r\nWidth=1024\r\n[QuendalorUI.QuendalorGame]\r\n"
        "ServerSetInfo=old\r\nVolume=7\r\n";
    writeFile(m_ini, before);
    ASSERT_EQ(::chmod(m_ini.c_str(), 0444), 0);
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    {
        WorkingFolder launcher(m_dir / "Launcher");
        EXPECT_EQ(m_manager.LaunchGame("abc", "k1", "0"), 1);
    }
    EXPECT_TRUE(m_shown.empty());
    std::string after = before;
    after.replace(after.find("1.1.1.1"), 7, "10.0.0.1");
    after.replace(after.find("= 1\r"), 3, "= 80");
    // The server without addresses adds nothing; the disabled one still counts.
    after.replace(after.find("old"), 3, "10.0.0.1:80|192.168.255.254:65535");
    EXPECT_EQ(readFile(m_ini), after);
    EXPECT_TRUE((std::filesystem::status(m_ini).permissions() &
                 std::filesystem::perms::owner_write) != std::filesystem::perms::none);
    const auto cwd = std::filesystem::canonical(m_dir / "Launcher").string();
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(m_gameRecord); }));
    EXPECT_EQ(readLines(m_gameRecord),
              (std::vector<std::string>{"cwd=" + cwd, "arg=USERID=abc", "arg=USERKEY=k1",
                                        "arg=UNDERAGE=0", "arg=-LauncherPassed", "arg=-pzqmvt"}));
}

TEST_F(QuendalorManagerTest, AMissingIniIsCreatedAndAGroupWithoutAddressesWritesAnEmptyList) {
    const Endpoint elsewhere{0xAC100009, 65535};
    for (ServerEntry& server : m_group.servers)
        server.endpoints.clear();
    m_window.left.endpoint = &elsewhere;
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("", "key with blank", "1"), 1);
    EXPECT_EQ(ReadIni("QuendalorUI.Game_Login", "ServerHost"), "172.16.0.9");
    EXPECT_EQ(ReadIni("QuendalorUI.Game_Login", "ServerPort"), "65535");
    EXPECT_EQ(ReadIni("QuendalorUI.QuendalorGame", "ServerSetInfo"), "");
    EXPECT_EQ(GameArguments(m_gameRecord),
              (std::vector<std::string>{"USERID=", "USERKEY=key", "with", "blank", "UNDERAGE=1",
                                        "-LauncherPassed", "-pzqmvt"}));
}

TEST_F(QuendalorManagerTest, ADisabledServerIsRefusedWithNothingWrittenOrStarted) {
    Select(m_window.left, 2);
    writeFile(m_ini, "[QuendalorUI.Game_Login]\nServerHost=1.1.1.1\n");
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("abc", "k1", "0"), 0);
    EXPECT_EQ(m_shown, std::vector<std::string>{"Server is down\nPlease wait"});
    EXPECT_EQ(readFile(m_ini), "[QuendalorUI.Game_Login]\nServerHost=1.1.1.1\n");
    EXPECT_FALSE(std::filesystem::exists(m_gameRecord));
}

TEST_F(QuendalorManagerTest, AFailedWriteEndsTheLauncherWithoutStartingTheGame) {
    std::filesystem::remove_all(m_dir / "Bin");
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("abc", "k1", "0"), 0);
    EXPECT_EQ(m_shown, std::vector<std::string>{"Cannot save"});
    EXPECT_EQ(m_exitCodes, std::vector<int>{0});
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Bin"));
}

// A Windows game goes through wine when there is one; without it the start fails after the
// settings were written.
TEST_F(QuendalorManagerTest, AWindowsGameStartsThroughWine) {
    writeFile(m_dir / "Bin" / "Qnd.exe", std::string("MZ\x90\0\x03", 5));
    TempDir tools;
    const std::string savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", tools.path().c_str(), 1);
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("abc", "k1", "0"), 1);
    EXPECT_EQ(m_shown, std::vector<std::string>{"Cannot start"});
    EXPECT_EQ(ReadIni("QuendalorUI.Game_Login", "ServerHost"), "10.0.0.1");

    copyProgram(QUEND_FAKE_GAME, tools / "wine");
    EXPECT_EQ(m_manager.LaunchGame("abc", "k1", "0"), 1);
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(GameArguments(tools / "wine.record"),
              (std::vector<std::string>{m_window.gameDir + "Bin/Qnd.exe", "USERID=abc",
                                        "USERKEY=k1", "UNDERAGE=0", "-LauncherPassed", "-pzqmvt"}));
}

}  // namespace
