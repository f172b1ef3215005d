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

// The box with that title once it is up; null when none came within the time.
HWND WaitForBox(const wchar_t* title) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (HWND box = ::FindWindowW(L"#32770", title))
            return box;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

TEST(SystemMessageBoxTest, ShowsTheCaptionAndTextUntilOkIsPressed) {
    if (!CanMakeWindows())
        GTEST_SKIP() << "no window system";
    platform::SetMessageCaption("Launcher");
    const platform::MessageHandler saved =
        platform::SetMessageHandler(platform::SystemMessageBox());
    auto shown = std::async(std::launch::async, [] { platform::ShowMessage("无法连接服务器"); });

    HWND box = WaitForBox(L"Launcher");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(shown.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
        << "the seam returned while the box was up";
    wchar_t text[64] = L"";
    ::GetDlgItemTextW(box, 0xFFFF, text, 64);  // the box's static text
    EXPECT_EQ(std::wstring(text), L"\x65E0\x6CD5\x8FDE\x63A5\x670D\x52A1\x5668");
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(shown.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    platform::SetMessageHandler(saved);
}

}  // namespace
