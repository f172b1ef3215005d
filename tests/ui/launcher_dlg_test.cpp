// The main window on Qt's offscreen platform with a real skin, a real launcher server on
// loopback and, where an update runs, a real update server.

#include "ui/launcher_dlg.h"

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <QCursor>
#include <QDesktopServices>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "app/client_app.h"
#include "config/text_table.h"
#include "devserver/launcher_server.h"
#include "devserver/update_server.h"
#include "launch/launch_test_util.h"
#include "pack/checksum_writer.h"
#include "patch/md5.h"
#include "patch/resume_part.h"
#include "platform/window_messages.h"
#include "support/message_box_recorder.h"
#include "test_install.h"

namespace {

using namespace quend::test;
using platform::PostedMessage;
using Texts = std::vector<std::string>;
using Pairs = std::vector<std::pair<std::string, std::string>>;
const std::string kPage = "http://127.0.0.1:1/";  // nobody serves it: loads fail at once

// Records the addresses the desktop would open.
class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    Texts urls;
public slots:
    void open(const QUrl& url) { urls.push_back(url.toString().toStdString()); }
};

// A launcher folder inside a game folder, with skin and language; the application object as
// start-up leaves it.
class LauncherDlgTest : public ::testing::Test {
protected:
    LauncherDlgTest() {
        SetTextFile((m_launcherDir / "Launcher.Chs").string());
        platform::SetMessageCaption("Launcher");
        m_app.m_strSkinIni = (m_launcherDir / "Skin.ini").string();
        m_app.m_strResourcePath = (m_launcherDir / "Res" / "Chs").string();
        m_app.m_pszModuleDir = m_launcherDir.string() + "/";
        m_app.m_config.homePage = kPage + "home";
        m_app.m_config.notice = kPage + "notice";
        m_app.m_config.onelineNotice = kPage + "line";
        m_app.m_config.games["Quendalor"] = {"1.0.0", "127.0.0.1:1"};
    }

    // Connected to a launcher server that lists these games (name, update address) and groups
    // (game, label) of one server each.
    void Connect(const Pairs& games, const Pairs& groups) {
        devserver::LauncherServerConfig config;
        for (const auto& [name, url] : games)
            config.games.push_back({name, name, 0x10004001, 0, 1, url, "", 0});
        for (const auto& [game, label] : groups)
            config.groups.push_back({game, "", label, {{{{0x7F000001u, 7000}}, 1, 10}}});
        m_server.emplace(config);
        ASSERT_TRUE(m_server->Start());
        m_app.m_config.treeServer = "127.0.0.1:" + std::to_string(m_server->Port());
        m_app.m_bConnected = m_app.ConnectServer();
        ASSERT_TRUE(m_app.m_bConnected);
    }

    ui::CLauncherDlg& Open() {
        m_dialog.emplace(m_app, [](int code) { ADD_FAILURE() << "process ended with " << code; });
        m_dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&*m_dialog));
        return *m_dialog;
    }
    template <typename T = ui::CServerTree>
    T& Child(const char* name) {
        return *m_dialog->findChild<T*>(name);
    }
    ui::CMyButton& Start() { return Child<ui::CMyButton>("GameButton"); }
    // "<the image Start shows> <game>[ ready]"
    std::string State() {
        const std::string& image = Start().CurrentImagePath();
        return image.substr(image.find_last_of("/\\") + 1) + " " + m_dialog->GameName() +
               (m_dialog->IsReady() ? " ready" : "");
    }
    // Lists requested and shown.
    void FillTrees() {
        ASSERT_TRUE(m_app.SendRequest(30));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Child("RSVRTree").topLevelItemCount() > 0; }));
    }
    // A press on the label of a tree's top-level row, the mouse there as a player's would be.
    void ClickRow(const char* treeName, int row) {
        ui::CServerTree& tree = Child(treeName);
        const QPoint at = tree.LabelRect(tree.topLevelItem(row)).center();
        QCursor::setPos(tree.viewport()->mapToGlobal(at));
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
    }

    TempDir m_dir;
    std::filesystem::path m_launcherDir = WriteTestSkin(m_dir / "Launcher");
    WorkingFolder m_working{m_launcherDir};
    MessageBoxRecorder m_messages;
    CClientApp m_app{"", ""};
    std::optional<devserver::CLauncherServer> m_server;
    std::optional<ui::CLauncherDlg> m_dialog;
};

