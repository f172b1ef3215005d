// The main window on Qt's offscreen platform with a real skin, a real launcher server on
// loopback and, where an update runs, a real update server.

#include "ui/launcher_dlg.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QCursor>
#include <QDesktopServices>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/client_app.h"
#include "config/text_table.h"
#include "devserver/launcher_server.h"
#include "devserver/update_server.h"
#include "launch/launch_test_util.h"
#include "pack/checksum_writer.h"
#include "platform/window_messages.h"
#include "support/message_box_recorder.h"
#include "test_install.h"

namespace {

using namespace quend::test;
using platform::PostedMessage;
using protocol::GameRecord;
using protocol::ServerGroup;
using Texts = std::vector<std::string>;

// Records the addresses the desktop would open.
class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    Texts urls;
public slots:
    void open(const QUrl& url) { urls.push_back(url.toString().toStdString()); }
};

GameRecord Game(const std::string& name, const std::string& updateUrl) {
    return GameRecord{name, name, 0x10004001, 0, 1, updateUrl, "", 0};
}

ServerGroup Group(const std::string& game, const std::string& label) {
    return ServerGroup{game, "", label, {{{{0x7F000001u, 7000}}, 1, 10}}};
}

// A launcher folder inside a game folder, with skin and language; the application object as
// start-up leaves it. Pages nobody serves: the panels' loads fail at once.
class LauncherDlgTest : public ::testing::Test {
protected:
    LauncherDlgTest() {
        ::setenv("QUEND_CODEPAGE", "GBK", 1);
        WriteTestSkin(m_launcherDir);
        SetTextFile((m_launcherDir / "Launcher.Chs").string());
        platform::SetMessageCaption("Launcher");
        m_app.m_strSkinIni = (m_launcherDir / "Skin.ini").string();
        m_app.m_strResourcePath = (m_launcherDir / "Res" / "Chs").string();
        m_app.m_pszModuleDir = m_launcherDir.string() + "/";
        m_app.m_config.homePage = "http://127.0.0.1:1/home";
        m_app.m_config.notice = "http://127.0.0.1:1/notice";
        m_app.m_config.onelineNotice = "http://127.0.0.1:1/line";
        m_app.m_config.games["Quendalor"] = {"1.0.0", "127.0.0.1:1"};
    }

    // Connected to a launcher server that answers request 30 with `games` and 40 with `groups`.
    void Connect(std::vector<GameRecord> games, std::vector<ServerGroup> groups) {
        m_server.emplace(devserver::LauncherServerConfig{0, false, "", games, groups});
        ASSERT_TRUE(m_server->Start());
        m_app.m_config.treeServer = "127.0.0.1:" + std::to_string(m_server->Port());
        m_app.m_bConnected = m_app.ConnectServer();
        ASSERT_TRUE(m_app.m_bConnected);
    }
    void ConnectTwoGames() {
        const std::string url = "http://127.0.0.1:1";
        Connect(
            {Game("Quendalor", url), Game("Sylvan", url)},
            {Group("Quendalor", "North"), Group("Quendalor", "South"), Group("Unknown", "Nowhere"),
             Group("Sylvan", "Woods"), Group("Sylvan", "Vale"), Group("Quendalor", "East")});
    }

