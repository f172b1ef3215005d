#pragma once
// CLauncherApp: the class of the one application object of the Qt edition. Over the start-up of
// frontend::CClientApp it holds the single-instance lock (a local server) and the main dialog:
// its start-up runs the dialog modally and then answers false, so that the exit follows at once.
// GUI thread only.

#include <string>

#include "frontend/client_app.h"

class QWidget;

namespace app {

class CLauncherApp : public frontend::CClientApp {
public:
    CLauncherApp(std::string modulePath, std::string commandLine);

    // Runs the main dialog when start-up succeeded; always false.
    bool InitInstance() override;
    int ExitInstance() override;

    // The lock named after the program file and the user; a later start under the same name
    // asks this process to raise its window.
    bool CheckSingleInstance(const std::string& name) override;

    // The running main window: raised when a second start asks for it.
    QWidget* m_pMainWnd = nullptr;

private:
    void RaiseMainWindow();
};

}  // namespace app
