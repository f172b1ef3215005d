#include "support/test_skin.h"

#include <cstdlib>
#include <sstream>
#include <string>

#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include "platform/codepage.h"
#include "support/qt_support.h"

namespace quend::test {
namespace {

// Where the skin puts each control: name, x, y, width, height in window pixels.
const char kPlaces[] =
    "GameButton 468 236 124 40  UserName 468 148 124 22  Password 468 188 124 22 "
    "LSVRTree 24 96 190 180  RSVRTree 226 96 190 180  FileView 24 296 592 20 "
    "DownProgress 24 324 592 12  TotalProgress 24 346 592 12  CashItem 24 370 100 20 "
    "Notice 440 60 176 60  OneLineNotice 130 370 300 20  Home 24 14 64 24 "
    "Help 96 14 64 24  Exit 552 14 64 24";

// A plain face, or the window's gradient, with a centred label.
QImage Drawn(QSize size, const QColor& face, const QString& label, int points) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient shade(0, 0, 0, size.height());
    shade.setColorAt(0, face);
    shade.setColorAt(1, face.darker(size.height() > 100 ? 250 : 130));
    painter.fillRect(image.rect(), shade);
    painter.setPen(size.height() > 100 ? QColor(250, 227, 141) : Qt::white);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), points, QFont::Bold));
    painter.drawText(image.rect().adjusted(0, 0, 0, size.height() > 100 ? -300 : 0),
                     Qt::AlignCenter, label);
    return image;
}

}  // namespace

std::filesystem::path WriteTestSkin(const std::filesystem::path& folder) {
    ::setenv("QUEND_CODEPAGE", "GBK", 1);
    const std::string images = (folder / "Res" / "Chs").string() + "/";
    writeBitmap(images + "MainDialog.bmp",
                Drawn({kWidth, kHeight}, QColor(60, 30, 60), QStringLiteral("QUENDALOR"), 26));
    writeBitmap(images + "TextBox.bmp", Drawn({8, 8}, QColor(52, 34, 24), {}, 1));
    std::string ini = "[Skin]\r\nMainDialog=\\MainDialog.bmp\r\nTextBox=\\TextBox.bmp\r\n";
    for (const char* set : {"Start", "Update", "Home", "Help", "Exit"}) {
        const bool big = set[0] == 'S' || set[0] == 'U';
        const std::pair<const char*, QColor> states[] = {{"Normal", QColor(140, 84, 40)},
                                                         {"Over", QColor(180, 116, 56)},
                                                         {"Push", QColor(100, 56, 24)},
                                                         {"Disable", QColor(80, 80, 80)}};
        for (const auto& [state, face] : states) {
            const std::string name = std::string(set) + state;
            writeBitmap(images + name + ".bmp", Drawn(big ? QSize(124, 40) : QSize(64, 24), face,
                                                      QString(set).toUpper(), big ? 12 : 8));
            ini += name + "=\\" + name + ".bmp\r\n";
        }
    }
    ini += "[Size]\r\n";
    std::istringstream places(kPlaces);
    for (std::string name, x, y, width, height; places >> name >> x >> y >> width >> height;) {
        ini += name + "_x=" + x + "\r\n" + name + "_y=" + y + "\r\n" + name + "_width=" + width +
               "\r\n" + name + "_height=" + height + "\r\n";
    }
    writeFile(folder / "Skin.ini", ini);
    writeFile(folder / "Launcher.Chs",
              platform::Utf8ToAnsi(std::string("[General]\r\nUnSelectServer=") + kUnSelectServer +
                                   "\r\nDisconnected=" + kDisconnected +
                                   "\r\nConnectionFailed=" + kConnectionFailed +
                                   "\r\n[Error]\r\nUnsafeDownloadServer=" + kUnsafeDownloadServer +
                                   "\r\n[Term]\r\nServerSet=No.%d\r\n"));
    return folder;
}

}  // namespace quend::test
