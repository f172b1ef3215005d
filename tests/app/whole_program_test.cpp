// The whole launcher in this process, played as a player would: against the launcher server,
// the update server and the account service on loopback, through an installation in a temporary
// folder, up to the stand-in game started with the session and the launcher's end.

#include <sys/wait.h>

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

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
#include "protocol/version.h"
#include "support/message_box_recorder.h"
#include "ui/launcher_dlg.h"

namespace {

using namespace quend::test;

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

    // Runs the launcher, with `play` acting in its window once it is up; the exit code.
    int RunLauncher(const std::function<void(ui::CLauncherDlg&)>& play) {
        const WorkingFolder working(m_install.launcherDir);
        InstalledLauncher app(m_install.launcherDir / "Launcher");
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<ui::CLauncherDlg*>(app.m_pMainWnd);
            if (dialog == nullptr) {
                ADD_FAILURE() << "no main window";
                return;
            }
            play(*dialog);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the launcher is still open";
                dialog->OnCancel();
            }
        });
        return app.Run();
    }

    // Chooses the only server group, updates the game, waits for the end of the update and logs
    // in; the bars' highest values are kept.
    void UpdateAndLogIn(ui::CLauncherDlg& dialog, const char* user, const char* password) {
        auto& tree = *dialog.findChild<ui::CServerTree*>("RSVRTree");
        ASSERT_TRUE(QTest::qWaitFor([&] { return tree.topLevelItemCount() == 1; }, 10000));
        const QPoint at = tree.LabelRect(tree.topLevelItem(0)).center();
        QCursor::setPos(tree.viewport()->mapToGlobal(at));
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
        ASSERT_EQ(dialog.GameName(), "Quendalor");
        for (auto [name, highest] :
             {std::pair{"DownProgress", &m_downMax}, std::pair{"TotalProgress", &m_totalMax}}) {
            QObject::connect(dialog.findChild<QProgressBar*>(name), &QProgressBar::valueChanged,
                             &dialog,
                             [highest](int value) { *highest = std::max(*highest, value); });
        }
        auto& start = *dialog.findChild<QAbstractButton*>("GameButton");
        QTest::mouseClick(&start, Qt::LeftButton);
        auto& status = *dialog.findChild<QLineEdit*>("FileView");
        ASSERT_TRUE(QTest::qWaitFor([&] { return status.text() == "更新已完成.."; }, 30000));
        QTest::keyClicks(dialog.findChild<QLineEdit*>("UserName"), user);
        QTest::keyClicks(dialog.findChild<QLineEdit*>("Password"), password);
        QTest::mouseClick(&start, Qt::LeftButton);
    }

    // The arguments the stand-in game was started with, once it has ended.
    std::vector<std::string> GameArguments() {
        const auto record = m_install.gameDir / "Bin" / "Qnd.exe.record";
        EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(record); }, kSlow));
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        std::vector<std::string> args;
        for (const std::string& line : readLines(record)) {
            if (line.rfind("arg=", 0) == 0)
                args.push_back(line.substr(4));
            else
                EXPECT_EQ(line, "cwd=" + m_install.launcherDir.string());
        }
        std::filesystem::remove(record);
        return args;
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
    int m_downMax = 0;
    int m_totalMax = 0;
};

TEST_F(WholeProgramTest, FromTheServerListToTheGameWithAndWithoutTheSmsCode) {
    EXPECT_EQ(
        RunLauncher([&](ui::CLauncherDlg& dialog) { UpdateAndLogIn(dialog, "alice", "secret1"); }),
        0);
    EXPECT_EQ(m_messages.take(), std::vector<std::string>{});
    EXPECT_GT(m_downMax, 0);
    EXPECT_EQ(m_totalMax, 2);  // two listed files, a range of three
    EXPECT_EQ(readFile(m_install.gameDir / "Data" / "a.txt"), "new text");
    EXPECT_EQ(readFile(m_install.gameDir / "Data" / "b.pak"),
              readFile(m_served / "Data" / "b.pak"));
    EXPECT_FALSE(std::filesystem::exists(m_install.gameDir / "checksum_all.md5"));
    EXPECT_EQ(GameArguments(),
              (std::vector<std::string>{"USERID=alice", "USERKEY=x7k", "UNDERAGE=0",
                                        "-LauncherPassed", "-pzqmvt"}));
    const std::string ini = readFile(m_install.gameDir / "Bin" / "Qnd.ini");
    EXPECT_NE(ini.find("ServerHost=10.0.0.5"), std::string::npos) << ini;
    EXPECT_NE(ini.find("ServerPort=7001"), std::string::npos) << ini;
    EXPECT_NE(ini.find("ServerSetInfo=10.0.0.5:7001"), std::string::npos) << ini;

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
    EXPECT_EQ(
        RunLauncher([&](ui::CLauncherDlg& dialog) { UpdateAndLogIn(dialog, "bobby", "hunter22"); }),
        0);
    EXPECT_TRUE(answered);
    EXPECT_EQ(GameArguments(),
              (std::vector<std::string>{"USERID=10002", "USERKEY=kb0b", "UNDERAGE=0",
                                        "-LauncherPassed", "-pzqmvt"}));
}

}  // namespace
