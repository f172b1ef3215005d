#pragma once
// A skinned one-line text box of the dialog template: a bitmap tiled from the box's origin as
// its background and a fixed text colour, answered to the owner's colour request; the whole box
// is repainted after each change so typed text leaves no traces on the image. Texts are UTF-8.
// GUI thread only.

#include <windows.h>

#include <string>

#include "win32ui/gdi_object.h"

namespace win32ui {

class CMyEdit final {
public:
    void Attach(HWND edit) { m_hWnd = edit; }
    HWND Handle() const { return m_hWnd; }

    // A box whose image cannot be loaded keeps the system's default look.
    void SetBackground(const std::string& path, COLORREF text);
    bool HasBackground() const { return static_cast<bool>(m_bmpBackground); }

    // The owner's WM_CTLCOLOREDIT for this box: the brush to paint it with, the colours set on
    // `dc`; null when the box has no image, so that the system's colours apply.
    HBRUSH CtlColor(HDC dc) const;
    // The owner's EN_CHANGE for this box.
    void OnChange() const;

    std::string Text() const;
    void SetText(const std::string& text) const;

private:
    HWND m_hWnd = nullptr;
    COLORREF m_crText = RGB(0, 0, 0);
    CGdiObject<HBITMAP> m_bmpBackground;
    CGdiObject<HBRUSH> m_brBack;
};

}  // namespace win32ui
