#pragma once
// One TCP socket handle and its lifetime: created or adopted, connected, checked before every send
// and receive, shut down, closed. The owning thread creates and closes it; send, recv and shutdown
// may run on another thread while the handle stays open.

#include <atomic>
#include <cstddef>
#include <cstdint>

struct sockaddr_in;

namespace corelib {

// The system's socket handle: a descriptor, or on Windows a SOCKET.
#if defined(_WIN32)
using socket_handle = std::uintptr_t;
#else
using socket_handle = int;
#endif

class xsocket final {
public:
    static constexpr socket_handle invalid_handle = static_cast<socket_handle>(-1);

    xsocket() = default;
    ~xsocket();
    xsocket(const xsocket&) = delete;
    xsocket& operator=(const xsocket&) = delete;

    // Closes a valid old handle and opens a new IPv4 stream socket; raises xwarning on failure.
    void create();
    // Blocking connect; false when it fails (the socket stays open).
    bool connect(const sockaddr_in& address);
    // Takes ownership of an already connected stream socket, closing the old handle.
    void attach(socket_handle handle);

    socket_handle handle() const { return m_handle.load(); }
    bool valid() const { return handle() != invalid_handle; }

    // The socket's SO_TYPE; an invalid handle counts as 3, a raw socket.
    int type() const;

    // One send or receive after the stream check; the system's result (-1 on error, 0 from recv
    // when the peer closed). An invalid or non-stream socket raises xwarning. The socket library
    // must be started (xnetwork) while any of these run.
    long send(const void* data, size_t n);
    long recv(void* data, size_t n);

    // Ends both directions: wakes any thread blocked on the handle while the descriptor number
    // stays ours, so it cannot be reused under that thread.
    void shutdown();
    void close();

private:
    std::atomic<socket_handle> m_handle{invalid_handle};
};

}  // namespace corelib
