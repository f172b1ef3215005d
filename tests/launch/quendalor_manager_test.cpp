// The game start on a real game folder: the selection check and its messages, Bin\Qnd.ini
// rewritten in its three keys only, and the stand-in game (or wine) started with the session.

#include "launch/quendalor_manager.h"

#include <sys/stat.h>

#include <cstdlib>
#include <tuple>

#include <gtest/gtest.h>

#include "config/text_table.h"
#include "launch_test_util.h"
#include "support/message_box_recorder.h"

namespace {

using namespace quend::test;
namespace fs = std::filesystem;
using protocol::Endpoint;
using protocol::ServerEntry;
using Texts = std::vector<std::string>;

// A tree row chosen by the test (game, group, server, address; no server: no row), handed out as
// the server tree hands out its selection.
struct FixedSelection final : ServerSelection {
    bool HasSelectedItem() const override { return std::get<2>(row) != nullptr; }
    int GetSelectedServer(const protocol::GameRecord** g, const protocol::ServerGroup** gr,
                          const ServerEntry** s, const Endpoint** e) override {
        if (!HasSelectedItem() || *g != nullptr || *gr != nullptr || *s != nullptr || *e != nullptr)
            return 0;  // the out-values must come in null
        std::tie(*g, *gr, *s, *e) = row;
        return 1;
    }
    std::tuple<const protocol::GameRecord*, const protocol::ServerGroup*, const ServerEntry*,
               const Endpoint*>
        row;
};

// The window: a game folder with the stand-in game as Bin/Qnd.exe, and a group of an enabled
// server, one without addresses and a disabled one, the first selected in the left tree.
class QuendalorManagerTest : public ::testing::Test, public LaunchOwner {
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
        m_manager.SetOwner(this);
        m_group.servers = {
            {{{0x0A000001, 80}}, 1, 10}, {{}, 1, 20}, {{{0xC0A8FFFE, 65535}}, 0, 30}};
        Select(m_left, 0);
    }
    void TearDown() override {
        while (::waitpid(-1, nullptr, 0) > 0) {  // the games started, each ends after its record
        }
    }

    ServerSelection* LeftTree() override { return &m_left; }
    ServerSelection* RightTree() override { return &m_right; }
    std::string UpdateUrl() const override { return m_updateUrl; }
    std::string GameDir() const override { return fs::canonical(m_dir.path()).string() + "/"; }

    void Select(FixedSelection& tree, std::size_t server) {
        const ServerEntry& entry = m_group.servers[server];
        tree.row = {&m_game, &m_group, &entry,
                    entry.endpoints.empty() ? nullptr : &entry.endpoints[0]};
    }

    TempDir m_dir;
    std::string m_ini = (m_dir / "Bin" / "Qnd.ini").string();
    fs::path m_gameRecord = m_dir / "Bin" / "Qnd.exe.record";
    std::string m_updateUrl = "http://127.0.0.1:8080/quendalor/";
    FixedSelection m_left, m_right;
    protocol::GameRecord m_game;
    protocol::ServerGroup m_group;
    std::vector<int> m_exitCodes;
    CQuendalorManager m_manager{[this](int code) { m_exitCodes.push_back(code); }};
    MessageBoxRecorder m_shown;
};

// The selection check's three messages; then a disabled server is refused with nothing written
// or started, and a failed write ends the launcher without starting the game.
TEST_F(QuendalorManagerTest, RefusalsShowTheirMessagesAndWriteNothing) {
    m_left = {};
    EXPECT_EQ(m_manager.CheckSelection(), 0) << "no tree has a selection";
    Select(m_right, 1);
    EXPECT_EQ(m_manager.CheckSelection(), 0) << "the server has no address";
    Select(m_right, 0);
    m_game.version_not_ready = 1;
    EXPECT_EQ(m_manager.CheckSelection(), 0);
    m_game.version_not_ready = 0;
    m_updateUrl.clear();
    EXPECT_EQ(m_manager.CheckSelection(), 0);
    EXPECT_EQ(m_shown.take(), (Texts{"Choose a server", "Choose a server", "Not ready\nPlease wait",
                                     "No update server"}));
    m_updateUrl = "http://127.0.0.1/";

    Select(m_right, 2);
    writeFile(m_ini, "[QuendalorUI.Game_Login]\nServerHost=1.1.1.1\n");
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("abc", "k1", "0"), 0);
    EXPECT_EQ(m_shown.take(), Texts{"Server is down\nPlease wait"});
    EXPECT_EQ(readFile(m_ini), "[QuendalorUI.Game_Login]\nServerHost=1.1.1.1\n");
    EXPECT_FALSE(fs::exists(m_gameRecord));

    Select(m_right, 0);
    fs::remove_all(m_dir / "Bin");
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("abc", "k1", "0"), 0);
    EXPECT_EQ(m_shown.take(), Texts{"Cannot save"});
    EXPECT_EQ(m_exitCodes, std::vector<int>{0});
    EXPECT_FALSE(fs::exists(m_dir / "Bin"));
}

// The left tree wins over the right one. The server without addresses adds nothing to the list
// of the group; the disabled one still counts.
TEST_F(QuendalorManagerTest, OnlyTheThreeKeysOfAReadOnlyIniChange) {
    Select(m_right, 2);
    const std::string before =
        "; game settings\r\n[QuendalorUI.Game_Login]\r\nUserName=keep me\r\nServerHost=1.1.1.1\r\n"
        "ServerPort = 1\r\n\r\n[Graphics]\r\nWidth=1024\r\n[QuendalorUI.QuendalorGame]\r\n"
        "ServerSetInfo=old\r\nVolume=7\r\n";
    writeFile(m_ini, before);
    ASSERT_EQ(::chmod(m_ini.c_str(), 0444), 0);
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("abc", "k1", "0"), 1);
    EXPECT_EQ(m_shown.texts(), Texts{});
    std::string after = before;
    after.replace(after.find("1.1.1.1"), 7, "10.0.0.1");
    after.replace(after.find("= 1\r"), 3, "= 80");
    after.replace(after.find("old"), 3, "10.0.0.1:80|192.168.255.254:65535");
    EXPECT_EQ(readFile(m_ini), after);
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
    std::get<3>(m_left.row) = &elsewhere;
    TempDir tools;
    const std::string savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", tools.path().c_str(), 1);
    ASSERT_EQ(m_manager.CheckSelection(), 1);
    EXPECT_EQ(m_manager.LaunchGame("", "key with blank", "1"), 1);
    EXPECT_EQ(m_shown.take(), Texts{"Cannot start"});
    EXPECT_EQ(readFile(m_ini),
              "[QuendalorUI.Game_Login]\r\nServerHost=172.16.0.9\r\n"
              "ServerPort=65535\r\n[QuendalorUI.QuendalorGame]\r\nServerSetInfo=\r\n");

    copyProgram(QUEND_FAKE_GAME, tools / "wine");
    EXPECT_EQ(m_manager.LaunchGame("", "key with blank", "1"), 1);
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(m_shown.texts(), Texts{});
    ASSERT_TRUE(waitFor([&] { return fs::exists(tools / "wine.record"); }));
    EXPECT_EQ(readLines(tools / "wine.record"),
              (Texts{"cwd=" + fs::current_path().string(), "arg=" + GameDir() + "Bin/Qnd.exe",
                     "arg=USERID=", "arg=USERKEY=key", "arg=with", "arg=blank", "arg=UNDERAGE=1",
                     "arg=-LauncherPassed", "arg=-pzqmvt"}));
}

}  // namespace
