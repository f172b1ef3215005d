// The main window's rules without a toolkit: a recording window and real peers on loopback
// (launcher, update and account servers, the stand-in game); the test pumps posted messages.

#include "frontend/launcher_controller.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "config/text_table.h"
#include "devserver/account_service.h"
#include "devserver/launcher_server.h"
#include "devserver/update_server.h"
#include "pack/checksum_writer.h"
#include "patch/md5.h"
#include "patch/resume_part.h"
#include "platform/codepage.h"
#include "platform/message_box.h"
#include "platform/window_messages.h"
#include "support/message_box_recorder.h"
#include "support/program_support.h"
#include "support/raw_peer.h"

namespace {

using namespace quend::test;
using frontend::kNoRow;
using frontend::RowId;
using frontend::TreeSide;
using platform::PostedMessage;
using Texts = std::vector<std::string>;
using Groups = std::vector<protocol::ServerGroup>;
const std::string kPage = "http://127.0.0.1:1/";  // nobody serves it
constexpr const char* kUnSelectServer = "请先选择服务器";
constexpr const char* kDisconnected = "与服务器的连接已断开";
constexpr const char* kUnsafeDownloadServer = "下载服务器不可用";

protocol::GameRecord Game(const std::string& name, const std::string& url) {
    return {name, name, 0x10004001, 0, 1, url, "", 0};
}

// A group of servers on 127.0.0.1 at these ports, all enabled.
protocol::ServerGroup Group(const std::string& game, const std::string& label,
                            std::vector<std::uint16_t> ports = {7000}) {
    protocol::ServerGroup group{game, "", label, {}};
    for (const std::uint16_t port : ports)
        group.servers.push_back({{{0x7F000001u, port}}, 1, 10});
    return group;
}

// Keeps what the rules show; answers the boxes and the code prompt as the test sets them.
struct RecordingView final : frontend::LauncherView {
    void SetStartImages(const std::string& imageSet) override { startImages = imageSet; }
    void EnableStart(bool enable) override { startEnabled = enable; }
    void SetStatusText(const std::string& text) override { status = text; }
    void SetDownRange(std::uint32_t range) override { downRange = range; }
    void SetDownPosition(std::uint32_t position) override { downPosition = position; }
    void SetTotalRange(int range) override { totalRange = range; }
    void SetTotalPosition(int position) override { totalPosition = position; }
    void FillTree(TreeSide side, const frontend::CServerTreeModel& model) override {
        Texts& rows = side == TreeSide::Left ? left : right;
        rows.clear();
        for (const frontend::FServerItem& row : model.Rows())
            rows.push_back((row.parent == kNoRow ? "" : "  ") + row.Text());
        SelectTreeRow(side, kNoRow);
    }
    void SelectTreeRow(TreeSide side, RowId row) override {
        (side == TreeSide::Left ? leftSelected : rightSelected) = row;
    }
    std::string UserNameText() const override { return user; }
    std::string PasswordText() const override { return password; }
    std::unique_ptr<account::SmsCodePrompt> MakeSmsCodePrompt(const std::string& domain,
                                                              const std::string& mobile,
                                                              platform::HttpClient& http) override {
        return makePrompt ? makePrompt(domain, mobile, http) : nullptr;
    }
    void Navigate(frontend::WebPanel, const std::string& url) override { panels.push_back(url); }
    void OpenInBrowser(const std::string& url) override { browser.push_back(url); }
    void CloseWindow() override { ++closed; }

