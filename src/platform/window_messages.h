#pragma once
// The numbers of the main dialog's private messages, shared by the workers that post them and
// the window that handles them.

namespace platform {

inline constexpr unsigned WM_USER = 0x0400;
inline constexpr unsigned WM_UPDATE_DONE = WM_USER + 2;    // 0x402
inline constexpr unsigned WM_START_GAME = WM_USER + 3;     // 0x403
inline constexpr unsigned WM_DOWN_RANGE = WM_USER + 5;     // 0x405
inline constexpr unsigned WM_DOWN_PROGRESS = WM_USER + 6;  // 0x406
inline constexpr unsigned WM_DOWN_FILE = WM_USER + 7;      // 0x407
// The check pass's status line (text, ANSI code page) and overall progress (wParam done of
// lParam): posted, so that no worker ever waits for the window.
inline constexpr unsigned WM_UPDATE_STATUS = WM_USER + 8;   // 0x408
inline constexpr unsigned WM_TOTAL_PROGRESS = WM_USER + 9;  // 0x409

// Registered by name on the original platform; fixed numbers from the registered range here.
inline constexpr unsigned WM_SERVER_MSG = 0xC001;
inline constexpr unsigned WM_SERVER_NOTIFY = 0xC002;

}  // namespace platform
