#pragma once
// The Windows side of platform::MessageTarget: a post from any thread becomes one private window
// message to one window, carrying a heap copy of the posted message that the window procedure
// takes back (Take). Posts made after Detach are dropped, and what is still queued when the
// window goes is freed by DropQueued. Post: any thread; the rest: the window's thread.

#include <windows.h>

#include <memory>
#include <mutex>

#include "platform/message_target.h"

namespace win32ui {

class CWin32MessageTarget final : public platform::MessageTarget {
public:
    // The private message number of every post; lParam carries the message.
    static constexpr UINT kPostedMessage = WM_APP + 1;

    CWin32MessageTarget() = default;
    ~CWin32MessageTarget() override;
    CWin32MessageTarget(const CWin32MessageTarget&) = delete;
    CWin32MessageTarget& operator=(const CWin32MessageTarget&) = delete;

    // Posts reach `window` from now on.
    void Attach(HWND window);
    // No post reaches the window once this returns.
    void Detach();

    void Post(platform::PostedMessage message) override;

    // The message a kPostedMessage's lParam carries; the caller owns it from now on.
    static std::unique_ptr<platform::PostedMessage> Take(LPARAM lParam);
    // Frees the posts still queued for `window` on the calling thread, after Detach.
    static void DropQueued(HWND window);

private:
    std::mutex m_mutex;
    HWND m_hWnd = nullptr;
};

}  // namespace win32ui
