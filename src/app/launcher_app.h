#pragma once
// CLauncherApp: the class of the one application object. Its start-up runs the main dialog
// modally and then answers false, so that the exit follows at once. GUI thread only.

#include "app/client_app.h"

namespace app {

class CLauncherApp : public CClientApp {
public:
    using CClientApp::CClientApp;

    // Runs the main dialog when start-up succeeded; always false.
    bool InitInstance() override;
    int ExitInstance() override;
};

}  // namespace app
