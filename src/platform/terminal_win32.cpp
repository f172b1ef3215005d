#include "platform/terminal.h"

#include <io.h>
#include <windows.h>

namespace platform {

// A character device is not enough: NUL is one too. Only a console has a console mode.
bool IsTerminal(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

}  // namespace platform
