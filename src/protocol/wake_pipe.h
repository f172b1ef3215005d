#pragma once
// Lets another thread wake a loop that waits for its socket, without touching the socket: a
// self-pipe on Linux, a connected pair of loopback sockets on Windows (where only sockets can be
// waited for beside a socket). Signal() may be called from any thread; Wait() and Drain() by the
// owner, Drain() when no loop waits on it.

#include <chrono>

#include "corelib/xnetwork.h"
#include "corelib/xsocket.h"

namespace protocol {

class WakePipe final {
public:
    WakePipe();  // raises std::system_error when no pipe can be made
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    // The end to wait on for reading; readable once signalled, until drained.
    corelib::socket_handle ReadHandle() const { return m_read; }

    enum class Ready { kTimeout, kSocket, kWoken, kFailed };
    // Waits up to `timeout` for `socket` to become readable (or closed) or for a signal; a
    // signal wins over the socket. After kFailed errno holds the system's error.
    Ready Wait(corelib::socket_handle socket, std::chrono::milliseconds timeout) const;

    void Signal();
    void Drain();

private:
    corelib::xnetwork m_network;  // outlives the two ends
    corelib::socket_handle m_read = corelib::xsocket::invalid_handle;
    corelib::socket_handle m_write = corelib::xsocket::invalid_handle;
};

}  // namespace protocol