    std::string startImages = "Start";  // what a window shows before the rules say
    bool startEnabled = false;
    std::string status;
    std::uint32_t downRange = 0, downPosition = 0;
    int totalRange = 100, totalPosition = 0;
    Texts left, right;  // row texts, server rows indented
    RowId leftSelected = kNoRow, rightSelected = kNoRow;
    std::string user, password;
    std::function<std::unique_ptr<account::SmsCodePrompt>(const std::string&, const std::string&,
                                                          platform::HttpClient&)>
        makePrompt;
    Texts panels, browser;
    int closed = 0;
};

// Workers post from any thread; the test delivers on its own, as a window's event loop does.
struct PostQueue final : platform::MessageTarget {
    void Post(PostedMessage message) override {
        const std::lock_guard lock(mutex);
        queue.push_back(std::move(message));
    }
    // Delivers what is queued, and what that posts, until `done` holds; false when it does not.
    bool PumpUntil(frontend::CLauncherController& controller, const std::function<bool()>& done) {
        return waitFor([&] {
            for (std::unique_lock lock(mutex); !queue.empty(); lock.lock()) {
                const PostedMessage message = std::move(queue.front());
                queue.pop_front();
                lock.unlock();
                controller.WindowProc(message);
            }
            return done();
        });
    }
    std::mutex mutex;
    std::deque<PostedMessage> queue;
};

// The application as the rules see it: the real connection, the settings, start-up's results.
struct TestHost final : frontend::LauncherHost {
    protocol::CClientConnection& Connection() override { return connection; }
    config::LauncherConfig& Config() override { return config; }
    bool IsConnected() const override { return connected; }
    bool NoCheck() const override { return noCheck; }
    bool NoUpdate() const override { return false; }
    std::string ModuleDir() const override { return moduleDir; }
    std::string SkinIni() const override { return {}; }
    std::string ResourcePath() const override { return {}; }
    void StoreSession(const account::LoginSession& stored) override { session = stored; }
    account::LoginSession Session() const override { return session; }

    protocol::CClientConnection connection;
    config::LauncherConfig config;
    bool connected = false, noCheck = false;
    std::string moduleDir;
    account::LoginSession session;
};

// The game folder is the temporary one; the launcher runs in its "Launcher", texts in GBK.
class ControllerTest : public ::testing::Test {
protected:
    ControllerTest() {
        ::setenv("QUEND_CODEPAGE", "GBK", 1);
        platform::SetMessageCaption("Launcher");
        writeFile(
            m_launcherDir / "Launcher.Chs",
            platform::Utf8ToAnsi(std::string("[General]\r\nUnSelectServer=") + kUnSelectServer +
                                 "\r\nDisconnected=" + kDisconnected +
                                 "\r\n[Error]\r\nUnsafeDownloadServer=" + kUnsafeDownloadServer +
                                 "\r\n[Term]\r\nServerSet=No.%d\r\n"));
        config::SetTextFile((m_launcherDir / "Launcher.Chs").string());
        m_host.moduleDir = m_launcherDir.string() + "/";
        m_host.config.homePage = kPage + "home";
        m_host.config.notice = kPage + "notice";
        m_host.config.games["Quendalor"] = {"1.0.0", "127.0.0.1:1"};
    }

    // Connected to a launcher server that lists these games and groups.
    void Connect(std::vector<protocol::GameRecord> games, Groups groups) {
        m_server.emplace(
            devserver::LauncherServerConfig{.trailer = "", .games = games, .groups = groups});
        ASSERT_TRUE(m_server->Start());
        m_host.connection.SetInstalledGames(m_host.config.games);
        ASSERT_TRUE(m_host.connected = m_host.connection.ConnectServer(
                        "127.0.0.1:" + std::to_string(m_server->Port())));
    }
    void Open() {
        m_controller.reset();
        m_view = RecordingView{};
        m_controller.emplace(m_host, m_view, m_queue,
                             [this](int code) { m_exits.push_back(code); });
        m_controller->OnInitDialog();
    }
    // Lists requested and shown.
    void FillTrees() {
        ASSERT_TRUE(m_host.connection.SendRequest(30));
        ASSERT_TRUE(Pump([&] { return !m_view.right.empty(); }));
    }
    bool Pump(const std::function<bool()>& done = [] { return true; }) {
        return m_queue.PumpUntil(*m_controller, done);
    }
    void Post(unsigned id, std::intptr_t wParam = 0) {
        m_controller->WindowProc(PostedMessage{id, wParam, 0, {}});
    }

