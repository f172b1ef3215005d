#include "test_install.h"

#include <string>
#include <utility>
#include <vector>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include "platform/codepage.h"
#include "support/test_support.h"

namespace quend::test {
namespace {

struct Place {
    const char* name;
    int x, y, width, height;
};

// Where the skin puts each control, in window pixels.
const Place kPlaces[] = {
    {"GameButton", 468, 236, 124, 40},
    {"UserName", 468, 148, 124, 22},
    {"Password", 468, 188, 124, 22},
    {"LSVRTree", 24, 96, 190, 180},
    {"RSVRTree", 226, 96, 190, 180},
    {"FileView", 24, 296, 592, 20},
    {"DownProgress", 24, 324, 592, 12},
    {"TotalProgress", 24, 346, 592, 12},
    {"CashItem", 24, 370, 100, 20},
    {"Notice", 440, 60, 176, 60},
    {"OneLineNotice", 130, 370, 300, 20},
    {"Home", 24, 14, 64, 24},
    {"Help", 96, 14, 64, 24},
    {"Exit", 552, 14, 64, 24},
};

void SaveBmp(const std::filesystem::path& path, const QImage& image) {
    std::filesystem::create_directories(path.parent_path());
    if (!image.save(QString::fromStdString(path.string()), "BMP"))
        throw std::runtime_error("cannot write " + path.string());
}

QImage Background() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0, QColor(28, 18, 40));
    sky.setColorAt(1, QColor(70, 38, 22));
    painter.fillRect(image.rect(), sky);
    painter.setPen(QPen(QColor(174, 112, 65), 2));
    painter.setBrush(QColor(0, 0, 0, 90));
    painter.drawRoundedRect(16, 88, 408, 196, 6, 6);
    painter.drawRoundedRect(452, 88, 172, 196, 6, 6);
    painter.setPen(QColor(250, 227, 141));
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 26, QFont::Bold));
    painter.drawText(QRect(0, 40, kWidth, 44), Qt::AlignHCenter, QStringLiteral("QUENDALOR"));
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    painter.drawText(QRect(468, 128, 124, 18), Qt::AlignLeft, QStringLiteral("Account"));
    painter.drawText(QRect(468, 172, 124, 16), Qt::AlignLeft, QStringLiteral("Password"));
    return image;
}

QImage Button(QSize size, const QColor& face, const QString& label) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), face);
    painter.setPen(face.lighter(160));
    painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
    painter.setPen(Qt::white);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), size.height() > 30 ? 12 : 8, QFont::Bold));
    painter.drawText(image.rect(), Qt::AlignCenter, label);
    return image;
}

std::string Gbk(const std::string& utf8) {
    return platform::Utf8ToAnsi(utf8);
}

}  // namespace

void WriteTestSkin(const std::filesystem::path& folder) {
    const std::filesystem::path images = folder / "Res" / "Chs";
    std::string ini = "[Skin]\r\nMainDialog=\\MainDialog.bmp\r\nTextBox=\\TextBox.bmp\r\n";
    SaveBmp(images / "MainDialog.bmp", Background());
    QImage box(8, 8, QImage::Format_RGB32);
    box.fill(QColor(52, 34, 24));
    SaveBmp(images / "TextBox.bmp", box);

    const std::pair<const char*, QSize> sets[] = {{"Start", QSize(124, 40)},
                                                  {"Update", QSize(124, 40)},
                                                  {"Home", QSize(64, 24)},
                                                  {"Help", QSize(64, 24)},
                                                  {"Exit", QSize(64, 24)}};
    const std::pair<const char*, QColor> states[] = {{"Normal", QColor(140, 84, 40)},
                                                     {"Over", QColor(180, 116, 56)},
                                                     {"Push", QColor(100, 56, 24)},
                                                     {"Disable", QColor(80, 80, 80)}};
    for (const auto& [set, size] : sets) {
        for (const auto& [state, face] : states) {
            const std::string name = std::string(set) + state;
            SaveBmp(images / (name + ".bmp"), Button(size, face, QString(set).toUpper()));
            ini += name + "=\\" + name + ".bmp\r\n";
        }
    }
    ini += "[Size]\r\n";
    for (const Place& place : kPlaces) {
        const std::string name = place.name;
        ini += name + "_x=" + std::to_string(place.x) + "\r\n" + name +
               "_y=" + std::to_string(place.y) + "\r\n" + name +
               "_width=" + std::to_string(place.width) + "\r\n" + name +
               "_height=" + std::to_string(place.height) + "\r\n";
    }
    writeFile(folder / "Skin.ini", ini);

    writeFile(folder / "Launcher.Chs",
              Gbk("[General]\r\n"
                  "UnSelectServer=" +
                  std::string(kUnSelectServer) + "\r\n" + "Disconnected=" + kDisconnected + "\r\n" +
                  "ConnectionFailed=" + kConnectionFailed + "\r\n" +
                  "[Error]\r\n"
                  "UnsafeDownloadServer=" +
                  kUnsafeDownloadServer + "\r\n" + "[Term]\r\nServerSet=No.%d\r\n"));
}

}  // namespace quend::test
