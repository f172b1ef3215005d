#pragma once
// The Windows edition's message boxes: installs the handler of platform::ShowMessage that shows
// the system's modal box (one OK button, the caption as its title) owned by the main window, or
// by the dialog that is open over it. A box asked for on another thread is shown on the main
// window's thread while the caller waits; before the main window exists a box has no owner.
// Install on the GUI thread; boxes from any thread.

#include <windows.h>

#include <functional>
#include <string>

namespace win32ui {

// The private message by which a worker asks the main window's thread for a box; lParam points
// to a MessageRequest. The main window's procedure answers it with ShowOwnedMessage.
inline constexpr UINT kShowMessage = WM_APP + 2;

struct MessageRequest {
    std::string caption;  // UTF-8
    std::string text;     // UTF-8
};

// `mainWindow` answers the main window, or null while there is none; it is asked on any thread.
void InstallWin32MessageBox(std::function<HWND()> mainWindow);

// Shows the box now, on the main window's thread, owned by the window last active over it.
void ShowOwnedMessage(HWND mainWindow, const MessageRequest& request);

}  // namespace win32ui
