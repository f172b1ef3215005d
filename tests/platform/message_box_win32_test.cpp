// The system's message box behind the seam: its title is the caption, its text the message, and
// the seam returns once it is closed. Needs a window system (Xvfb under Wine).

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/message_box.h"

namespace {

bool CanMakeWindows() {
    HWND probe = ::CreateWindowExW(0, L"STATIC", L"probe", 0, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
    if (probe == nullptr)
        return false;
    ::DestroyWindow(probe);
    return true;
}

// The dialog the thread shows, once it is up; null when none came within the time.
HWND WaitForBox(DWORD thread) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        HWND box = nullptr;
        ::EnumThreadWindows(
            thread,
            [](HWND window, LPARAM found) -> BOOL {
                wchar_t name[16] = L"";
                ::GetClassNameW(window, name, 16);
                if (std::wstring(name) != L"#32770")
                    return TRUE;
                *reinterpret_cast<HWND*>(found) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&box));
        if (box != nullptr)
            return box;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

std::wstring TextOf(HWND window) {
    wchar_t text[64] = L"";
    ::GetWindowTextW(window, text, 64);
    return text;
}

TEST(SystemMessageBoxTest, ShowsTheCaptionAndTextUntilOkIsPressed) {
    if (!CanMakeWindows())
        GTEST_SKIP() << "no window system";
    platform::SetMessageCaption("Launcher");
    const platform::MessageHandler saved =
        platform::SetMessageHandler(platform::SystemMessageBox());
    std::promise<DWORD> thread;
    auto shown = std::async(std::launch::async, [&thread] {
        thread.set_value(::GetCurrentThreadId());
        platform::ShowMessage("无法连接服务器");
    });
    const DWORD id = thread.get_future().get();

    HWND box = WaitForBox(id);
    if (box == nullptr) {
        ::PostThreadMessageW(id, WM_QUIT, 0, 0);  // ends a box that never showed
        FAIL() << "no box came up";
    }
    EXPECT_EQ(TextOf(box), L"Launcher");
    EXPECT_EQ(shown.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
        << "the seam returned while the box was up";
    EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), L"\x65E0\x6CD5\x8FDE\x63A5\x670D\x52A1\x5668");
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(shown.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    platform::SetMessageHandler(saved);
}

}  // namespace
