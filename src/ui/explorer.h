#pragma once
// One web panel of the main window: a widget that is placed but never shown, and loads the
// address it is given once (frontend::CWebPage). GUI thread only.

#include <string>

#include <QWidget>

#include "frontend/web_page.h"

namespace ui {

class CExplorer1 final : public QWidget {
    Q_OBJECT

public:
    explicit CExplorer1(QWidget* parent = nullptr);

    // Starts loading `url` (ANSI text as Launcher.ini gives it) and returns; see CWebPage.
    void Navigate(const std::string& url) { m_page.Navigate(url); }

    // The address last navigated to, and whether its load still runs.
    const std::string& LocationURL() const { return m_page.LocationURL(); }
    bool Busy() const { return m_page.Busy(); }

private:
    frontend::CWebPage m_page;  // cancelled at once when the panel goes
};

}  // namespace ui