    // The n-th group row of a tree.
    RowId GroupRow(TreeSide side, int n) const {
        const auto& rows = m_controller->Tree(side).Rows();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].parent == kNoRow && n-- == 0)
                return static_cast<RowId>(i);
        }
        return kNoRow;
    }
    // A press on the label of a row, as the window reports it.
    void Click(TreeSide side, RowId row) { m_controller->OnTreeFocus(side, row); }

    // "<Start's images> on|off <game>[ ready][ L<row>| R<row>]"
    std::string State() {
        const auto row = [](const char* side, RowId at) {
            return at == kNoRow ? "" : side + std::to_string(at);
        };
        return m_view.startImages + (m_view.startEnabled ? " on " : " off ") +
               m_controller->GameName() + (m_controller->IsReady() ? " ready" : "") +
               row(" L", m_view.leftSelected) + row(" R", m_view.rightSelected);
    }

    TempDir m_dir;
    std::filesystem::path m_launcherDir = m_dir / "Launcher";
    std::optional<WorkingFolder> m_working{
        (std::filesystem::create_directories(m_launcherDir), m_launcherDir)};
    MessageBoxRecorder m_messages;
    std::optional<devserver::CLauncherServer> m_server;
    TestHost m_host;
    RecordingView m_view;
    PostQueue m_queue;
    std::vector<int> m_exits;
    std::optional<frontend::CLauncherController> m_controller;
};

