#include "win32ui/window_text.h"

#include "platform/utf16.h"

namespace win32ui {

std::string GetWindowTextUtf8(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    const int length = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return platform::WideToUtf8(text);
}

void SetWindowTextUtf8(HWND window, const std::string& text) {
    ::SetWindowTextW(window, platform::Utf8ToWide(text).c_str());
}

}  // namespace win32ui
