// The launcher program: the process-wide objects in their order, then the application object's
// start-up, main window and exit.

#include <cstdlib>
#include <string>

#include <QApplication>

#include "app/launcher_app.h"
#include "corelib/xtrace.h"
#include "frontend/message_log.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "ui/qt_message_box.h"

int main(int argc, char** argv) {
    // Taken before the framework removes the options it knows from argv.
    const std::string commandLine = platform::JoinArguments(argc, argv);
    // The two window messages have fixed numbers; the trace object comes first, then the
    // framework and the application object. Sockets need no start-up here.
    corelib::trace_output();
    QApplication framework(argc, argv);
    app::CLauncherApp app(platform::OwnExePath(), commandLine);

    if (const char* log = std::getenv("QUEND_MESSAGE_LOG"); log != nullptr && *log != '\0')
        platform::SetMessageHandler(frontend::MessageLogHandler(log));
    else
        ui::InstallQtMessageBox([&app] { return app.m_pMainWnd; });
    return app.Run();
}
