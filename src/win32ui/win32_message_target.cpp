#include "win32ui/win32_message_target.h"

#include <utility>

namespace win32ui {

CWin32MessageTarget::~CWin32MessageTarget() {
    Detach();
}

void CWin32MessageTarget::Attach(HWND window) {
    const std::lock_guard lock(m_mutex);
    m_hWnd = window;
}

void CWin32MessageTarget::Detach() {
    const std::lock_guard lock(m_mutex);
    m_hWnd = nullptr;
}

void CWin32MessageTarget::Post(platform::PostedMessage message) {
    const std::lock_guard lock(m_mutex);
    if (m_hWnd == nullptr)
        return;
    auto copy = std::make_unique<platform::PostedMessage>(std::move(message));
    // The queue holds the message from here; a failed post leaves it with us to free.
    if (::PostMessageW(m_hWnd, kPostedMessage, 0, reinterpret_cast<LPARAM>(copy.get())))
        copy.release();
}

std::unique_ptr<platform::PostedMessage> CWin32MessageTarget::Take(LPARAM lParam) {
    return std::unique_ptr<platform::PostedMessage>(
        reinterpret_cast<platform::PostedMessage*>(lParam));
}

void CWin32MessageTarget::DropQueued(HWND window) {
    MSG message;
    while (::PeekMessageW(&message, window, kPostedMessage, kPostedMessage, PM_REMOVE))
        Take(message.lParam);
}

}  // namespace win32ui
