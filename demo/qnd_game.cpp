// Qnd.exe, the demo's stand-in for the game: shows what the launcher handed over (the user id on
// the command line, the server written to Bin\Qnd.ini beside it) in a window, or prints it when
// there is no display. Every start is recorded in Qnd.launch.txt beside the program, so that a
// test can check the launcher's command line.

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/profile.h"

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
                into = platform::AnsiToUtf8(arg.substr(head.size()));
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

void RecordStart(const std::filesystem::path& file, int argc, char** argv) {
    std::ofstream out(file, std::ios::trunc);
    out << "pid=" << platform::CurrentProcessId() << '\n';
    out << "working_folder=" << std::filesystem::current_path().string() << '\n';
    out << "argc=" << argc - 1 << '\n';
    for (int i = 1; i < argc; ++i)
        out << "arg" << i << '=' << argv[i] << '\n';
    out << "command_line=" << platform::JoinArguments(argc, argv) << '\n';
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

bool HaveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

int ShowWindow(int argc, char** argv, const std::vector<std::string>& lines) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Quendalor"));
    window.setStyleSheet(
        QStringLiteral("QWidget { background: #0b0d1c; color: #e8d9a8; font-size: 15px; }"
                       "QLabel#title { color: #f0c860; font: bold 30px 'DejaVu Serif'; }"
                       "QPushButton { background: #d8a840; color: #2a1804; padding: 6px 18px; }"));
    // Children declared after their parent are destroyed before it.
    QVBoxLayout layout(&window);
    QLabel title(QStringLiteral("QUENDALOR"));
    title.setObjectName(QStringLiteral("title"));
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    QLabel body(QString::fromStdString(text));
    QPushButton quit(QStringLiteral("Leave the game"));
    QObject::connect(&quit, &QPushButton::clicked, &app, &QApplication::quit);
    layout.addWidget(&title, 0, Qt::AlignHCenter);
    layout.addWidget(&body);
    layout.addWidget(&quit, 0, Qt::AlignRight);
    window.resize(560, 260);
    window.show();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path bin = std::filesystem::path(platform::OwnExePath()).parent_path();
    RecordStart(bin / "Qnd.launch.txt", argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const std::vector<std::string> lines = Lines(ReadHandover(args, (bin / "Qnd.ini").string()));
    if (!HaveDisplay()) {
        for (const std::string& line : lines)
            std::cout << line << '\n';
        return 0;
    }
    return ShowWindow(argc, argv, lines);
}
