#include "win32ui/win32_message_box.h"

#include <utility>

#include "platform/message_box.h"
#include "platform/utf16.h"

namespace win32ui {

void ShowOwnedMessage(HWND mainWindow, const MessageRequest& request) {
    // The code dialog, when it is open over the main window, owns the box.
    HWND owner = mainWindow != nullptr ? ::GetLastActivePopup(mainWindow) : nullptr;
    ::MessageBoxW(owner, platform::Utf8ToWide(request.text).c_str(),
                  platform::Utf8ToWide(request.caption).c_str(), MB_OK);
}

void InstallWin32MessageBox(std::function<HWND()> mainWindow) {
    const platform::MessageHandler withoutOwner = platform::SystemMessageBox();
    platform::SetMessageHandler([mainWindow = std::move(mainWindow), withoutOwner](
                                    const std::string& caption, const std::string& text) {
        const HWND main = mainWindow ? mainWindow() : nullptr;
        if (main == nullptr) {
            withoutOwner(caption, text);
            return;
        }
        MessageRequest request{caption, text};
        if (::GetWindowThreadProcessId(main, nullptr) == ::GetCurrentThreadId())
            ShowOwnedMessage(main, request);
        else
            ::SendMessageW(main, kShowMessage, 0, reinterpret_cast<LPARAM>(&request));
    });
}

}  // namespace win32ui
