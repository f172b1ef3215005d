#include "win32ui/my_edit.h"

#include <utility>

#include "win32ui/skin_bitmap.h"
#include "win32ui/window_text.h"

namespace win32ui {

void CMyEdit::SetBackground(const std::string& path, COLORREF text) {
    CGdiObject<HBITMAP> image = LoadSkinBitmap(path);
    if (image)
        m_bmpBackground = std::move(image);
    m_crText = text;
    if (m_bmpBackground)
        m_brBack.reset(::CreatePatternBrush(m_bmpBackground.get()));
}

HBRUSH CMyEdit::CtlColor(HDC dc) const {
    if (!m_brBack)
        return nullptr;
    ::SetTextColor(dc, m_crText);
    ::SetBkMode(dc, TRANSPARENT);
    return m_brBack.get();
}

void CMyEdit::OnChange() const {
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

std::string CMyEdit::Text() const {
    return GetWindowTextUtf8(m_hWnd);
}

void CMyEdit::SetText(const std::string& text) const {
    SetWindowTextUtf8(m_hWnd, text);
}

}  // namespace win32ui
