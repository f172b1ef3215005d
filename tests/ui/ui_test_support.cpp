#include "ui_test_support.h"

#include <stdexcept>
#include <utility>

namespace quend::test {

void writeBitmap(const std::string& path, QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    writeBitmap(path, image);
}

void writeBitmap(const std::string& path, const QImage& image) {
    writeFile(path, "");  // creates the folder
    if (!image.save(QString::fromStdString(path), "BMP")) {
        throw std::runtime_error("cannot write " + path);
    }
}

QColor pixelAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

}  // namespace quend::test

void PrintTo(const QColor& colour, std::ostream* out) {
    *out << colour.name().toStdString();
}
