#pragma once
// The program's message boxes: installs the handler of platform::ShowMessage that shows Qt's
// modal box with the caption and one OK button. A box asked for on another thread is shown on
// the GUI thread while the caller waits. Install on the GUI thread; boxes from any thread.

#include <functional>

#include <QString>

class QWidget;

namespace ui {

// `mainWindow` answers the window that owns a box when no modal dialog is active (null before
// the main window exists: start-up's boxes have no owner).
void InstallQtMessageBox(std::function<QWidget*()> mainWindow);

// Shows one box now, on the calling GUI thread; what the installed handler runs.
void ShowQtMessageBox(QWidget* owner, const QString& caption, const QString& text);

}  // namespace ui
