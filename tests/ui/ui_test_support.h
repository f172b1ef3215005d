#pragma once
// Helpers of the UI tests: a recorder for message boxes and a test skin folder with generated
// bitmaps. GUI thread only.

#include <ostream>
#include <string>
#include <vector>

#include <QColor>
#include <QImage>
#include <QSize>

#include "platform/message_box.h"
#include "support/test_support.h"

namespace quend::test {

// Records every message box text while it lives; restores the former handler when it goes.
class MessageRecorder final {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const std::vector<std::string>& texts() const { return m_texts; }
    void clear() { m_texts.clear(); }

private:
    std::vector<std::string> m_texts;
    platform::MessageHandler m_saved;
};

// Writes a BMP file of one colour.
void writeBitmap(const std::string& path, QSize size, QColor colour);
void writeBitmap(const std::string& path, const QImage& image);

// The colour of one pixel of a rendered widget image.
QColor pixelAt(const QImage& image, int x, int y);

}  // namespace quend::test

// Colours print as #rrggbb in failure messages.
void PrintTo(const QColor& colour, std::ostream* out);
