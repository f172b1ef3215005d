#pragma once
// The socket library's start and end: on Windows Winsock 2.2 is started (WSAStartup) while an
// object lives and cleaned up (WSACleanup) when it goes; elsewhere sockets need no start and the
// object does nothing. Objects may nest and live on any thread; the system counts them.

namespace corelib {

class xnetwork final {
public:
    // Raises xcritical when the library cannot be started.
    xnetwork();
    ~xnetwork();
    xnetwork(const xnetwork&) = delete;
    xnetwork& operator=(const xnetwork&) = delete;
};

}  // namespace corelib
