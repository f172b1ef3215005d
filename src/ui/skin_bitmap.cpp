#include "ui/skin_bitmap.h"

#include <algorithm>

#include "platform/codepage.h"

namespace ui {

QString SkinFileName(const std::string& path) {
    std::string local = platform::AnsiToUtf8(path);
    std::replace(local.begin(), local.end(), '\\', '/');
    return QString::fromStdString(local);
}

QPixmap LoadSkinBitmap(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    return QPixmap(SkinFileName(path));
}

}  // namespace ui
