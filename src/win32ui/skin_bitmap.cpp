#include "win32ui/skin_bitmap.h"

#include "platform/codepage.h"
#include "platform/utf16.h"
#include "win32ui/memory_dc.h"

namespace win32ui {

std::wstring SkinFileName(const std::string& path) {
    // To UTF-8 first: a GBK character's second byte may be a backslash.
    return platform::Utf8ToWide(platform::AnsiToUtf8(path));
}

CGdiObject<HBITMAP> LoadSkinBitmap(const std::string& path) {
    if (path.empty())
        return {};
    return CGdiObject<HBITMAP>(
        static_cast<HBITMAP>(::LoadImageW(nullptr, SkinFileName(path).c_str(), IMAGE_BITMAP, 0, 0,
                                          LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
}

CGdiObject<HBITMAP> LoadBitmapResource(int id) {
    return CGdiObject<HBITMAP>(
        static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof info, &info) == 0)
        return {0, 0};
    return {info.bmWidth, info.bmHeight};
}

void DrawBitmap(HDC dc, POINT at, HBITMAP bitmap, SIZE size) {
    if (bitmap == nullptr)
        return;
    const CMemoryDC memory(dc, bitmap);
    if (memory)
        ::BitBlt(dc, at.x, at.y, size.cx, size.cy, memory.get(), 0, 0, SRCCOPY);
}

}  // namespace win32ui
