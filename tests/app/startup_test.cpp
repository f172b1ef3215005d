// Start-up and shutdown in this process, without the main window CLauncherApp would add: the silent
// end, a missing or refused connection's messages, the derived paths, the single-instance lock and
// its request to raise the running window. The Launcher program as a process, its boxes logged
// (QUEND_MESSAGE_LOG): a copy refused alone removes its file. (Beside a running copy: tests/e2e.)

#include <sys/prctl.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QApplication>
#include <QTest>
#include <QWidget>

#include "app/instance_lock.h"
#include "app/launcher_app.h"
#include "devserver/launcher_server.h"
#include "installed_launcher.h"
#include "platform/process.h"
#include "support/installation.h"
#include "support/message_box_recorder.h"
#include "support/program_support.h"
#include "support/test_skin.h"

namespace {

using namespace quend::test;

class StartupTest : public ::testing::Test {
protected:
    StartupTest() { WriteTestSkin(m_install.launcherDir); }

    Installation m_install;
    MessageBoxRecorder m_messages;
};

// Without Launcher.ini nothing is said. An empty TREE_SERVER is reported by the connection, then
// the missing connection; with LANGUAGE empty the text file is "Launcher." and its lookups show
// the key. The window may still open.
TEST_F(StartupTest, StartUpGoesOnAfterAConnectionFailure) {
    InstalledLauncher silent(m_install.launcherDir / "Launcher.exe");
    EXPECT_FALSE(silent.CClientApp::InitInstance());
    EXPECT_EQ(silent.ExitInstance(), 0);
    EXPECT_TRUE(m_messages.texts().empty());
    EXPECT_FALSE(silent.m_bTempCopy);

    m_install.WriteLauncherIni({{"LANGUAGE", ""}, {"RESOURCE_DIR", "Res\\"}});
    InstalledLauncher app(m_install.launcherDir / "Launcher.exe");
    EXPECT_TRUE(app.CClientApp::InitInstance());
    EXPECT_EQ(m_messages.take(), (std::vector<std::string>{"无法从配置文件读取服务器信息.",
                                                           "[?General.ConnectionFailed?]"}));
    EXPECT_EQ(std::make_tuple(app.m_bConnected, app.m_bTempCopy, platform::MessageCaption()),
              std::make_tuple(false, true, std::string("Launcher")));
    const std::string folder = m_install.launcherDir.string() + "/";
    EXPECT_EQ(
        (std::vector{app.m_pszModuleDir, app.m_strSkinIni, app.m_pszTextFile,
                     app.m_strResourcePath}),
        (std::vector<std::string>{folder, folder + "/Skin.ini", folder + "Launcher.", "Res\\"}));
    app.ExitInstance();

    // A refusing server: the language file's text alone; the resource folder joins with one "/".
    m_install.WriteLauncherIni({{"TREE_SERVER", "127.0.0.1:1"}});
    InstalledLauncher refused(m_install.launcherDir / "Launcher.exe");
    EXPECT_TRUE(refused.CClientApp::InitInstance());
    EXPECT_EQ(m_messages.take(), std::vector<std::string>{kConnectionFailed});
    EXPECT_EQ(refused.m_strResourcePath, (m_install.launcherDir / "Res" / "Chs").string());
    refused.ExitInstance();
    EXPECT_EQ(frontend::JoinResourcePath("Res\\", "\\Chs"), "Res/Chs");
    EXPECT_EQ(frontend::JoinResourcePath("/", "Chs"), "/Chs");
    EXPECT_EQ(frontend::ApplicationTitle("my.launcher.exe"), "my.launcher");
}

// A second start under the same file name raises the first one's window and gives up; the
// temporary copy's name is another lock; a lock left by a process that ended is taken over.
TEST_F(StartupTest, OneLauncherPerProgramFileName) {
    m_install.WriteLauncherIni({});
    const std::filesystem::path program = m_install.launcherDir / "Launcher.exe";
    InstalledLauncher first(program);
    ASSERT_TRUE(first.CClientApp::InitInstance());
    m_messages.take();
    QWidget window;
    window.setWindowTitle("QUEND LAUNCHER");
    first.m_pMainWnd = &window;
    window.show();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &other; }));

    InstalledLauncher second(program);
    EXPECT_FALSE(second.CClientApp::InitInstance());
    EXPECT_EQ(m_messages.take(), std::vector<std::string>{"不允许启动多个登录器"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }));
    EXPECT_EQ(second.ExitInstance(), 0);

    InstalledLauncher copy(m_install.launcherDir / "Temp.exe");
    EXPECT_TRUE(copy.CClientApp::InitInstance());
    copy.ExitInstance();

    first.m_pMainWnd = nullptr;
    first.ExitInstance();
    InstalledLauncher later(program);
    EXPECT_TRUE(later.CClientApp::InitInstance());
    later.ExitInstance();

    // What a launcher ended at once leaves in the lock's place (a plain file for the socket).
    writeFile(m_install.temp / app::CInstanceLock::LockName("Launcher.exe").toStdString(), "");
    InstalledLauncher afterCrash(program);
    EXPECT_TRUE(afterCrash.CClientApp::InitInstance());
    EXPECT_NE(afterCrash.m_hMutex, nullptr);
    afterCrash.ExitInstance();
    for (const std::string& text : m_messages.take())
        EXPECT_NE(text, "不允许启动多个登录器");
}

