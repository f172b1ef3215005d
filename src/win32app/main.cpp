// The Windows launcher program: the process-wide objects in their order (trace output, the
// common controls, the application object, Winsock), then the application object's start-up,
// main window and exit. An argument that begins with "--" runs the command-line mode instead,
// before any of the window's objects exist.

#include <windows.h>
// need the types <windows.h> declares
#include <commctrl.h>
#include <shellapi.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "corelib/xexception.h"
#include "corelib/xnetwork.h"
#include "corelib/xtrace.h"
#include "frontend/message_log.h"
#include "headless/headless_options.h"
#include "headless/headless_run.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/utf16.h"
#include "win32app/console_streams.h"
#include "win32app/instance_mutex.h"
#include "win32app/launcher_app.h"
#include "win32ui/win32_message_box.h"

namespace {

// The arguments after the program name, split by the system's rules, in UTF-8.
std::vector<std::string> Arguments() {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&::LocalFree)> argv(
        ::CommandLineToArgvW(::GetCommandLineW(), &count), &::LocalFree);
    std::vector<std::string> args;
    for (int i = 1; argv && i < count; ++i)
        args.push_back(platform::WideToUtf8(argv.get()[i]));
    return args;
}

// The arguments joined by single blanks: the command line as start-up reads it.
std::string Joined(const std::vector<std::string>& args) {
    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i)
        line += (i == 0 ? "" : " ") + args[i];
    return line;
}

// No window: the streams of the terminal or script that started the program, and the window's
// own mutex, which turns a later window away while the run holds it. The connection starts the
// sockets it needs.
int RunWithoutWindow(const std::vector<std::string>& args) {
    const win32app::CConsoleStreams console;
    std::unique_ptr<win32app::CInstanceMutex> lock;
    headless::HeadlessHost host{
        platform::OwnExePath(),
        [&lock](const std::string& name) { return win32app::CInstanceMutex::Acquire(name, lock); },
        stdout, stderr};
    return headless::RunHeadless(args, std::move(host));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    const std::vector<std::string> args = Arguments();
    if (headless::IsHeadlessCommandLine(args))
        return RunWithoutWindow(args);
    // The two window messages have fixed numbers; the trace object comes first.
    corelib::trace_output();
    // The standard Windows 95 class set: progress bars and tree views among them.
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    win32app::CLauncherApp app(platform::OwnExePath(), Joined(args));
    // Sockets for the whole run; without them the connection fails and says so.
    std::optional<corelib::xnetwork> sockets;
    try {
        sockets.emplace();
    } catch (const corelib::xexception&) {
    }

    if (const char* log = std::getenv("QUEND_MESSAGE_LOG"); log != nullptr && *log != '\0')
        platform::SetMessageHandler(frontend::MessageLogHandler(log));
    else
        win32ui::InstallWin32MessageBox([&app] { return app.MainWindow(); });
    return app.Run();
}
