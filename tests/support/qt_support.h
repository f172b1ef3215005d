#pragma once
// Helpers of the UI tests: bitmaps written to disk, colours in failure messages. GUI thread only.

#include <ostream>
#include <stdexcept>
#include <string>

#include <QColor>
#include <QImage>

#include "support/test_support.h"

namespace quend::test {

inline void writeBitmap(const std::string& path, const QImage& image) {
    writeFile(path, "");  // creates the folder
    if (!image.save(QString::fromStdString(path), "BMP"))
        throw std::runtime_error("cannot write " + path);
}

}  // namespace quend::test

// Colours print as #rrggbb in failure messages.
inline void PrintTo(const QColor& colour, std::ostream* out) {
    *out << colour.name().toStdString();
}
