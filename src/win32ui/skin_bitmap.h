#pragma once
// The skin's bitmaps on Windows: loaded from files named by data paths (ANSI code page,
// backslashes) or from the program's resources, measured and copied onto a device context. GUI
// thread only.

#include <windows.h>

#include <string>

#include "win32ui/gdi_object.h"

namespace win32ui {

// The path as a file name for the system's wide functions.
std::wstring SkinFileName(const std::string& path);

// A bitmap loaded from the file (as a DIB section, at its own size); empty when the path is
// empty or the file cannot be read as a bitmap.
CGdiObject<HBITMAP> LoadSkinBitmap(const std::string& path);

// Bitmap resource `id` of the program.
CGdiObject<HBITMAP> LoadBitmapResource(int id);

// Width and height; 0 and 0 without a bitmap.
SIZE BitmapSize(HBITMAP bitmap);

// Copies the part `size` of `bitmap` from its top-left corner to `at` on `dc`.
void DrawBitmap(HDC dc, POINT at, HBITMAP bitmap, SIZE size);

}  // namespace win32ui