// The Start button's states and transitions, step by step; each step's state carries over.
TEST_F(ControllerTest, TheStartButtonWalksItsStates) {
    Connect({Game("Quendalor", kPage), Game("Sylvan", kPage)},
            {Group("Quendalor", "North"), Group("Quendalor", "South"), Group("Unknown", "Nowhere"),
             Group("Sylvan", "Woods"), Group("Sylvan", "Vale"), Group("Quendalor", "East")});
    Open();
    EXPECT_EQ(m_view.panels, (Texts{kPage + "home", "", kPage + "notice", ""}));
    struct Step {
        const char* what;
        std::string state;
        std::function<void()> act;
        Texts shown = {};
    };
    const auto click = [&](TreeSide side, int n) { Click(side, GroupRow(side, n)); };
    const Step steps[] = {
        {"Start before any list", "Start on ", [&] { m_controller->OnStart(); }, {kUnSelectServer}},
        {"notices other than 1", "Start on ",
         [&] {
             ASSERT_TRUE(m_host.connection.SendRequest(30));
             ASSERT_TRUE(waitFor(
                 [&] { return !m_host.connection.Directory().Latest()->group_list.empty(); }));
             Post(platform::WM_SERVER_NOTIFY, 0);
             Post(platform::WM_SERVER_NOTIFY, 2);
         }},
        {"the lists", "Update on ", [&] { Pump([&] { return !m_view.right.empty(); }); }},
        {"a row of a game", "Update on Sylvan R0", [&] { click(TreeSide::Right, 0); }},
        {"the update's end", "Start on Sylvan ready R0",
         [&] {
             m_view.startEnabled = false;
             Post(platform::WM_UPDATE_DONE);
         }},
        {"another row of the same game", "Start on Sylvan ready R2",
         [&] { click(TreeSide::Right, 1); }},
        {"a row of another game", "Update on Quendalor L2", [&] { click(TreeSide::Left, 1); }},
        {"a keyboard move to another game's row", "Update on Quendalor L2",
         [&] { m_controller->OnTreeSelChanged(TreeSide::Right, 0, kNoRow); }},
        {"focus without a row under the mouse: the tree's own selection names the game",
         "Update on Sylvan", [&] { m_controller->OnTreeFocus(TreeSide::Right, kNoRow); }},
        {"another game under -NoCheck", "Start on Quendalor ready L0",
         [&] {
             m_host.noCheck = true;
             click(TreeSide::Left, 0);
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(State(), step.state);
        EXPECT_EQ(m_messages.take(), step.shown);
    }
    // Six groups, one of an unknown game: two go left, three right, the unknown one nowhere.
    EXPECT_EQ(m_view.left, (Texts{"North", "  No.1", "South", "  No.1"}));
    EXPECT_EQ(m_view.right, (Texts{"Woods", "  No.1", "Vale", "  No.1", "East", "  No.1"}));
    EXPECT_EQ(m_host.config.currentGame, "Sylvan");
    m_controller->OnHelp();
    EXPECT_EQ(m_view.browser, Texts{kPage + "home"});
}

// What the download side and the check pass post shows on the bars and the status line.
TEST_F(ControllerTest, EachProgressMessageShowsWhereItBelongs) {
    Open();
    EXPECT_FALSE(m_view.startEnabled) << "not connected";
    std::string chinese;
    for (int i = 0; i < 300; ++i)
        chinese += "字";
    // "status|down range/position|total range/position"
    const std::string kept = chinese.substr(0, 259 * 3), max = "|" + std::to_string(INT_MAX) + "/0";
    const std::pair<PostedMessage, std::string> rows[] = {
        {{platform::WM_DOWN_FILE, 0, 0, chinese}, kept + "|0/0|100/0"},
        {{platform::WM_DOWN_RANGE, 0x200000, 0, {}}, kept + "|2097152/0|100/0"},
        {{platform::WM_DOWN_PROGRESS, 0x50000, 0, {}}, kept + "|2097152/327680|100/0"},
        {{platform::WM_DOWN_PROGRESS, 0x50000, 0, {}}, kept + "|2097152/655360|100/0"},
        {{platform::WM_DOWN_PROGRESS, 0x4FFFF, 0, {}}, kept + "|2097152/0|100/0"},
        {{platform::WM_TOTAL_PROGRESS, 2, 3, {}}, kept + "|2097152/0|3/2"},
        {{platform::WM_TOTAL_PROGRESS, -5, INTPTR_MAX, {}}, kept + "|2097152/0" + max},
        {{platform::WM_UPDATE_STATUS, 0, 0, "\xD5\xFD\xD4\xDA"}, "正在|2097152/0" + max},
        {{platform::WM_START_GAME, 0, 0, {}}, "正在|2097152/0" + max},
    };
    for (const auto& [message, shown] : rows) {
        m_controller->WindowProc(message);
        EXPECT_EQ(m_view.status + "|" + std::to_string(m_view.downRange) + "/" +
                      std::to_string(m_view.downPosition) + "|" +
                      std::to_string(m_view.totalRange) + "/" +
                      std::to_string(m_view.totalPosition),
                  shown)
            << std::hex << message.id;
    }
    EXPECT_EQ(m_view.closed, 0) << "no game starts without a login";
}

TEST_F(ControllerTest, NothingStartsOnceTheWindowHasClosed) {
    Open();
    m_controller->OnCancel();
    m_controller->OnStart();
    EXPECT_TRUE(m_messages.take().empty());
}

// A connection lost while the window runs, or before it opens, is reported and ends with exit 0.
TEST_F(ControllerTest, ALostConnectionEndsTheProcess) {
    Connect({Game("Quendalor", kPage)}, {Group("Quendalor", "North")});
    Open();
    Pump();
    m_server->Stop();
    ASSERT_TRUE(Pump([&] { return !m_exits.empty(); }));
    EXPECT_EQ(m_exits, std::vector<int>{0});
    EXPECT_EQ(m_messages.take(), Texts{kDisconnected});
    EXPECT_FALSE(m_host.connection.m_bSocketOpen);

    Connect({}, {});
    m_controller.reset();
    m_server->Stop();
    ASSERT_TRUE(waitFor([&] { return !m_host.connection.m_bSocketOpen; }));
    Open();
    Pump();
    EXPECT_EQ(m_exits, (std::vector<int>{0, 0}));
    EXPECT_EQ(m_messages.take(), Texts{kDisconnected});
}

// The checksum list is fetched while the window goes on: the press returns with the request
// still unanswered, and the list's failure (a 503) arrives later as a box.
TEST_F(ControllerTest, TheListIsFetchedWithoutHoldingUpTheWindow) {
    RawPeer silent;
    Connect({Game("Quendalor", "http://" + silent.address())}, {Group("Quendalor", "North")});
    Open();
    FillTrees();
    Click(TreeSide::Right, GroupRow(TreeSide::Right, 0));
    std::atomic<bool> released{false}, answered{false};
    std::thread peer([&] {
        // Had the press waited for the list, this would end the wait, late.
        if (silent.accept(std::chrono::seconds(20))) {
            for (int i = 0; i < 200 && !released; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        answered = true;
        const std::string reply = "HTTP/1.1 503 Busy\r\nContent-Length: 0\r\n\r\n";
        silent.write({reply.begin(), reply.end()});
    });
    m_controller->OnStart();
    EXPECT_FALSE(answered);
    EXPECT_EQ(State(), "Update off Quendalor R0");
    released = true;
    peer.join();
    ASSERT_TRUE(Pump([&] { return !m_messages.texts().empty(); }));
    EXPECT_EQ(m_messages.take(), Texts{kUnsafeDownloadServer});
    EXPECT_EQ(State(), "Update off Quendalor R0");
}

// An update server on loopback serving these files.
class UpdateTest : public ControllerTest {
protected:
    // The download thread's kept-alive connection would hold up the server's end.
    ~UpdateTest() override { m_controller.reset(); }

    void Serve(const std::vector<std::pair<std::string, std::string>>& files) {
        for (const auto& [name, bytes] : files)
            writeFile(m_served / name, bytes);
        pack::CChecksumWriter(m_served.path(), m_served.path()).Run("");
        ASSERT_TRUE(m_updates.Start());
        Connect({Game("Quendalor", "http://127.0.0.1:" + std::to_string(m_updates.Port())),
                 Game("Sylvan", kPage)},
                {Group("Sylvan", "Woods"), Group("Quendalor", "North")});
        Open();
        FillTrees();
    }
    // Start pressed; true once it is enabled again.
    bool Update() {
        m_controller->OnStart();
        return Pump([&] { return m_view.startEnabled; });
    }

    TempDir m_served;
    devserver::CUpdateServer m_updates{m_served.path()};
};

// A list the update server cannot give keeps Start disabled. A file the game folder will not
// take ends the pass incomplete, naming the file and the system's reason in texts this older
// language file lacks, and Start stays an enabled Update; the next press fetches that file.
TEST_F(UpdateTest, AnUpdateThatFailsIsNotFinished) {
    Serve({{"Data/a.pak", "first"}, {"Data/b.pak", "second"}});
    Click(TreeSide::Left, GroupRow(TreeSide::Left, 0));
    m_controller->OnStart();
    ASSERT_TRUE(Pump([&] { return !m_messages.texts().empty(); }));
    EXPECT_EQ(m_messages.take(), Texts{kUnsafeDownloadServer});
    EXPECT_EQ(State(), "Update off Sylvan L0");

    Open();  // the lists it finds fill the trees
    ASSERT_TRUE(Pump([&] { return !m_view.right.empty(); }));
    Click(TreeSide::Right, GroupRow(TreeSide::Right, 0));
    std::filesystem::create_directories(m_dir / "Data" / "b.pak" / "in the way");
    ASSERT_TRUE(Update());
    EXPECT_EQ(State(), "Update on Quendalor R0");
    EXPECT_EQ(m_view.status, "更新未完成：1 个文件未能更新（Data\\b.pak），请再次点击更新");
    EXPECT_EQ(m_messages.take(),
              Texts{"无法写入文件 " + (m_dir / "Data" / "b.pak").string() + "：Is a directory"});
    EXPECT_FALSE(std::filesystem::exists(m_dir / "checksum_all.md5"));
    EXPECT_EQ(m_host.config.currentGame, "");

    // The status and the overall bar at the end are the whole program's test.
    std::filesystem::remove_all(m_dir / "Data" / "b.pak");
    ASSERT_TRUE(Update());
    EXPECT_EQ(State(), "Start on Quendalor ready R0");
    EXPECT_EQ(readFile(m_dir / "Data" / "b.pak"), "second");
    EXPECT_EQ(m_host.config.currentGame, "Quendalor");
    EXPECT_EQ(m_host.connection.GetVersionState().checksumFile, "checksum_1_1_1.md5");
    EXPECT_TRUE(m_messages.take().empty());
}

// Exit during an update cuts the transfer and closes once, however often it or Cancel is pressed;
// only the cut file's own part file is left, to go on from, and nothing of the list.
TEST_F(UpdateTest, ExitCutsAnUpdateShort) {
    const std::string world = randomBytes(1536 * 1024, 7);
    Serve({{"Data/world.pak", world}});
    m_updates.SetFaults({.blockDelay = std::chrono::milliseconds(150)});
    Click(TreeSide::Right, GroupRow(TreeSide::Right, 0));
    m_controller->OnStart();
    ASSERT_TRUE(Pump([&] { return m_view.downPosition > 0; }));
    m_controller->OnExit();
    m_controller->OnExit();
    m_controller->OnCancel();
    EXPECT_EQ(m_view.closed, 1);
    const std::string own =
        patch::ResumePartPath((m_dir / "Data" / "world.pak").string(),
                              {"Data\\world.pak", "0", patch::CMD5().GetStringMD5(world), 0,
                               static_cast<std::int64_t>(world.size())});
    Texts parts;
    for (const auto& file : std::filesystem::recursive_directory_iterator(m_dir.path())) {
        if (file.path().filename().string().starts_with(".quend-part-"))
            parts.push_back(file.path().string());
    }
    EXPECT_EQ(parts, Texts{own});
    EXPECT_FALSE(std::filesystem::exists(m_dir / "checksum_all.md5"));
    EXPECT_TRUE(m_messages.take().empty());
}

// A server of another game picked while the update runs does not move the update to that game's
// server: the files still come from where the pass began.
TEST_F(UpdateTest, APickDuringTheUpdateLeavesItsServer) {
    const std::string world = randomBytes(1536 * 1024, 8);
    Serve({{"Data/a.pak", world}, {"Data/b.txt", "after the pick"}});
    m_updates.SetFaults({.blockDelay = std::chrono::milliseconds(100)});
    Click(TreeSide::Right, GroupRow(TreeSide::Right, 0));
    m_controller->OnStart();
    ASSERT_TRUE(Pump([&] { return m_view.downPosition > 0; }));
    Click(TreeSide::Left, GroupRow(TreeSide::Left, 0));  // Sylvan, served nowhere
    ASSERT_TRUE(Pump([&] { return m_view.startEnabled; }));
    EXPECT_EQ(m_view.status, "更新已完成..");
    EXPECT_EQ(readFile(m_dir / "Data" / "b.txt"), "after the pick");
    EXPECT_TRUE(m_messages.take().empty());
}

// The login's checks come before any request and give Start back; a login that succeeds starts
// the game with the server the tree's selection names, moved by keyboard or not, and closes.
class LoginFlowTest : public ControllerTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_accounts.Start());
        m_host.config.games["Quendalor"].authDomain =
            "127.0.0.1:" + std::to_string(m_accounts.Port());
        copyProgram(QUEND_FAKE_GAME, m_dir / "Bin" / "Qnd.exe");
        m_host.noCheck = true;
        Connect({Game("Quendalor", kPage), Game("NoUrl", "")},
                {Group("NoUrl", "N1"), Group("Quendalor", "North", {7001, 7002})});
        Open();
        FillTrees();
        m_view.user = "alice";
        m_view.password = "secret1";
    }
    void TearDown() override { reapChildren(); }

    devserver::CAccountService m_accounts{{{"alice", "secret1", "alice", "x7k", ""},
                                           {"bobby", "hunter22", "10002", "kb0b", "138 5678"}}};
};

TEST_F(LoginFlowTest, ARefusedCheckGivesStartBack) {
    const RowId north = GroupRow(TreeSide::Right, 0);
    Texts asked;
    m_view.makePrompt = [&](const std::string&, const std::string& mobile, platform::HttpClient&) {
        asked.push_back(mobile);
        return std::unique_ptr<account::SmsCodePrompt>();  // the player closes it at once
    };
    struct Refusal {
        const char* what;
        Texts shown;
        std::function<void()> arrange;
    };
    const Refusal refusals[] = {
        {"the tree's selection lost to the other tree",
         {kUnSelectServer},
         [&] {
             Click(TreeSide::Right, north);
             m_controller->OnTreeFocus(TreeSide::Left, kNoRow);
         }},
        {"a game without update address",
         {"[?General.UnSetUpdateServer?]"},
         [&] { Click(TreeSide::Left, GroupRow(TreeSide::Left, 0)); }},
        {"an account whose code prompt is closed",
         {},
         [&] {
             Click(TreeSide::Right, north);
             m_view.user = "bobby";
             m_view.password = "hunter22";
         }},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        refusal.arrange();
        m_controller->OnStart();
        EXPECT_EQ(m_messages.take(), refusal.shown);
        EXPECT_TRUE(m_view.startEnabled);
        EXPECT_FALSE(m_controller->IsLoggedIn());
    }
    EXPECT_EQ(asked, Texts{"138 5678"});
    {
        // A working folder that is gone leaves no game folder.
        std::filesystem::create_directories(m_dir / "Gone");
        const WorkingFolder gone(m_dir / "Gone");
        std::filesystem::remove(m_dir / "Gone");
        m_controller->OnStart();
        EXPECT_EQ(m_messages.take(), Texts{"[?Error.VersionNeedInstall?]"});
    }
}

// A code sent to a service that has gone away ends the attempt with the client's error, and
// Start stays disabled until something else gives it back.
TEST_F(LoginFlowTest, ACodeThatGetsNoReplyKeepsStartDisabled) {
    struct GoneService final : account::SmsCodePrompt {
        std::optional<std::string> Run() override {
            accounts.Stop();
            return "123456";
        }
        devserver::CAccountService& accounts;
        explicit GoneService(devserver::CAccountService& service) : accounts(service) {}
    };
    m_view.makePrompt = [&](const std::string&, const std::string&, platform::HttpClient&) {
        return std::make_unique<GoneService>(m_accounts);
    };
    Click(TreeSide::Right, GroupRow(TreeSide::Right, 0));
    m_view.user = "bobby";
    m_view.password = "hunter22";
    m_controller->OnStart();
    const Texts shown = m_messages.take();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0], "连接登录服务器失败");
    EXPECT_FALSE(m_view.startEnabled);
    EXPECT_FALSE(m_controller->IsLoggedIn());

    // A new server list gives Start back, and the next refusal leaves it so.
    Post(platform::WM_SERVER_NOTIFY, 1);
    m_controller->OnStart();
    EXPECT_EQ(m_messages.take(), Texts{kUnSelectServer});
    EXPECT_TRUE(m_view.startEnabled);
}

