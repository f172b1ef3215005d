#pragma once
// CLauncherApp: the class of the one application object of the Windows edition. Over the
// start-up of frontend::CClientApp it holds the single-instance mutex and the main window: its
// start-up runs the window modally and then answers false, so that the exit follows at once. GUI
// thread only, but for MainWindow.

#include <windows.h>

#include <atomic>
#include <string>

#include "frontend/client_app.h"

namespace win32app {

class CLauncherApp final : public frontend::CClientApp {
public:
    using frontend::CClientApp::CClientApp;

    // Runs the main window when start-up succeeded; always false.
    bool InitInstance() override;
    int ExitInstance() override;

    // The mutex named after the program file; a later start under the same name raises the
    // window titled "QUEND LAUNCHER" and gives up.
    bool CheckSingleInstance(const std::string& name) override;

    // The running main window, or null; any thread.
    HWND MainWindow() const { return m_hMainWnd.load(); }

private:
    std::atomic<HWND> m_hMainWnd{nullptr};
};

}  // namespace win32app
