// The whole launcher in this process, played as a player would: against the launcher server,
// the update server and the account service on loopback, through an installation in a temporary
// folder, up to the stand-in game started with the session and the launcher's end.

#include <sys/wait.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include "devserver/account_service.h"
#include "devserver/launcher_server.h"
#include "devserver/update_server.h"
#include "installation.h"
#include "launch/launch_test_util.h"
#include "pack/checksum_writer.h"
#include "patch/pass_progress.h"
#include "protocol/version.h"
#include "support/message_box_recorder.h"
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
        CChecksumWriter(m_served.path(), m_served.path()).Run("");
        ASSERT_TRUE(m_updates.Start());
        ASSERT_TRUE(m_accounts.Start());
        const std::string updates = "http://127.0.0.1:" + std::to_string(m_updates.Port());
        const auto version = static_cast<int32_t>(pack_version(1, 0, 1));
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
                dialog->OnCancel();
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
        ASSERT_EQ(dialog.GameName(), "Quendalor");
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
    std::mutex m_codeMutex;
    std::string m_code;  // the six digits of the last code the service "sent"
    devserver::CAccountService m_accounts{{{"alice", "secret1", "alice", "x7k", ""},
                                           {"bobby", "hunter22", "10002", "kb0b", "138 0000 5678"}},
                                          [this](const std::string& line) {
                                              std::lock_guard lock(m_codeMutex);
                                              if (const std::size_t at = line.find(" code ");
                                                  at != std::string::npos)
                                                  m_code = line.substr(at + 6, 6);
                                          }};
    std::optional<devserver::CLauncherServer> m_server;
    int m_totalMax = 0;
};

TEST_F(WholeProgramTest, FromTheServerListToTheGameWithAndWithoutTheSmsCode) {
    EXPECT_EQ(LogInAs("alice", "secret1"), 0);
    EXPECT_EQ(m_messages.take(), std::vector<std::string>{});
    EXPECT_EQ(m_totalMax, CPassProgress::kRange);  // the overall bar full at the end
    EXPECT_EQ(readFile(m_install.gameDir / "Data" / "a.txt"), "new text");
    EXPECT_EQ(readFile(m_install.gameDir / "Data" / "b.pak"),
              readFile(m_served / "Data" / "b.pak"));
    EXPECT_FALSE(std::filesystem::exists(m_install.gameDir / "checksum_all.md5"));
    ExpectGameStartedAs("alice", "x7k");
    const std::string ini = readFile(m_install.gameDir / "Bin" / "Qnd.ini");
    EXPECT_THAT(ini, AllOf(HasSubstr("ServerHost=10.0.0.5"), HasSubstr("ServerPort=7001"),
                           HasSubstr("ServerSetInfo=10.0.0.5:7001")));

    // The files are current now; this account wants a code by SMS, typed into the code dialog.
    // The dialog is modal: a timer looks for it.
    bool answered = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        QWidget* prompt = QApplication::activeModalWidget();
        auto* getCode = prompt ? prompt->findChild<QAbstractButton*>("btnGetCode") : nullptr;
        if (getCode == nullptr || std::exchange(answered, true))
            return;
        getCode->click();
        const std::string code = [&] {
            std::lock_guard lock(m_codeMutex);
            return m_code;
        }();
        QTest::keyClicks(prompt->findChild<QLineEdit*>("editCode"), QString::fromStdString(code));
        prompt->findChild<QAbstractButton*>("btnOk")->click();
    });
    look.start(20);
    EXPECT_EQ(LogInAs("bobby", "hunter22"), 0);
    EXPECT_TRUE(answered);
    ExpectGameStartedAs("10002", "kb0b");
}

}  // namespace