TEST_F(LoginFlowTest, ALoginStartsTheGameWithTheSelectedServer) {
    const RowId north = GroupRow(TreeSide::Right, 0);
    // From the first server of the group to the second by keyboard: only the tree's selection
    // moves, and the game starts with that server.
    Click(TreeSide::Right, north + 1);
    m_controller->OnTreeSelChanged(TreeSide::Right, north + 2, kNoRow);
    m_controller->OnStart();
    EXPECT_EQ(m_view.closed, 1);
    EXPECT_TRUE(m_messages.take().empty());
    const account::LoginSession& session = m_host.session;
    EXPECT_EQ(session.userId + " " + session.userKey + " " + session.underage, "alice x7k 0");
    const std::string ini = readFile(m_dir / "Bin" / "Qnd.ini");
    EXPECT_NE(ini.find("ServerPort=7002"), std::string::npos) << ini;
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(m_dir / "Bin" / "Qnd.exe.record"); }));
    EXPECT_EQ(readLines(m_dir / "Bin" / "Qnd.exe.record"),
              (Texts{"cwd=" + m_launcherDir.string(), "arg=USERID=alice", "arg=USERKEY=x7k",
                     "arg=UNDERAGE=0", "arg=-LauncherPassed", "arg=-pzqmvt"}));
}

}  // namespace
