// The game start on a real game folder: the selection check and its messages, Bin\Qnd.ini
// rewritten in its three keys only, and the stand-in game (or wine) started with the session.

#include "launch/quendalor_manager.h"

#include <sys/stat.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "config/text_table.h"
#include "launch_test_util.h"
#include "platform/profile.h"
#include "support/message_box_recorder.h"

namespace {

using namespace quend::test;
using protocol::Endpoint;
using protocol::ServerEntry;
using Texts = std::vector<std::string>;

// A tree row chosen by the test, handed out as the server tree hands out its selection.
struct FixedSelection final : ServerSelection {
    bool HasSelectedItem() const override { return selected; }
    int GetSelectedServer(const protocol::GameRecord** g, const protocol::ServerGroup** gr,
                          const ServerEntry** s, const Endpoint** e) override {
        if (!selected || *g != nullptr || *gr != nullptr || *s != nullptr || *e != nullptr)
            return 0;  // the out-values must come in null
        *g = game, *gr = group, *s = server, *e = endpoint;
        return 1;
    }
    bool selected = false;
    const protocol::GameRecord* game = nullptr;
    const protocol::ServerGroup* group = nullptr;
    const ServerEntry* server = nullptr;
    const Endpoint* endpoint = nullptr;
};

struct TestWindow final : LaunchOwner {
    ServerSelection* LeftTree() override { return &left; }
    ServerSelection* RightTree() override { return &right; }
    std::string UpdateUrl() const override { return updateUrl; }
    std::string GameDir() const override { return gameDir; }
    FixedSelection left, right;
    std::string updateUrl = "http://127.0.0.1:8080/quendalor/";
    std::string gameDir;
};

// A game folder with the stand-in game as Bin/Qnd.exe, and a group of an enabled server, one
// without addresses and a disabled one, the first selected in the left tree.
class QuendalorManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUEND_CODEPAGE", "GBK", 1);
        writeFile(m_dir / "Launcher.en",
                  "[General]\nUnSelectServer=Choose a server\nVersionNotReady=Not ready\n"
                  "WaitForSafeService=Please wait\nUnSetUpdateServer=No update server\n"
                  "FailSaveConfig=Cannot save\n"
                  "[Error]\nGameServerNotFound=Server is down\nFailExecuteProgram=Cannot start\n");
        SetTextFile((m_dir / "Launcher.en").string());
        copyProgram(QUEND_FAKE_GAME, m_dir / "Bin" / "Qnd.exe");
        m_window.gameDir = std::filesystem::canonical(m_dir.path()).string() + "/";
        m_manager.SetOwner(&m_window);
        m_group.servers = {
            {{{0x0A000001, 80}}, 1, 10}, {{}, 1, 20}, {{{0xC0A8FFFE, 65535}}, 0, 30}};
        Select(m_window.left, 0);
    }
    void TearDown() override {
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
    TempDir m_dir;
    std::string m_ini = (m_dir / "Bin" / "Qnd.ini").string();
    std::filesystem::path m_gameRecord = m_dir / "Bin" / "Qnd.exe.record";
    std::vector<int> m_exitCodes;
    CQuendalorManager m_manager{[this](int code) { m_exitCodes.push_back(code); }};
    TestWindow m_window;
    protocol::GameRecord m_game;
    protocol::ServerGroup m_group;
    MessageBoxRecorder m_shown;
};

