// The launcher program: the process-wide objects in their order, then the application object's
// start-up, main window and exit. An argument that begins with "--" runs the command-line mode
// instead, before any of the window's objects exist.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>

#include "app/instance_lock.h"
#include "app/launcher_app.h"
#include "corelib/xtrace.h"
#include "frontend/message_log.h"
#include "headless/headless_options.h"
#include "headless/headless_run.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "ui/qt_message_box.h"

namespace {

// No window and no display: Qt's core alone, for the window's own lock, whose local server
// turns a later start away without an event loop to answer it.
int RunWithoutWindow(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    QCoreApplication core(argc, argv);
    std::unique_ptr<app::CInstanceLock> lock;
    headless::HeadlessHost host{
        platform::OwnExePath(),
        [&lock](const std::string& name) { return app::CInstanceLock::Acquire(name, {}, lock); },
        stdout, stderr};
    return headless::RunHeadless(args, std::move(host));
}

}  // namespace

int main(int argc, char** argv) {
    if (headless::IsHeadlessCommandLine({argv + 1, argv + argc}))
        return RunWithoutWindow(argc, argv);
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