    ui::CLauncherDlg& Open() {
        m_dialog.emplace(m_app, [](int code) { ADD_FAILURE() << "process ended with " << code; });
        m_dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&*m_dialog));
        return *m_dialog;
    }
    template <typename T = ui::CServerTree>
    T& Child(const char* name) {
        T* child = m_dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return *child;
    }
    ui::CMyButton& Start() { return Child<ui::CMyButton>("GameButton"); }
    // The file name of the image Start shows now.
    std::string StartImage() {
        const std::string& path = Start().CurrentImagePath();
        return path.substr(path.find_last_of("/\\") + 1);
    }

    // Lists requested and shown.
    void FillTrees(int rightGroups = 3) {
        ASSERT_TRUE(m_app.SendRequest(30));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return Child("RSVRTree").topLevelItemCount() == rightGroups; }));
    }
    // A press on the label of a tree's top-level row, the mouse there as a player's would be.
    void ClickRow(const char* treeName, int row) {
        ui::CServerTree& tree = Child(treeName);
        const QPoint at = tree.LabelRect(tree.topLevelItem(row)).center();
        QCursor::setPos(tree.viewport()->mapToGlobal(at));
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
    }

    static std::filesystem::path Made(std::filesystem::path folder) {
        std::filesystem::create_directories(folder);
        return folder;
    }

    TempDir m_dir;
    std::filesystem::path m_launcherDir = Made(m_dir / "Launcher");
    WorkingFolder m_working{m_launcherDir};
    MessageBoxRecorder m_messages;
    CClientApp m_app{"", ""};
    std::optional<devserver::CLauncherServer> m_server;
    std::optional<ui::CLauncherDlg> m_dialog;
};