// The selection check's three messages; then a disabled server is refused with nothing written
// or started, and a failed write ends the launcher without starting the game.
TEST_F(QuendalorManagerTest, RefusalsShowTheirMessagesAndWriteNothing) {
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
    EXPECT_EQ(m_shown.take(), (Texts{"Choose a server", "Choose a server", "Not ready\nPlease wait",
                                     "No update server"}));
    m_window.updateUrl = "http://127.0.0.1/";

    Select(m_window.right, 2);
    writeFile(m_ini, "[QuendalorUI.Game_Login]\nServerHost=1.1.1.1\n");
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("abc", "k1", "0"), 0);
    EXPECT_EQ(m_shown.take(), Texts{"Server is down\nPlease wait"});
    EXPECT_EQ(readFile(m_ini), "[QuendalorUI.Game_Login]\nServerHost=1.1.1.1\n");
    EXPECT_FALSE(std::filesystem::exists(m_gameRecord));
    EXPECT_TRUE(m_exitCodes.empty());

    Select(m_window.right, 0);
    std::filesystem::remove_all(m_dir / "Bin");
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("abc", "k1", "0"), 0);
    EXPECT_EQ(m_shown.take(), Texts{"Cannot save"});
    EXPECT_EQ(m_exitCodes, std::vector<int>{0});
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Bin"));
}

// The left tree wins over the right one. The server without addresses adds nothing to the list
// of the group; the disabled one still counts.
TEST_F(QuendalorManagerTest, OnlyTheThreeKeysOfAReadOnlyIniChange) {
    Select(m_window.right, 2);
    const std::string before =
        "; game settings\r\n[QuendalorUI.Game_Login]\r\nUserName=keep me\r\nServerHost=1.1.1.1\r\n"
        "ServerPort = 1\r\n\r\n[Graphics]\r\nWidth=1024\r\n[QuendalorUI.QuendalorGame]\r\n"
        "ServerSetInfo=old\r\nVolume=7\r\n";
    writeFile(m_ini, before);
    ASSERT_EQ(::chmod(m_ini.c_str(), 0444), 0);
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("abc", "k1", "0"), 1);
    EXPECT_TRUE(m_shown.texts().empty());
    std::string after = before;
    after.replace(after.find("1.1.1.1"), 7, "10.0.0.1");
    after.replace(after.find("= 1\r"), 3, "= 80");
    after.replace(after.find("old"), 3, "10.0.0.1:80|192.168.255.254:65535");
    EXPECT_EQ(readFile(m_ini), after);
    EXPECT_TRUE((std::filesystem::status(m_ini).permissions() &
                 std::filesystem::perms::owner_write) != std::filesystem::perms::none);
    EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(m_gameRecord); }));
}

// A Windows game goes through wine when there is one; without it the start fails after the
// settings were written. The missing ini is created; a group without addresses writes an empty
// list; the session's values are split at blanks.
TEST_F(QuendalorManagerTest, AWindowsGameStartsThroughWine) {
    writeFile(m_dir / "Bin" / "Qnd.exe", std::string("MZ\x90\0\x03", 5));
    const Endpoint elsewhere{0xAC100009, 65535};
    for (ServerEntry& server : m_group.servers)
        server.endpoints.clear();
    m_window.left.endpoint = &elsewhere;
    TempDir tools;
    const std::string savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", tools.path().c_str(), 1);
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("", "key with blank", "1"), 1);
    EXPECT_EQ(m_shown.take(), Texts{"Cannot start"});
    EXPECT_EQ(ReadIni("QuendalorUI.Game_Login", "ServerHost"), "172.16.0.9");
    EXPECT_EQ(ReadIni("QuendalorUI.Game_Login", "ServerPort"), "65535");
    EXPECT_EQ(ReadIni("QuendalorUI.QuendalorGame", "ServerSetInfo"), "");

    copyProgram(QUEND_FAKE_GAME, tools / "wine");
    EXPECT_EQ(m_manager.LaunchGame("", "key with blank", "1"), 1);
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_TRUE(m_shown.texts().empty());
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(tools / "wine.record"); }));
    EXPECT_EQ(
        readLines(tools / "wine.record"),
        (Texts{"cwd=" + std::filesystem::current_path().string(),
               "arg=" + m_window.gameDir + "Bin/Qnd.exe", "arg=USERID=", "arg=USERKEY=key",
               "arg=with", "arg=blank", "arg=UNDERAGE=1", "arg=-LauncherPassed", "arg=-pzqmvt"}));
}

}  // namespace
