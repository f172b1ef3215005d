// Qnd.exe, the demo's stand-in for the game: shows what the launcher handed over (the user id on
// the command line, the server written to Bin\Qnd.ini beside it) in a window, or prints it when
// there is no display. Every start is recorded in Qnd.launch.txt beside the program, so that a
// test can check the launcher's command line and the folder the game was started in.

#include <array>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "qnd_game_window.h"

namespace {

struct Handover {
    std::string userId;
    std::string userKey;
    std::string underage;
    bool fromLauncher = false;
    std::string serverHost;
    std::string serverPort;
    std::string serverSetInfo;
};

std::string IniValue(const char* section, const char* key, const std::string& file) {
    std::array<char, 1024> buffer{};
    platform::ReadProfileString(section, key, "", buffer.data(), buffer.size(), file);
    return platform::AnsiToUtf8(buffer.data());
}

Handover ReadHandover(const std::vector<std::string>& args, const std::string& ini) {
    Handover handover;
    for (const std::string& arg : args) {
        const auto take = [&arg](const char* prefix, std::string& into) {
            const std::string head(prefix);
            if (arg.rfind(head, 0) == 0)
                into = arg.substr(head.size());
        };
        take("USERID=", handover.userId);
        take("USERKEY=", handover.userKey);
        take("UNDERAGE=", handover.underage);
        handover.fromLauncher = handover.fromLauncher || arg == "-LauncherPassed";
    }
    handover.serverHost = IniValue("QuendalorUI.Game_Login", "ServerHost", ini);
    handover.serverPort = IniValue("QuendalorUI.Game_Login", "ServerPort", ini);
    handover.serverSetInfo = IniValue("QuendalorUI.QuendalorGame", "ServerSetInfo", ini);
    return handover;
}

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

void RecordStart(const std::filesystem::path& file, const std::vector<std::string>& args) {
    std::ofstream out(file, std::ios::trunc | std::ios::binary);
    out << "pid=" << platform::CurrentProcessId() << '\n';
    out << "working_folder=" << Utf8(std::filesystem::current_path()) << '\n';
    out << "argc=" << args.size() << '\n';
    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        out << "arg" << i + 1 << '=' << args[i] << '\n';
        line += (i == 0 ? "" : " ") + args[i];
    }
    out << "command_line=" << line << '\n';
}

std::vector<std::string> Lines(const Handover& h) {
    if (!h.fromLauncher || h.userId.empty())
        return {"Please start Quendalor from its launcher."};
    return {
        "Welcome to Quendalor, player " + h.userId + ".",
        "Game server: " + h.serverHost + ":" + h.serverPort,
        "Servers of the chosen group: " + h.serverSetInfo,
        "Session key: " + h.userKey + "   underage: " + h.underage,
    };
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path bin = std::filesystem::u8path(platform::OwnExePath()).parent_path();
    const std::vector<std::string> args = demo::ProgramArguments(argc, argv);
    RecordStart(bin / "Qnd.launch.txt", args);
    const std::vector<std::string> lines = Lines(ReadHandover(args, Utf8(bin / "Qnd.ini")));
    if (!demo::HaveDisplay()) {
        for (const std::string& line : lines)
            std::cout << line << '\n';
        return 0;
    }
    return demo::ShowGameWindow(argc, argv, lines);
}
