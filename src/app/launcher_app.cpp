#include "app/launcher_app.h"

#include <memory>
#include <utility>

#include <QApplication>
#include <QWidget>

#include "app/instance_lock.h"
#include "platform/process.h"
#include "ui/launcher_dlg.h"

namespace app {

CLauncherApp::CLauncherApp(std::string modulePath, std::string commandLine)
    : frontend::CClientApp(std::move(modulePath), std::move(commandLine)) {
    // Boxes shown before the main window must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
}

bool CLauncherApp::InitInstance() {
    if (!CClientApp::InitInstance())
        return false;
    // Where the window ends the process at once (a lost connection, Qnd.ini not written), the
    // copy's file goes as at a normal end.
    ui::CLauncherDlg dialog(*this, [this](int code) {
        ExitInstance();
        platform::ExitProcessNow(code);
    });
    m_pMainWnd = &dialog;
    dialog.exec();
    m_pMainWnd = nullptr;
    return false;
}

int CLauncherApp::ExitInstance() {
    return CClientApp::ExitInstance();
}

bool CLauncherApp::CheckSingleInstance(const std::string& name) {
    std::unique_ptr<CInstanceLock> lock;
    if (!CInstanceLock::Acquire(
            name, [this] { RaiseMainWindow(); }, lock))
        return false;
    m_hMutex = std::move(lock);
    return true;
}

void CLauncherApp::RaiseMainWindow() {
    if (m_pMainWnd == nullptr)
        return;
    m_pMainWnd->showNormal();
    m_pMainWnd->raise();
    m_pMainWnd->activateWindow();
}

}  // namespace app
