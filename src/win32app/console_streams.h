#pragma once
// CConsoleStreams: standard output and error of the window program when it runs from a terminal
// or a script. What the starter handed over (a pipe, a file, a console) is kept; a stream it did
// not hand over opens on the console of the starting process, when that has one. While the
// object lives the console shows UTF-8. Main thread, before anything writes to the streams.

#include <windows.h>

namespace win32app {

class CConsoleStreams final {
public:
    CConsoleStreams();
    ~CConsoleStreams();
    CConsoleStreams(const CConsoleStreams&) = delete;
    CConsoleStreams& operator=(const CConsoleStreams&) = delete;

private:
    UINT m_uCodePage = 0;  // the console's own output code page; 0: no console
};

}  // namespace win32app