TEST_F(LauncherDlgTest, StartTheTreesDownloadProgressKeysDragAndTheHomePage) {
    const Pairs groups = {{"Quendalor", "North"}, {"Quendalor", "South"}, {"Unknown", "Nowhere"},
                          {"Sylvan", "Woods"},    {"Sylvan", "Vale"},     {"Quendalor", "East"}};
    Connect({{"Quendalor", kPage}, {"Sylvan", kPage}}, groups);
    ui::CLauncherDlg& dialog = Open();
    EXPECT_EQ(dialog.size(), QSize(kWidth, kHeight));
    QTest::mouseClick(&Start(), Qt::LeftButton);
    EXPECT_EQ(m_messages.take(), Texts{kUnSelectServer});
    EXPECT_EQ(State(), "StartNormal.bmp ");

    // Lists stored, their notification still queued: the other values of wParam do nothing.
    ASSERT_TRUE(m_app.SendRequest(30));
    ASSERT_TRUE(waitFor([&] { return !m_app.Directory().Latest()->group_list.empty(); }));
    for (const std::intptr_t wParam : {0, 2})
        dialog.WindowProc(PostedMessage{platform::WM_SERVER_NOTIFY, wParam, 0, {}});
    EXPECT_EQ(Child("LSVRTree").topLevelItemCount() + Child("RSVRTree").topLevelItemCount(), 0);
    EXPECT_EQ(State(), "StartNormal.bmp ");

    // Six groups, one of an unknown game: two go left, three right, the unknown one nowhere.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Child("RSVRTree").topLevelItemCount() > 0; }));
    Texts rows;
    for (const char* tree : {"LSVRTree", "RSVRTree"}) {
        for (int i = 0; i < Child(tree).topLevelItemCount(); ++i)
            rows.push_back(tree[0] + Child(tree).topLevelItem(i)->text(0).toStdString());
    }
    EXPECT_EQ(rows, (Texts{"LNorth", "LSouth", "RWoods", "RVale", "REast"}));
    EXPECT_EQ(State(), "UpdateNormal.bmp ");

    ClickRow("RSVRTree", 0);
    EXPECT_EQ(State(), "UpdateNormal.bmp Sylvan");
    Start().setEnabled(false);
    dialog.WindowProc(PostedMessage{platform::WM_UPDATE_DONE, 0, 0, {}});
    EXPECT_EQ(State(), "StartNormal.bmp Sylvan ready");
    EXPECT_EQ(m_app.m_config.currentGame, "Sylvan");

    // Another game must be checked again, unless under "-NoCheck".
    ClickRow("LSVRTree", 1);
    EXPECT_EQ(State(), "UpdateNormal.bmp Quendalor");
    EXPECT_TRUE(Child("RSVRTree").selectedItems().isEmpty());
    m_app.m_bNoCheck = 1;
    ClickRow("RSVRTree", 1);
    EXPECT_EQ(State(), "StartNormal.bmp Sylvan ready");
    EXPECT_TRUE(m_messages.take().empty());

    // Progress as the download side posts it; the bar of the current file falls back to 0 at the
    // first read shorter than a block. The bars' colours on black, the skin's background, the
    // rows and the boxes: the picture is kept in the build folder for people to look at. The web
    // panels are there, loading their pages, but never shown.
    const auto post = [&](unsigned id, std::intptr_t wParam, std::string text = {}) {
        dialog.Target().Post(PostedMessage{id, wParam, 0, std::move(text)});
        QCoreApplication::processEvents();
    };
    post(platform::WM_DOWN_FILE, 0, "/games/Data/" + std::string(300, 'x'));
    EXPECT_EQ(Child<QLineEdit>("FileView").text().size(), 259);
    post(platform::WM_DOWN_FILE, 0, "/games/Data/world.pak");
    post(platform::WM_DOWN_RANGE, 0x200000);
    post(platform::WM_DOWN_PROGRESS, 0x50000);
    post(platform::WM_DOWN_PROGRESS, 0x50000);
    QProgressBar& down = Child<QProgressBar>("DownProgress");
    EXPECT_EQ(down.value(), 0xA0000);
    Child<QProgressBar>("TotalProgress").setRange(0, 100);
    Child<QProgressBar>("TotalProgress").setValue(50);
    Texts urls;
    for (const char* name : {"webHome", "CashItem", "Notice", "OneLineNotice"}) {
        urls.push_back(Child<ui::CExplorer1>(name).LocationURL());
        EXPECT_FALSE(Child<ui::CExplorer1>(name).isVisible()) << name;
    }
    EXPECT_EQ(urls, (Texts{kPage + "home", "", kPage + "notice", kPage + "line"}));
    EXPECT_EQ(Child<ui::CExplorer1>("Notice").geometry(), QRect(440, 60, 176, 60));
    const QImage shot = dialog.grab().toImage();
    EXPECT_TRUE(shot.save(QUEND_SCREENSHOT));
    EXPECT_EQ(shot.pixelColor(40, 330), QColor(174, 112, 65));
    EXPECT_EQ(shot.pixelColor(600, 330), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(40, 352), QColor(250, 227, 141));
    EXPECT_EQ(shot.pixelColor(600, 352), QColor(Qt::black));
    post(platform::WM_DOWN_PROGRESS, 0x4FFFF);
    EXPECT_EQ(down.value(), 0);

    // Enter and Escape neither start nor close; a press on the surface drags the window; both
    // small buttons open the home page.
    QLineEdit& user = Child<QLineEdit>("UserName");
    user.setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(&user, key);
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
    EXPECT_EQ(browser.urls, (Texts{kPage + "home", kPage + "home"}));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(m_messages.take().empty());
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
    EXPECT_EQ(m_messages.take(), expected);
    EXPECT_EQ(dialog.size(), QSize(897, 506));
    EXPECT_FALSE(Start().isEnabled());  // not connected
}

