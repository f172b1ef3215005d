#pragma once
// Loads a skin image named by a data path (ANSI code page, backslashes) from the file system.
// GUI thread only (pixmaps).

#include <string>

#include <QPixmap>

namespace ui {

// The path as a local file name: the text becomes UTF-8, backslashes become separators.
QString SkinFileName(const std::string& path);

// A null pixmap when the path is empty or the file cannot be read as an image.
QPixmap LoadSkinBitmap(const std::string& path);

}  // namespace ui
