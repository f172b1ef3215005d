#pragma once
// The numbers of the main dialog's private messages, shared by the workers that post them and
// the window that handles them.

namespace platform {

// The first private message number (the system's WM_USER, a macro where <windows.h> is seen).
inline constexpr unsigned kFirstPrivateMessage = 0x0400;
inline constexpr unsigned WM_UPDATE_DONE = kFirstPrivateMessage + 2;    // 0x402
inline constexpr unsigned WM_START_GAME = kFirstPrivateMessage + 3;     // 0x403
inline constexpr unsigned WM_DOWN_RANGE = kFirstPrivateMessage + 5;     // 0x405
inline constexpr unsigned WM_DOWN_PROGRESS = kFirstPrivateMessage + 6;  // 0x406
inline constexpr unsigned WM_DOWN_FILE = kFirstPrivateMessage + 7;      // 0x407
// The check pass's status line (text, ANSI code page) and overall progress (wParam done of
// lParam): posted, so that no worker ever waits for the window.
inline constexpr unsigned WM_UPDATE_STATUS = kFirstPrivateMessage + 8;   // 0x408
inline constexpr unsigned WM_TOTAL_PROGRESS = kFirstPrivateMessage + 9;  // 0x409
// The checksum list of an update could not be fetched (wParam 0) or read (wParam 1); no pass ran.
inline constexpr unsigned WM_LIST_FAILED = kFirstPrivateMessage + 10;  // 0x40A

// Registered by name on the original platform; fixed numbers from the registered range here.
inline constexpr unsigned WM_SERVER_MSG = 0xC001;
inline constexpr unsigned WM_SERVER_NOTIFY = 0xC002;

}  // namespace platform