// An update that cannot fetch its list says so and keeps Start disabled. Exit during an update
// cuts the transfer under way and closes once, however often it is pressed; of the cut file only
// its part file is left, and nothing of the list.
TEST_F(LauncherDlgTest, UpdatesThatFailOrAreCutShortByExit) {
    TempDir served;
    writeFile(served / "Data" / "world.pak", randomBytes(1536 * 1024, 7));
    CChecksumWriter(served.path(), served.path()).Run("");
    devserver::CUpdateServer updates(served.path());
    ASSERT_TRUE(updates.Start());
    Connect(
        {{"Quendalor", "http://127.0.0.1:" + std::to_string(updates.Port())}, {"Sylvan", kPage}},
        {{"Sylvan", "Woods"}, {"Quendalor", "North"}});
    Open();
    FillTrees();
    ClickRow("LSVRTree", 0);
    QTest::mouseClick(&Start(), Qt::LeftButton);
    EXPECT_EQ(m_messages.take(), Texts{kUnsafeDownloadServer});
    EXPECT_EQ(State(), "UpdateDisable.bmp Sylvan");

    ui::CLauncherDlg& second = Open();
    FillTrees();
    updates.SetFaults({.blockDelay = std::chrono::milliseconds(150)});
    ClickRow("RSVRTree", 0);
    QTest::mouseClick(&Start(), Qt::LeftButton);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Child<QProgressBar>("DownProgress").value() > 0; }, 10000));

    QSignalSpy finished(&second, &QDialog::finished);
    ui::CMyButton& exit = Child<ui::CMyButton>("Exit");
    QTest::mouseClick(&exit, Qt::LeftButton);
    QTest::mouseClick(&exit, Qt::LeftButton);
    EXPECT_EQ(finished.count(), 1);
    // The one part file left is the cut file's own, which the next update goes on from.
    const std::string world = readFile(served / "Data" / "world.pak");
    const std::string own = ResumePartPath((m_dir / "Data" / "world.pak").string(),
                                           {"Data\\world.pak", "0", CMD5().GetStringMD5(world), 0,
                                            static_cast<std::int64_t>(world.size())});
    for (const auto& file : std::filesystem::recursive_directory_iterator(m_dir.path())) {
        if (file.path().filename().string().starts_with(".quend-part-")) {
            EXPECT_EQ(file.path().string(), own);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir / "checksum_all.md5"));
    EXPECT_TRUE(m_messages.take().empty());
    m_dialog.reset();  // its kept-alive connection would hold up the server's end
}

