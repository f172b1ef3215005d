#include "app/launcher_app.h"

#include "ui/launcher_dlg.h"

namespace app {

bool CLauncherApp::InitInstance() {
    if (!CClientApp::InitInstance())
        return false;
    ui::CLauncherDlg dialog(*this);
    m_pMainWnd = &dialog;
    dialog.exec();
    m_pMainWnd = nullptr;
    return false;
}

int CLauncherApp::ExitInstance() {
    return CClientApp::ExitInstance();
}

}  // namespace app
