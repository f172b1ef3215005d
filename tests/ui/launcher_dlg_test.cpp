// The Qt main window offscreen with a real skin and, for rows, a launcher server on loopback: what
// only the widgets show (placement, painting, keys, dragging, a click on a row, posted messages
// as events). The rules behind it are tested without Qt in tests/frontend.

#include "ui/launcher_dlg.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QCursor>
#include <QDesktopServices>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QUrl>

#include "app/launcher_app.h"
#include "config/text_table.h"
#include "devserver/launcher_server.h"
#include "platform/window_messages.h"
#include "support/message_box_recorder.h"
#include "support/program_support.h"
#include "support/test_skin.h"

namespace {

using namespace quend::test;
using platform::PostedMessage;
using Texts = std::vector<std::string>;
const std::string kPage = "http://127.0.0.1:1/";  // nobody serves it: loads fail at once

// Records the addresses the desktop would open.
class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    Texts urls;
public slots:
    void open(const QUrl& url) { urls.push_back(url.toString().toStdString()); }
};

// A launcher folder in a game folder, with skin and language; the app as start-up leaves it.
class LauncherDlgTest : public ::testing::Test {
protected:
    LauncherDlgTest() {
        config::SetTextFile((m_launcherDir / "Launcher.Chs").string());
        platform::SetMessageCaption("Launcher");
        m_app.m_strSkinIni = (m_launcherDir / "Skin.ini").string();
        m_app.m_strResourcePath = (m_launcherDir / "Res" / "Chs").string();
        m_app.m_pszModuleDir = m_launcherDir.string() + "/";
        m_app.m_config.homePage = kPage + "home";
        m_app.m_config.notice = kPage + "notice";
        m_app.m_config.onelineNotice = kPage + "line";
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

    TempDir m_dir;
    std::filesystem::path m_launcherDir = WriteTestSkin(m_dir / "Launcher");
    WorkingFolder m_working{m_launcherDir};
    MessageBoxRecorder m_messages;
    app::CLauncherApp m_app{"", ""};
    std::optional<ui::CLauncherDlg> m_dialog;
};

// The skin sizes the window and places the controls; the bars paint on black; the web panels load
// but never show. The picture stays in the build folder for people to look at.
TEST_F(LauncherDlgTest, TheSkinPlacesAndPaintsTheWindow) {
    ui::CLauncherDlg& dialog = Open();
    EXPECT_EQ(dialog.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(Start().geometry(), QRect(468, 236, 124, 40));
    EXPECT_EQ(Child<ui::CExplorer1>("Notice").geometry(), QRect(440, 60, 176, 60));
    EXPECT_FALSE(Start().isEnabled()) << "not connected";
    Texts urls;
    for (const char* name : {"webHome", "CashItem", "Notice", "OneLineNotice"}) {
        urls.push_back(Child<ui::CExplorer1>(name).LocationURL());
        EXPECT_FALSE(Child<ui::CExplorer1>(name).isVisible()) << name;
    }
    EXPECT_EQ(urls, (Texts{kPage + "home", "", kPage + "notice", kPage + "line"}));

    // Posted messages arrive as events (what each one shows is the controller's test).
    const auto post = [&](unsigned id, std::intptr_t wParam, std::intptr_t lParam = 0) {
        dialog.Target().Post(PostedMessage{id, wParam, lParam, {}});
        QCoreApplication::processEvents();
    };
    post(platform::WM_DOWN_RANGE, 0x200000);
    post(platform::WM_DOWN_PROGRESS, 0x50000);
    post(platform::WM_TOTAL_PROGRESS, 1, 2);
    EXPECT_EQ(Child<QProgressBar>("DownProgress").value(), 0x50000);
    const QImage shot = dialog.grab().toImage();
    EXPECT_TRUE(shot.save(QUEND_SCREENSHOT));
    EXPECT_EQ(shot.pixelColor(40, 330), QColor(174, 112, 65));
    EXPECT_EQ(shot.pixelColor(600, 330), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(40, 352), QColor(250, 227, 141));
    EXPECT_EQ(shot.pixelColor(600, 352), QColor(Qt::black));
    EXPECT_TRUE(m_messages.take().empty());
}

// Enter and Escape neither start nor close.
TEST_F(LauncherDlgTest, TheDialogKeysDoNothing) {
    ui::CLauncherDlg& dialog = Open();
    QLineEdit& user = Child<QLineEdit>("UserName");
    user.setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(&user, key);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(m_messages.take().empty());
}

TEST_F(LauncherDlgTest, APressOnTheSurfaceDragsTheWindow) {
    ui::CLauncherDlg& dialog = Open();
    const QPoint from = dialog.pos();
    QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(300, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(330, 45), dialog.mapToGlobal(QPointF(330, 45)),
                     Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&dialog, &move);
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(330, 45));
    EXPECT_EQ(dialog.pos() - from, QPoint(30, 25));
}

TEST_F(LauncherDlgTest, BothSmallButtonsOpenTheHomePage) {
    Open();
    UrlRecorder browser;
    QDesktopServices::setUrlHandler("http", &browser, "open");
    QTest::mouseClick(&Child<ui::CMyButton>("Home"), Qt::LeftButton);
    QTest::mouseClick(&Child<ui::CMyButton>("Help"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("http");
    EXPECT_EQ(browser.urls, (Texts{kPage + "home", kPage + "home"}));
}

// The lists arrive through the window's events; a press on a row's label selects its game and
// Start shows the update images, a press on the other tree's label moves the selection there.
TEST_F(LauncherDlgTest, AClickOnATreeRowSelectsItsGame) {
    devserver::LauncherServerConfig config;
    for (const char* name : {"Quendalor", "Sylvan"})
        config.games.push_back({name, name, 0x10004001, 0, 1, kPage, "", 0});
    config.groups = {{"Quendalor", "", "North", {{{{0x7F000001u, 7000}}, 1, 10}}},
                     {"Sylvan", "", "Woods", {{{{0x7F000001u, 7001}}, 1, 10}}}};
    devserver::CLauncherServer server(config);
    ASSERT_TRUE(server.Start());
    m_app.m_config.treeServer = "127.0.0.1:" + std::to_string(server.Port());
    ASSERT_TRUE(m_app.m_bConnected = m_app.ConnectServer());
    ui::CLauncherDlg& dialog = Open();
    ASSERT_TRUE(m_app.SendRequest(30));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Child("RSVRTree").topLevelItemCount() > 0; }));
    const auto image = [&] {
        const std::string& path = Start().CurrentImagePath();
        return path.substr(path.find_last_of("/\\") + 1);
    };
    EXPECT_EQ(image(), "UpdateNormal.bmp");

    const auto click = [&](const char* treeName, const QPoint& offset = {}) {
        ui::CServerTree& tree = Child(treeName);
        const QPoint at = tree.LabelRect(tree.topLevelItem(0)).center() + offset;
        QCursor::setPos(tree.viewport()->mapToGlobal(at));
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
    };
    click("RSVRTree");
    EXPECT_EQ(dialog.Controller().GameName(), "Sylvan");
    click("LSVRTree", QPoint(120, 0));  // beside the label: the focus moves, no row is chosen
    EXPECT_EQ(dialog.Controller().GameName(), "Sylvan");
    EXPECT_EQ(Child("LSVRTree").SelectedRow(), frontend::kNoRow);
    EXPECT_EQ(Child("RSVRTree").SelectedRow(), frontend::kNoRow);
    click("LSVRTree");
    EXPECT_EQ(dialog.Controller().GameName(), "Quendalor");
    EXPECT_EQ(Child("LSVRTree").SelectedRow(), 0);
    EXPECT_EQ(image(), "UpdateNormal.bmp");
    EXPECT_TRUE(m_messages.take().empty());
    m_dialog.reset();  // its kept-alive connection would hold up the server's end
}

}  // namespace

#include "launcher_dlg_test.moc"
