#include "win32app/console_streams.h"

#include <cstdio>

namespace win32app {
namespace {

bool HandedOver(DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

CConsoleStreams::CConsoleStreams() {
    const bool out = HandedOver(STD_OUTPUT_HANDLE);
    const bool err = HandedOver(STD_ERROR_HANDLE);
    // Attached even when both streams go elsewhere: Ctrl-C in the console reaches only the
    // processes attached to it.
    const bool attached = ::AttachConsole(ATTACH_PARENT_PROCESS) != 0;
    if (attached && !out)
        std::freopen("CONOUT$", "w", stdout);
    if (attached && !err)
        std::freopen("CONOUT$", "w", stderr);
    m_uCodePage = ::GetConsoleOutputCP();
    if (m_uCodePage != 0)
        ::SetConsoleOutputCP(CP_UTF8);
}

// The console goes on serving its shell: it gets its code page back.
CConsoleStreams::~CConsoleStreams() {
    std::fflush(nullptr);
    if (m_uCodePage != 0)
        ::SetConsoleOutputCP(m_uCodePage);
}

}  // namespace win32app
