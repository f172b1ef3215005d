// The whole launcher in this process, played against the launcher server, the update server and
// the account service on loopback, up to the stand-in game and its end. What only this test
// catches: the application, window, receive thread, check pass and download thread together in one
// process, where asan and tsan see their races and leaks. (The built program: tests/e2e.)

#include <sys/wait.h>

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include "devserver/account_service.h"
#include "devserver/launcher_server.h"
#include "devserver/update_server.h"
#include "installed_launcher.h"
#include "pack/checksum_writer.h"
#include "patch/pass_progress.h"
#include "protocol/version.h"
#include "support/installation.h"
#include "support/message_box_recorder.h"
#include "support/program_support.h"
#include "support/test_skin.h"
#include "ui/launcher_dlg.h"

namespace {

using namespace quend::test;

constexpr auto kSlow = std::chrono::seconds(30);  // sanitizer builds

class WholeProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTestSkin(m_install.launcherDir);
        copyProgram(QUEND_FAKE_GAME, m_install.gameDir / "Bin" / "Qnd.exe");
        writeFile(m_install.gameDir / "Data" / "a.txt", "old text");
        writeFile(m_served / "Data" / "a.txt", "new text");
        writeFile(m_served / "Data" / "b.pak", randomBytes(900 * 1024, 3));
        pack::CChecksumWriter(m_served.path(), m_served.path()).Run("");
        ASSERT_TRUE(m_updates.Start());
        ASSERT_TRUE(m_accounts.Start());
        const std::string updates = "http://127.0.0.1:" + std::to_string(m_updates.Port());
        const auto version = static_cast<int32_t>(protocol::pack_version(1, 0, 1));
        m_server.emplace(devserver::LauncherServerConfig{
            .trailer = "",
            .games = {{"Quendalor", "Quendalor", version, 0, 1, updates, "", 0}},
            .groups = {{"Quendalor", "", "North", {{{{0x0A000005u, 7001}}, 1, 10}}}}});
        ASSERT_TRUE(m_server->Start());
        m_install.WriteLauncherIni(
            {{"TREE_SERVER", "127.0.0.1:" + std::to_string(m_server->Port())}}, "Quendalor",
            "1.0.0", "127.0.0.1:" + std::to_string(m_accounts.Port()));
    }

    Installation m_install;
    TempDir m_served;
    MessageBoxRecorder m_messages;
    devserver::CUpdateServer m_updates{m_served.path()};
    devserver::CAccountService m_accounts{{{"alice", "secret1", "alice", "x7k", ""}}};
    std::optional<devserver::CLauncherServer> m_server;
};

// Once the window is up: the only server group chosen, the game updated, a login; the bar's top.
TEST_F(WholeProgramTest, FromTheServerListToTheGame) {
    const WorkingFolder working(m_install.launcherDir);
    InstalledLauncher app(m_install.launcherDir / "Launcher");
    int totalMax = 0;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<ui::CLauncherDlg*>(app.m_pMainWnd);
        ASSERT_NE(dialog, nullptr);
        [&] {  // a failed step returns from here; the launcher is closed below either way
            auto& tree = *dialog->findChild<ui::CServerTree*>("RSVRTree");
            ASSERT_TRUE(QTest::qWaitFor([&] { return tree.topLevelItemCount() == 1; }, 10000));
            const QPoint at = tree.LabelRect(tree.topLevelItem(0)).center();
            QCursor::setPos(tree.viewport()->mapToGlobal(at));
            QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
            QObject::connect(dialog->findChild<QProgressBar*>("TotalProgress"),
                             &QProgressBar::valueChanged, dialog,
                             [&](int value) { totalMax = std::max(totalMax, value); });
            auto& start = *dialog->findChild<QAbstractButton*>("GameButton");
            QTest::mouseClick(&start, Qt::LeftButton);
            auto& status = *dialog->findChild<QLineEdit*>("FileView");
            ASSERT_TRUE(QTest::qWaitFor([&] { return status.text() == "更新已完成.."; }, 30000));
            QTest::keyClicks(dialog->findChild<QLineEdit*>("UserName"), "alice");
            QTest::keyClicks(dialog->findChild<QLineEdit*>("Password"), "secret1");
            QTest::mouseClick(&start, Qt::LeftButton);
        }();
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the launcher is still open";
            dialog->Controller().OnCancel();
        }
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(m_messages.take(), std::vector<std::string>{});
    EXPECT_EQ(totalMax, patch::CPassProgress::kRange);  // the overall bar full at the end
    EXPECT_EQ(readFile(m_install.gameDir / "Data" / "a.txt"), "new text");
    EXPECT_EQ(readFile(m_install.gameDir / "Data" / "b.pak"),
              readFile(m_served / "Data" / "b.pak"));
    EXPECT_FALSE(std::filesystem::exists(m_install.gameDir / "checksum_all.md5"));
    // The stand-in game started (what it was given is the controller's and tests/e2e's), and ended.
    ASSERT_TRUE(waitFor(
        [&] { return std::filesystem::exists(m_install.gameDir / "Bin" / "Qnd.exe.record"); },
        kSlow));
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

}  // namespace