TEST_F(LauncherDlgTest, StartFollowsTheServerListsTheChosenGameAndTheEndOfAnUpdate) {
    ConnectTwoGames();
    ui::CLauncherDlg& dialog = Open();
    EXPECT_EQ(dialog.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(StartImage(), "StartNormal.bmp");
    QTest::mouseClick(&Start(), Qt::LeftButton);
    EXPECT_EQ(m_messages.take(), Texts{kUnSelectServer});
    EXPECT_TRUE(Start().isEnabled());

    // Lists stored, their notification still queued: the other values of wParam do nothing.
    ASSERT_TRUE(m_app.SendRequest(30));
    ASSERT_TRUE(waitFor([&] { return !m_app.Directory().Latest()->group_list.empty(); }));
    for (const std::intptr_t wParam : {0, 2})
        dialog.WindowProc(PostedMessage{platform::WM_SERVER_NOTIFY, wParam, 0, {}});
    EXPECT_EQ(Child("LSVRTree").topLevelItemCount() + Child("RSVRTree").topLevelItemCount(), 0);
    EXPECT_EQ(StartImage(), "StartNormal.bmp");

    // Six groups, one of an unknown game: two go left, three right, the unknown one nowhere.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Child("RSVRTree").topLevelItemCount() == 3; }));
    const auto labels = [&](const char* name) {
        Texts labels;
        for (int i = 0; i < Child(name).topLevelItemCount(); ++i)
            labels.push_back(Child(name).topLevelItem(i)->text(0).toStdString());
        return labels;
    };
    EXPECT_EQ(labels("LSVRTree"), (Texts{"North", "South"}));
    EXPECT_EQ(labels("RSVRTree"), (Texts{"Woods", "Vale", "East"}));
    EXPECT_EQ(StartImage(), "UpdateNormal.bmp");

    ClickRow("RSVRTree", 0);
    EXPECT_EQ(dialog.GameName(), "Sylvan");
    EXPECT_FALSE(dialog.IsReady());
    Start().setEnabled(false);
    dialog.WindowProc(PostedMessage{platform::WM_UPDATE_DONE, 0, 0, {}});
    EXPECT_TRUE(dialog.IsReady());
    EXPECT_TRUE(Start().isEnabled());
    EXPECT_EQ(StartImage(), "StartNormal.bmp");
    EXPECT_EQ(m_app.m_config.currentGame, "Sylvan");

    // Another game must be checked again, unless under "-NoCheck".
    ClickRow("LSVRTree", 1);
    EXPECT_EQ(dialog.GameName(), "Quendalor");
    EXPECT_TRUE(Child("RSVRTree").selectedItems().isEmpty());
    EXPECT_FALSE(dialog.IsReady());
    EXPECT_EQ(StartImage(), "UpdateNormal.bmp");
    m_app.m_bNoCheck = 1;
    ClickRow("RSVRTree", 1);
    EXPECT_EQ(dialog.GameName(), "Sylvan");
    EXPECT_TRUE(dialog.IsReady());
    EXPECT_EQ(StartImage(), "StartNormal.bmp");
    EXPECT_TRUE(m_messages.take().empty());
}

// The bars' colours on black, the skin's background, the rows and the boxes: the picture is
// kept in the build folder for people to look at. The web panels are there, loading their pages,
// but never shown. Progress is posted as the download side posts it; the bar of the current file
// falls back to 0 at the first read shorter than a block.
TEST_F(LauncherDlgTest, TheWindowAsThePlayerSeesItDuringADownload) {
    ConnectTwoGames();
    ui::CLauncherDlg& dialog = Open();
    FillTrees();
    ClickRow("LSVRTree", 0);
    Child<QLineEdit>("UserName").setText("alice");
    Child<QLineEdit>("Password").setText("secret");
    const auto post = [&](unsigned id, std::intptr_t wParam, std::string text = {}) {
        dialog.Target().Post(PostedMessage{id, wParam, 0, std::move(text)});
        QCoreApplication::processEvents();
    };
    post(platform::WM_DOWN_FILE, 0, "/games/Data/" + std::string(300, 'x'));
    EXPECT_EQ(Child<QLineEdit>("FileView").text().size(), 259);
    post(platform::WM_DOWN_FILE, 0, "/games/Data/world.pak");
    QProgressBar& down = Child<QProgressBar>("DownProgress");
    post(platform::WM_DOWN_RANGE, 0x200000);
    EXPECT_EQ(down.maximum(), 0x200000);
    post(platform::WM_DOWN_PROGRESS, 0x50000);
    EXPECT_EQ(down.value(), 0x50000);
    post(platform::WM_DOWN_PROGRESS, 0x50000);
    EXPECT_EQ(down.value(), 0xA0000);
    Child<QProgressBar>("TotalProgress").setRange(0, 100);
    Child<QProgressBar>("TotalProgress").setValue(50);
    for (const auto& [name, url] : {std::pair{"webHome", "http://127.0.0.1:1/home"},
                                    {"CashItem", ""},
                                    {"Notice", "http://127.0.0.1:1/notice"},
                                    {"OneLineNotice", "http://127.0.0.1:1/line"}}) {
        EXPECT_EQ(Child<ui::CExplorer1>(name).LocationURL(), url) << name;
        EXPECT_FALSE(Child<ui::CExplorer1>(name).isVisible()) << name;
    }
    EXPECT_EQ(Child<ui::CExplorer1>("Notice").geometry(), QRect(440, 60, 176, 60));
    const QImage shot = dialog.grab().toImage();
    EXPECT_TRUE(shot.save(QUEND_SCREENSHOT));
    EXPECT_EQ(QColor(shot.pixel(40, 330)), QColor(174, 112, 65));
    EXPECT_EQ(QColor(shot.pixel(600, 330)), QColor(Qt::black));
    EXPECT_EQ(QColor(shot.pixel(40, 352)), QColor(250, 227, 141));
    EXPECT_EQ(QColor(shot.pixel(600, 352)), QColor(Qt::black));
    post(platform::WM_DOWN_PROGRESS, 0x4FFFF);
    EXPECT_EQ(down.value(), 0);
}

// Enter and Escape neither start nor close; a press on the surface drags the window; both small
// buttons open the home page.
TEST_F(LauncherDlgTest, KeysDragAndTheHomePage) {
    ConnectTwoGames();
    ui::CLauncherDlg& dialog = Open();
    QSignalSpy finished(&dialog, &QDialog::finished);
    QLineEdit& user = Child<QLineEdit>("UserName");
    user.setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(&user, key);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(m_messages.texts().empty());

    const QPoint from = dialog.pos();
    QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(300, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(330, 45), dialog.mapToGlobal(QPointF(330, 45)),
                     Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&dialog, &move);
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(330, 45));
    EXPECT_EQ(dialog.pos() - from, QPoint(30, 25));

    UrlRecorder browser;
    QDesktopServices::setUrlHandler("http", &browser, "open");
    QTest::mouseClick(&Child<ui::CMyButton>("Home"), Qt::LeftButton);
    QTest::mouseClick(&Child<ui::CMyButton>("Help"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("http");
    EXPECT_EQ(browser.urls, (Texts{"http://127.0.0.1:1/home", "http://127.0.0.1:1/home"}));
    EXPECT_EQ(finished.count(), 0);
}

// Without Skin.ini every key the window reads is reported, in the order it reads them, and the
// window keeps the size of its template.
TEST_F(LauncherDlgTest, AMissingSkinReportsEveryKeyItReads) {
    m_app.m_strSkinIni = (m_dir / "Elsewhere" / "Skin.ini").string();
    const ui::CLauncherDlg& dialog = Open();
    Texts expected;
    const auto missing = [&](const std::string& key, std::vector<const char*> suffixes) {
        for (const char* suffix : suffixes)
            expected.push_back("无法从" + m_app.m_strSkinIni + "中读取" + key + suffix);
    };
    const std::vector<const char*> rect = {"_x", "_y", "_width", "_height"};
    missing("MainDialog", {""});
    for (const char* name : {"GameButton", "DownProgress", "TotalProgress", "CashItem", "Notice",
                             "OneLineNotice", "Home", "Help", "Exit", "UserName", "Password"})
        missing(name, rect);
    missing("TextBox", {"", ""});
    for (const char* name : {"LSVRTree", "RSVRTree", "FileView"})
        missing(name, rect);
    for (const char* set : {"Start", "Home", "Help", "Exit"})
        missing(set, {"Normal", "Over", "Push", "Disable"});
    EXPECT_EQ(expected.size(), 75u);
    EXPECT_EQ(m_messages.take(), expected);
    EXPECT_EQ(dialog.size(), QSize(897, 506));
    EXPECT_FALSE(Start().isEnabled());  // not connected
}

// An update that cannot fetch its list says so and keeps Start disabled. Exit during an update
// waits for its threads while the window keeps answering their calls and the mouse: a second
// Exit press then does nothing, and the window closes once.
TEST_F(LauncherDlgTest, UpdatesThatFailOrAreCutShortByExit) {
    TempDir served;
    writeFile(served / "Data" / "world.pak", randomBytes(1536 * 1024, 7));
    CChecksumWriter(served.path(), served.path()).Run("");
    devserver::CUpdateServer updates(served.path());
    ASSERT_TRUE(updates.Start());
    const std::string good = "http://127.0.0.1:" + std::to_string(updates.Port());
    Connect({Game("Quendalor", good), Game("Sylvan", "http://127.0.0.1:1")},
            {Group("Sylvan", "Woods"), Group("Quendalor", "North")});
    Open();
    FillTrees(1);
    ClickRow("LSVRTree", 0);
    QTest::mouseClick(&Start(), Qt::LeftButton);
    EXPECT_EQ(m_messages.take(), Texts{kUnsafeDownloadServer});
    EXPECT_FALSE(Start().isEnabled());

    ui::CLauncherDlg& second = Open();
    FillTrees(1);
    updates.SetFaults({std::nullopt, 0, std::chrono::milliseconds(150)});
    ClickRow("RSVRTree", 0);
    QTest::mouseClick(&Start(), Qt::LeftButton);
    QProgressBar& down = Child<QProgressBar>("DownProgress");
    ASSERT_TRUE(QTest::qWaitFor([&] { return down.value() > 0; }, 10000));

    QSignalSpy finished(&second, &QDialog::finished);
    ui::CMyButton& exit = Child<ui::CMyButton>("Exit");
    bool secondPress = false;
    QTimer::singleShot(50, [&] {
        QTest::mouseClick(&exit, Qt::LeftButton);
        secondPress = true;
    });
    QTest::mouseClick(&exit, Qt::LeftButton);
    EXPECT_TRUE(secondPress);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(second.isVisible());
    EXPECT_FALSE(std::filesystem::exists(m_dir / "checksum_all.md5"));
    EXPECT_TRUE(m_messages.take().empty());
    m_dialog.reset();  // its kept-alive connection would hold up the server's end
}

}  // namespace

#include "launcher_dlg_test.moc"
