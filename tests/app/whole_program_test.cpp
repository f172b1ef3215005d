// The whole launcher in this process, played as a player would: against the launcher server,
// the update server and the account service on loopback, through an installation in a temporary
// folder, up to the stand-in game started with the session and the launcher's end.

#include <sys/wait.h>

#include <functional>
#include <mutex>
#include <string>
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
    WholeProgramTest() {
        copyProgram(QUEND_FAKE_GAME, m_install.gameDir / "Bin" / "Qnd.exe");
        writeFile(m_install.gameDir / "Data" / "a.txt", "old text");
        writeFile(m_served / "Data" / "a.txt", "new text");
        writeFile(m_served / "Data" / "b.pak", randomBytes(900 * 1024, 3));
        CChecksumWriter(m_served.path(), m_served.path()).Run("");
    }

    void SetUp() override {
        ASSERT_TRUE(m_updates.Start());
        ASSERT_TRUE(m_accounts.Start());
        const protocol::GameRecord game{"Quendalor",
                                        "Quendalor",
                                        static_cast<int32_t>(pack_version(1, 0, 1)),
                                        0,
                                        1,
                                        "http://127.0.0.1:" + std::to_string(m_updates.Port()),
                                        "",
                                        0};
        const protocol::ServerGroup group{
            "Quendalor", "", "North", {{{{0x0A000005u, 7001}}, 1, 10}}};
        m_server.emplace(devserver::LauncherServerConfig{0, false, "", {game}, {group}});
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

    // Chooses the only server group, updates the game and waits for the end of the update.
    static void ChooseAndUpdate(ui::CLauncherDlg& dialog, int* downMax, int* totalMax) {
        auto& tree = *dialog.findChild<ui::CServerTree*>("RSVRTree");
        ASSERT_TRUE(QTest::qWaitFor([&] { return tree.topLevelItemCount() == 1; }, 10000));
        const QPoint at = tree.LabelRect(tree.topLevelItem(0)).center();
        QCursor::setPos(tree.viewport()->mapToGlobal(at));
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, at);
        ASSERT_EQ(dialog.GameName(), "Quendalor");

        for (const auto& [name, highest] :
             {std::pair{"DownProgress", downMax}, std::pair{"TotalProgress", totalMax}}) {
            QObject::connect(dialog.findChild<QProgressBar*>(name), &QProgressBar::valueChanged,
                             &dialog,
                             [highest](int value) { *highest = std::max(*highest, value); });
        }
        QTest::mouseClick(dialog.findChild<QAbstractButton*>("GameButton"), Qt::LeftButton);
        auto& status = *dialog.findChild<QLineEdit*>("FileView");
        ASSERT_TRUE(QTest::qWaitFor([&] { return status.text() == "更新已完成.."; }, 30000));
    }

    static void LogIn(ui::CLauncherDlg& dialog, const char* user, const char* password) {
        QTest::keyClicks(dialog.findChild<QLineEdit*>("UserName"), user);
        QTest::keyClicks(dialog.findChild<QLineEdit*>("Password"), password);
        QTest::mouseClick(dialog.findChild<QAbstractButton*>("GameButton"), Qt::LeftButton);
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

    // The six digits of the last code the service "sent".
    std::string LastCode() {
        std::lock_guard lock(m_logMutex);
        for (auto line = m_log.rbegin(); line != m_log.rend(); ++line) {
            const std::size_t at = line->find(" code ");
            if (at != std::string::npos)
                return line->substr(at + 6, 6);
        }
        return {};
    }

    Installation m_install;
    TempDir m_served;
    MessageBoxRecorder m_messages;
    devserver::CUpdateServer m_updates{m_served.path()};
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
    devserver::CAccountService m_accounts{{{"alice", "secret1", "alice", "x7k", ""},
                                           {"bobby", "hunter22", "10002", "kb0b", "138 0000 5678"}},
                                          [this](const std::string& line) {
                                              std::lock_guard lock(m_logMutex);
                                              m_log.push_back(line);
                                          }};
    std::optional<devserver::CLauncherServer> m_server;
};

TEST_F(WholeProgramTest, FromTheServerListToTheGameWithAndWithoutTheSmsCode) {
    int downMax = 0;
    int totalMax = 0;
    EXPECT_EQ(RunLauncher([&](ui::CLauncherDlg& dialog) {
                  ChooseAndUpdate(dialog, &downMax, &totalMax);
                  if (!HasFatalFailure())
                      LogIn(dialog, "alice", "secret1");
              }),
              0);
    EXPECT_EQ(m_messages.take(), std::vector<std::string>{});
    EXPECT_GT(downMax, 0);
    EXPECT_EQ(totalMax, 2);  // two listed files, a range of three
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
    int looks = 0;
    std::function<void()> answerCode = [&] {
        QWidget* prompt = QApplication::activeModalWidget();
        auto* getCode =
            prompt != nullptr ? prompt->findChild<QAbstractButton*>("btnGetCode") : nullptr;
        if (getCode == nullptr) {
            if (++looks < 1500)
                QTimer::singleShot(20, answerCode);
            else
                ADD_FAILURE() << "no code dialog";
            return;
        }
        getCode->click();
        QTest::keyClicks(prompt->findChild<QLineEdit*>("editCode"),
                         QString::fromStdString(LastCode()));
        prompt->findChild<QAbstractButton*>("btnOk")->click();
    };
    EXPECT_EQ(RunLauncher([&](ui::CLauncherDlg& dialog) {
                  ChooseAndUpdate(dialog, &downMax, &totalMax);
                  QTimer::singleShot(20, answerCode);
                  if (!HasFatalFailure())
                      LogIn(dialog, "bobby", "hunter22");
              }),
              0);
    EXPECT_EQ(GameArguments(),
              (std::vector<std::string>{"USERID=10002", "USERKEY=kb0b", "UNDERAGE=0",
                                        "-LauncherPassed", "-pzqmvt"}));
}

}  // namespace
