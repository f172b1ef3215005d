#pragma once
// One web panel of the Windows window: a control of the dialog template that is placed but never
// shown, and loads the address it is given once (frontend::CWebPage). GUI thread only.

#include <windows.h>

#include <string>

#include "frontend/web_page.h"

namespace win32ui {

class CExplorer1 final {
public:
    void Attach(HWND panel) { m_hWnd = panel; }
    HWND Handle() const { return m_hWnd; }

    // Starts loading `url` (ANSI text as Launcher.ini gives it) and returns; see CWebPage.
    void Navigate(const std::string& url) { m_page.Navigate(url); }
    const std::string& LocationURL() const { return m_page.LocationURL(); }
    bool Busy() const { return m_page.Busy(); }

private:
    HWND m_hWnd = nullptr;
    frontend::CWebPage m_page;  // cancelled at once when the panel goes
};

}  // namespace win32ui