// A file the game folder will not take: the pass ends incomplete, naming the file and the
// system's reason in texts this older language file lacks, and Start stays an enabled Update.
// The next press fetches that file alone and finishes the update.
TEST_F(LauncherDlgTest, AnIncompleteUpdateIsNoFinishedOneAndTheNextPressFetchesTheRest) {
    TempDir served;
    writeFile(served / "Data" / "a.pak", "first");
    writeFile(served / "Data" / "b.pak", "second");
    CChecksumWriter(served.path(), served.path()).Run("");
    std::vector<std::string> log;
    std::mutex logMutex;
    devserver::CUpdateServer updates(served.path(), [&](const std::string& line) {
        std::lock_guard lock(logMutex);
        log.push_back(line);
    });
    ASSERT_TRUE(updates.Start());
    Connect({{"Quendalor", "http://127.0.0.1:" + std::to_string(updates.Port())}},
            {{"Quendalor", "North"}});
    Open();
    FillTrees();
    ClickRow("RSVRTree", 0);
    std::filesystem::create_directories(m_dir / "Data" / "b.pak" / "in the way");
    const auto update = [&] {
        QTest::mouseClick(&Start(), Qt::LeftButton);
        return QTest::qWaitFor([&] { return Start().isEnabled(); }, 10000);
    };

    ASSERT_TRUE(update());
    EXPECT_EQ(State(), "UpdateNormal.bmp Quendalor");
    EXPECT_EQ(Child<QLineEdit>("FileView").text().toStdString(),
              "更新未完成：1 个文件未能更新（Data\\b.pak），请再次点击更新");
    EXPECT_EQ(m_messages.take(),
              Texts{"无法写入文件 " + (m_dir / "Data" / "b.pak").string() + "：Is a directory"});
    EXPECT_FALSE(std::filesystem::exists(m_dir / "checksum_all.md5"));
    EXPECT_EQ(m_app.m_config.currentGame, "");

    std::filesystem::remove_all(m_dir / "Data" / "b.pak");
    log.clear();
    ASSERT_TRUE(update());
    EXPECT_EQ(State(), "StartNormal.bmp Quendalor ready");
    EXPECT_EQ(Child<QLineEdit>("FileView").text().toStdString(), "更新已完成..");
    EXPECT_EQ(readFile(m_dir / "Data" / "b.pak"), "second");
    std::lock_guard lock(logMutex);
    ASSERT_EQ(log.size(), 2u);  // the list and the file that was missing
    EXPECT_NE(log[1].find("/Data/b.pak"), std::string::npos) << log[1];
    EXPECT_TRUE(m_messages.take().empty());
    m_dialog.reset();
}

}  // namespace

#include "launcher_dlg_test.moc"
