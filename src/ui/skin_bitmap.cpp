#include "ui/skin_bitmap.h"

#include "platform/codepage.h"
#include "platform/paths.h"

namespace ui {

QString SkinFileName(const std::string& path) {
    // To UTF-8 first: a GBK character's second byte may be a backslash.
    return QString::fromStdString(platform::NativePath(platform::AnsiToUtf8(path)));
}

QPixmap LoadSkinBitmap(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    return QPixmap(SkinFileName(path));
}

}  // namespace ui
