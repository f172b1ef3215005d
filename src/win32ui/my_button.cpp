#include "win32ui/my_button.h"

#include <commctrl.h>

#include <utility>

#include "win32ui/skin_bitmap.h"

namespace win32ui {
namespace {

constexpr UINT_PTR kSubclassId = 1;

}  // namespace

CMyButton::~CMyButton() {
    Detach();
}

void CMyButton::Attach(HWND button) {
    Detach();
    m_hWnd = button;
    if (m_hWnd != nullptr)
        ::SetWindowSubclass(m_hWnd, &CMyButton::SubclassProc, kSubclassId,
                            reinterpret_cast<DWORD_PTR>(this));
}

void CMyButton::Detach() {
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd))
        ::RemoveWindowSubclass(m_hWnd, &CMyButton::SubclassProc, kSubclassId);
    m_hWnd = nullptr;
}

void CMyButton::SetImages(const frontend::CSkin& skin, const std::string& base) {
    SetImages(skin.GetButtonImages(base));
}

void CMyButton::SetImages(frontend::ButtonImages images) {
    m_images = std::move(images);
}

const std::string& CMyButton::ImagePathFor(UINT itemState) const {
    return m_images.For((itemState & ODS_SELECTED) != 0, m_bHover, (itemState & ODS_DISABLED) == 0);
}

// Read from disk at every paint, so a changed file shows at once; nothing is drawn when the
// image cannot be loaded.
void CMyButton::DrawItem(const DRAWITEMSTRUCT& item) const {
    const CGdiObject<HBITMAP> image = LoadSkinBitmap(ImagePathFor(item.itemState));
    if (image)
        DrawBitmap(item.hDC, {0, 0}, image.get(), BitmapSize(image.get()));
}

LRESULT CALLBACK CMyButton::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR /*id*/, DWORD_PTR self) {
    auto* button = reinterpret_cast<CMyButton*>(self);
    switch (message) {
        case WM_MOUSEMOVE: {
            const LRESULT result = ::DefSubclassProc(window, message, wParam, lParam);
            button->OnMouseMove(lParam);
            return result;
        }
        case WM_MOUSELEAVE:
            button->OnMouseLeave();
            return 0;
        case WM_SETCURSOR:
            // Handled, and no cursor set: the pointer keeps the shape it came in with.
            return TRUE;
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(window, &CMyButton::SubclassProc, kSubclassId);
            button->m_hWnd = nullptr;
            break;
        default:
            break;
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

// While pressed the button sees moves outside itself too: those end the hover.
void CMyButton::OnMouseMove(LPARAM point) {
    POINT at{static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
    ::ClientToScreen(m_hWnd, &at);
    if (::WindowFromPoint(at) == m_hWnd) {
        if (m_bHover)
            return;
        m_bHover = true;
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, m_hWnd, 0};
        ::TrackMouseEvent(&track);
    } else if (m_bHover) {
        m_bHover = false;
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
    }
}

void CMyButton::OnMouseLeave() {
    if (!m_bHover)
        return;
    m_bHover = false;
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

}  // namespace win32ui
