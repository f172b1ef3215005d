// The Windows launcher program: the process-wide objects in their order (trace output, the
// common controls, the application object, Winsock), then the application object's start-up,
// main window and exit.

#include <windows.h>
// need the types <windows.h> declares
#include <commctrl.h>
#include <shellapi.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "corelib/xexception.h"
#include "corelib/xnetwork.h"
#include "corelib/xtrace.h"
#include "frontend/message_log.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/utf16.h"
#include "win32app/launcher_app.h"
#include "win32ui/win32_message_box.h"

namespace {

// The arguments after the program name, split by the system's rules and joined by single
// blanks, in UTF-8: the command line as start-up reads it.
std::string CommandLineArguments() {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&::LocalFree)> argv(
        ::CommandLineToArgvW(::GetCommandLineW(), &count), &::LocalFree);
    std::string line;
    for (int i = 1; argv && i < count; ++i)
        line += (i == 1 ? "" : " ") + platform::WideToUtf8(argv.get()[i]);
    return line;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    // The two window messages have fixed numbers; the trace object comes first.
    corelib::trace_output();
    // The standard Windows 95 class set: progress bars and tree views among them.
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    win32app::CLauncherApp app(platform::OwnExePath(), CommandLineArguments());
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
