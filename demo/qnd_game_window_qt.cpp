#include <cstdlib>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/codepage.h"
#include "platform/process.h"
#include "qnd_game_window.h"

namespace demo {

// Linux hands the bytes over as they were given: the game's texts are in the ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(platform::AnsiToUtf8(argv[i]));
    return args;
}

bool HaveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

int ShowGameWindow(int argc, char** argv, const std::vector<std::string>& lines) {
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

}  // namespace demo
