#include <windows.h>
// needs the types <windows.h> declares
#include <shellapi.h>

#include <memory>

#include "platform/utf16.h"
#include "qnd_game_window.h"

namespace demo {

// The C runtime's argv is in the ANSI code page and loses what it cannot hold: the wide command
// line, split by the system's rules, keeps everything.
std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&::LocalFree)> argv(
        ::CommandLineToArgvW(::GetCommandLineW(), &count), &::LocalFree);
    std::vector<std::string> args;
    for (int i = 1; argv && i < count; ++i)
        args.push_back(platform::WideToUtf8(argv.get()[i]));
    return args;
}

bool HaveDisplay() {
    return true;
}

// The system's box: the player leaves the game with its OK button.
int ShowGameWindow(int /*argc*/, char** /*argv*/, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    ::MessageBoxW(nullptr, platform::Utf8ToWide(text).c_str(), L"Quendalor",
                  MB_OK | MB_ICONINFORMATION);
    return 0;
}

}  // namespace demo
