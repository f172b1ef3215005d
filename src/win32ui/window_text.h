#pragma once
// A window's text as UTF-8, read and written through the system's wide functions. GUI thread
// only.

#include <windows.h>

#include <string>

namespace win32ui {

std::string GetWindowTextUtf8(HWND window);
void SetWindowTextUtf8(HWND window, const std::string& text);

}  // namespace win32ui
