#include "win32app/launcher_app.h"

#include <memory>
#include <utility>

#include "platform/process.h"
#include "win32app/instance_mutex.h"
#include "win32ui/launcher_dlg.h"

namespace win32app {

bool CLauncherApp::InitInstance() {
    if (!CClientApp::InitInstance())
        return false;
    // Where the window ends the process at once (a lost connection, Qnd.ini not written), the
    // copy's file goes as at a normal end.
    win32ui::CLauncherDlg dialog(*this, [this](int code) {
        ExitInstance();
        platform::ExitProcessNow(code);
    });
    if (dialog.Create()) {
        m_hMainWnd = dialog.Handle();
        dialog.DoModal();
        m_hMainWnd = nullptr;
    }
    return false;
}

int CLauncherApp::ExitInstance() {
    return CClientApp::ExitInstance();
}

bool CLauncherApp::CheckSingleInstance(const std::string& name) {
    std::unique_ptr<CInstanceMutex> lock;
    if (!CInstanceMutex::Acquire(name, lock)) {
        if (const HWND running = ::FindWindowW(nullptr, win32ui::CLauncherDlg::kTitle))
            ::SetForegroundWindow(running);
        return false;
    }
    m_hMutex = std::move(lock);
    return true;
}

}  // namespace win32app
