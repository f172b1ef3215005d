// The whole launcher in this process, played as a player would: against the launcher server,
// the update server and the account service on loopback, through an installation in a temporary
// folder, up to the stand-in game started with the session and the launcher's end.
//
// What only this test catches: the application, the window, the receive thread, the check pass
// and the download thread working together in one process, so that the sanitizer builds (asan,
// tsan) see their races and leaks; and, without any display, the bytes the update wrote and the
// overall bar's range. The built program as a player gets it (the staged demo, the self-update
// into Temp.exe, the skin on a real display, the code dialog as its own window) is
// tests/e2e/window_flow_test.sh's.

#include <sys/wait.h>

#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include "devserver/account_service.h"
#include "devserver/launcher_server.h"
#include "devserver/update_server.h"
#include "installation.h"
#include "pack/checksum_writer.h"
#include "patch/pass_progress.h"
#include "protocol/version.h"
#include "support/message_box_recorder.h"
#include "support/program_support.h"
#include "ui/launcher_dlg.h"

namespace {

using namespace quend::test;
using testing::AllOf;
using testing::HasSubstr;

constexpr auto kSlow = std::chrono::seconds(30);  // sanitizer builds

class WholeProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
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

    // Runs the launcher and, once its window is up, chooses the only server group, updates the
    // game, waits for the end of the update and logs in; the exit code. The overall bar's highest
    // value is kept.
    int LogInAs(const char* user, const char* password) {
        const WorkingFolder working(m_install.launcherDir);
        InstalledLauncher app(m_install.launcherDir / "Launcher");
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<ui::CLauncherDlg*>(app.m_pMainWnd);
            ASSERT_NE(dialog, nullptr);
            UpdateAndLogIn(*dialog, user, password);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the launcher is still open";
                dialog->Controller().OnCancel();
            }
        });
        return app.Run();
    }

    void UpdateAndLogIn(ui::CLauncherDlg& dialog, const char* user, const char* password) {
        auto& tree = *dialog.findChild<ui::CServerTree*>("RSVRTree");
        ASSERT_TRUE(QTest::qWaitFor([&] { return tree.topLevelItemCount() == 1; }, 10000));
        const QPoint at = tree.LabelRect(tree.topLevelItem(0)).center();
        QCursor::setPos(tree.viewport()->mapToGlobal(at));
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
        ASSERT_EQ(dialog.Controller().GameName(), "Quendalor");
        QObject::connect(dialog.findChild<QProgressBar*>("TotalProgress"),
                         &QProgressBar::valueChanged, &dialog,
                         [this](int value) { m_totalMax = std::max(m_totalMax, value); });
        auto& start = *dialog.findChild<QAbstractButton*>("GameButton");
        QTest::mouseClick(&start, Qt::LeftButton);
        auto& status = *dialog.findChild<QLineEdit*>("FileView");
        ASSERT_TRUE(QTest::qWaitFor([&] { return status.text() == "更新已完成.."; }, 30000));
        QTest::keyClicks(dialog.findChild<QLineEdit*>("UserName"), user);
        QTest::keyClicks(dialog.findChild<QLineEdit*>("Password"), password);
        QTest::mouseClick(&start, Qt::LeftButton);
    }

    // The stand-in game ran from the launcher's folder with this account's session.
    void ExpectGameStartedAs(const std::string& userId, const std::string& userKey) {
        const auto record = m_install.gameDir / "Bin" / "Qnd.exe.record";
        ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(record); }, kSlow));
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        EXPECT_EQ(readLines(record), (std::vector<std::string>{
                                         "cwd=" + m_install.launcherDir.string(),
                                         "arg=USERID=" + userId, "arg=USERKEY=" + userKey,
                                         "arg=UNDERAGE=0", "arg=-LauncherPassed", "arg=-pzqmvt"}));
        std::filesystem::remove(record);
    }

    Installation m_install;
    TempDir m_served;
    MessageBoxRecorder m_messages;
    devserver::CUpdateServer m_updates{m_served.path()};
    devserver::CAccountService m_accounts{{{"alice", "secret1", "alice", "x7k", ""}}};
    std::optional<devserver::CLauncherServer> m_server;
    int m_totalMax = 0;
};

TEST_F(WholeProgramTest, FromTheServerListToTheGame) {
    EXPECT_EQ(LogInAs("alice", "secret1"), 0);
    EXPECT_EQ(m_messages.take(), std::vector<std::string>{});
    EXPECT_EQ(m_totalMax, patch::CPassProgress::kRange);  // the overall bar full at the end
    EXPECT_EQ(readFile(m_install.gameDir / "Data" / "a.txt"), "new text");
    EXPECT_EQ(readFile(m_install.gameDir / "Data" / "b.pak"),
              readFile(m_served / "Data" / "b.pak"));
    EXPECT_FALSE(std::filesystem::exists(m_install.gameDir / "checksum_all.md5"));
    ExpectGameStartedAs("alice", "x7k");
    const std::string ini = readFile(m_install.gameDir / "Bin" / "Qnd.ini");
    EXPECT_THAT(ini, AllOf(HasSubstr("ServerHost=10.0.0.5"), HasSubstr("ServerPort=7001"),
                           HasSubstr("ServerSetInfo=10.0.0.5:7001")));
}

}  // namespace
