// Start-up and shutdown of the application object in this process: the silent end, the
// messages of a missing or refused connection, the paths start-up derives, and the
// single-instance lock with its request to raise the running window. Start-up is run without
// the main window that CLauncherApp would add.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QApplication>
#include <QTest>
#include <QWidget>

#include "app/client_app.h"
#include "app/instance_lock.h"
#include "installation.h"
#include "support/message_box_recorder.h"
#include "test_install.h"

namespace {

using namespace quend::test;

class StartupTest : public ::testing::Test {
protected:
    Installation m_install;
    MessageBoxRecorder m_messages;
};

TEST_F(StartupTest, WithoutLauncherIniTheLauncherEndsWithoutAWord) {
    InstalledLauncher app(m_install.launcherDir / "Launcher.exe");
    EXPECT_FALSE(app.CClientApp::InitInstance());
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_TRUE(m_messages.texts().empty());
    EXPECT_EQ(app.m_hMutex, nullptr);
    EXPECT_FALSE(app.m_bTempCopy);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}

// An empty TREE_SERVER is reported by the connection, then the missing connection; with LANGUAGE
// empty the text file is "Launcher." and its lookups show the key. The window may still open.
TEST_F(StartupTest, ConnectionFailuresAreReportedAndStartUpGoesOn) {
    m_install.WriteLauncherIni({{"LANGUAGE", ""}, {"RESOURCE_DIR", "Res\\"}});
    InstalledLauncher app(m_install.launcherDir / "Launcher.exe", "-nocheck");
    EXPECT_TRUE(app.CClientApp::InitInstance());
    EXPECT_EQ(m_messages.take(), (std::vector<std::string>{"无法从配置文件读取服务器信息.",
                                                           "[?General.ConnectionFailed?]"}));
    EXPECT_FALSE(app.m_bConnected);
    EXPECT_TRUE(app.m_bTempCopy);
    EXPECT_EQ(app.m_bNoCheck, 1);
    EXPECT_EQ(platform::MessageCaption(), "Launcher");
    const std::string folder = m_install.launcherDir.string() + "/";
    EXPECT_EQ(app.m_pszModuleDir, folder);
    EXPECT_EQ(app.m_strSkinIni, folder + "/Skin.ini");
    EXPECT_EQ(app.m_pszTextFile, folder + "Launcher.");
    EXPECT_EQ(app.m_strResourcePath, "Res\\");
    app.ExitInstance();

    // A server that refuses: only the language file's text; the resource folder joins the
    // language with one separator.
    m_install.WriteLauncherIni({{"TREE_SERVER", "127.0.0.1:1"}});
    InstalledLauncher refused(m_install.launcherDir / "Launcher.exe");
    EXPECT_TRUE(refused.CClientApp::InitInstance());
    EXPECT_EQ(m_messages.take(), std::vector<std::string>{kConnectionFailed});
    EXPECT_EQ(refused.m_strResourcePath, (m_install.launcherDir / "Res" / "Chs").string());
    refused.ExitInstance();
    EXPECT_EQ(JoinResourcePath("Res\\", "\\Chs"), "Res/Chs");
    EXPECT_EQ(JoinResourcePath("/", "Chs"), "/Chs");
    EXPECT_EQ(ApplicationTitle("my.launcher.exe"), "my.launcher");
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
    m_messages.take();
    copy.ExitInstance();

    first.m_pMainWnd = nullptr;
    first.ExitInstance();
    InstalledLauncher later(program);
    EXPECT_TRUE(later.CClientApp::InitInstance());
    later.ExitInstance();

    // What a launcher ended at once leaves behind: a socket file nobody listens on.
    const std::string stale =
        (m_install.locks.path() / CInstanceLock::LockName("Launcher.exe").toStdString()).string();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, stale.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    InstalledLauncher afterCrash(program);
    EXPECT_TRUE(afterCrash.CClientApp::InitInstance());
    afterCrash.ExitInstance();
    for (const std::string& text : m_messages.take())
        EXPECT_NE(text, "不允许启动多个登录器");
}

}  // namespace