constexpr auto kSlow = std::chrono::seconds(30);  // sanitizer builds start slowly

// Copies of the launcher are orphaned when their parent ends; this process collects them.
class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        ::setenv("QUEND_MESSAGE_LOG", m_log.c_str(), 1);
        WriteTestSkin(m_install.launcherDir);
        copyProgram(QUEND_LAUNCHER, m_install.launcherDir / "Launcher");
    }
    ~ProgramTest() override {
        ::unsetenv("QUEND_MESSAGE_LOG");
        // Launchers of this installation that a failed test left running.
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const int pid = std::atoi(entry.path().filename().c_str());
            if (pid > 0 &&
                platform::ProcessExePath(pid).starts_with(m_install.launcherDir.string()))
                platform::EndProcess(pid, std::chrono::seconds(2));
        }
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }

    Installation m_install;
    std::string m_log = (m_install.temp.path() / "boxes.log").string();
};

// A copy refused by a copy that runs from another file (here the lock is this test's, as another
// installation's copy would hold it) is the last process of its own file and removes it.
TEST_F(ProgramTest, ACopyRefusedAloneRemovesItsFile) {
    m_install.WriteLauncherIni({});
    std::unique_ptr<app::CInstanceLock> elsewhere;
    ASSERT_TRUE(app::CInstanceLock::Acquire("Temp.exe", {}, elsewhere));
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess((m_install.launcherDir / "Launcher").string(), {},
                                       m_install.launcherDir.string(), &pid));
    EXPECT_EQ(Child(pid).Wait(kSlow), 0);
    int copy = 0;  // the copy it handed over to
    ASSERT_TRUE(waitFor([&] { return ::waitpid(-1, &copy, WNOHANG) > 0; }, kSlow));
    EXPECT_TRUE(WIFEXITED(copy) && WEXITSTATUS(copy) == 0) << copy;
    EXPECT_EQ(readLines(m_log), std::vector<std::string>{"Temp\t不允许启动多个登录器"});
    EXPECT_FALSE(std::filesystem::exists(m_install.launcherDir / "Temp.exe"));
    EXPECT_TRUE(std::filesystem::exists(m_install.launcherDir / "Launcher"));
}

// A lost connection ends the copy at once, after its box; its file goes with it all the same.
TEST_F(ProgramTest, ACopyEndedByALostConnectionRemovesItsFile) {
    std::atomic<int> connected{0};
    devserver::CLauncherServer server({}, [&](const std::string& line) {
        connected += line.find("request 40") != std::string::npos;
    });
    ASSERT_TRUE(server.Start());
    m_install.WriteLauncherIni({{"TREE_SERVER", "127.0.0.1:" + std::to_string(server.Port())}});
    platform::ProcessId pid = 0;
    ASSERT_TRUE(platform::StartProcess((m_install.launcherDir / "Launcher").string(), {},
                                       m_install.launcherDir.string(), &pid));
    EXPECT_EQ(Child(pid).Wait(kSlow), 0);
    ASSERT_TRUE(waitFor([&] { return connected > 0; }, kSlow));
    server.Stop();
    int copy = 0;
    ASSERT_TRUE(waitFor([&] { return ::waitpid(-1, &copy, WNOHANG) > 0; }, kSlow));
    EXPECT_TRUE(WIFEXITED(copy) && WEXITSTATUS(copy) == 0) << copy;
    EXPECT_EQ(readLines(m_log), std::vector<std::string>{"Temp\t" + std::string(kDisconnected)});
    EXPECT_FALSE(std::filesystem::exists(m_install.launcherDir / "Temp.exe"));
}

}  // namespace
