#pragma once
// A skinned push button: an owner-drawn button of the dialog template that shows one of four
// bitmaps by state (pressed, mouse over, disabled, normal) at its own size from the top-left
// corner, read from disk at every paint, and never draws its caption. It follows the mouse to
// show "Over". GUI thread only.

#include <windows.h>

#include <string>

#include "frontend/skin.h"

namespace win32ui {

class CMyButton final {
public:
    CMyButton() = default;
    ~CMyButton();
    CMyButton(const CMyButton&) = delete;
    CMyButton& operator=(const CMyButton&) = delete;

    // Takes over the template's button `button` (BS_OWNERDRAW) for mouse tracking.
    void Attach(HWND button);
    HWND Handle() const { return m_hWnd; }

    // The images of base + "Normal", "Over", "Push" and "Disable", read from the skin in this
    // order. No repaint: the new set shows at the next paint.
    void SetImages(const frontend::CSkin& skin, const std::string& base);
    void SetImages(frontend::ButtonImages images);

    // The image path a paint in `itemState` (ODS_SELECTED, ODS_DISABLED) shows.
    const std::string& ImagePathFor(UINT itemState) const;
    bool IsHover() const { return m_bHover; }

    // The owner's WM_DRAWITEM for this button.
    void DrawItem(const DRAWITEMSTRUCT& item) const;

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    void OnMouseMove(LPARAM point);
    void OnMouseLeave();
    void Detach();

    HWND m_hWnd = nullptr;
    bool m_bHover = false;
    frontend::ButtonImages m_images;  // m_strNormal, m_strOver, m_strPush, m_strDisable
};

}  // namespace win32ui
