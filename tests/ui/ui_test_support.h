#pragma once
// Helpers of the UI tests: generated bitmaps and pixel reads. GUI thread only.

#include <ostream>
#include <string>
#include <vector>

#include <QColor>
#include <QImage>
#include <QSize>

#include "support/test_support.h"

namespace quend::test {

// Writes a BMP file of one colour.
void writeBitmap(const std::string& path, QSize size, QColor colour);
void writeBitmap(const std::string& path, const QImage& image);

// The colour of one pixel of a rendered widget image.
QColor pixelAt(const QImage& image, int x, int y);

}  // namespace quend::test

// Colours print as #rrggbb in failure messages.
void PrintTo(const QColor& colour, std::ostream* out);
