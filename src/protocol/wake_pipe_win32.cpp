#include "protocol/wake_pipe.h"

#include <winsock2.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace protocol {

namespace {

SOCKET Native(corelib::socket_handle handle) {
    return static_cast<SOCKET>(handle);
}

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(::WSAGetLastError(), std::system_category(), what);
}

// Closes a socket of the pair when setting it up fails half-way.
class PendingSocket final {
public:
    explicit PendingSocket(SOCKET handle) : m_handle(handle) {}
    ~PendingSocket() {
        if (m_handle != INVALID_SOCKET)
            ::closesocket(m_handle);
    }
    PendingSocket(const PendingSocket&) = delete;
    PendingSocket& operator=(const PendingSocket&) = delete;
    SOCKET get() const { return m_handle; }
    SOCKET release() { return std::exchange(m_handle, INVALID_SOCKET); }

private:
    SOCKET m_handle;
};

SOCKET NewSocket() {
    return ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

bool SameAddress(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

}  // namespace

// The two ends come from a listener on loopback that takes one connection and goes; the
// accepted end must be the one we connected, not another program that came first.
WakePipe::WakePipe() {
    PendingSocket listener(NewSocket());
    if (listener.get() == INVALID_SOCKET)
        Fail("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener.get(), 1) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        Fail("listen");
    }
    PendingSocket writer(NewSocket());
    if (writer.get() == INVALID_SOCKET ||
        ::connect(writer.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        Fail("connect");
    }
    sockaddr_in own{};
    length = sizeof own;
    if (::getsockname(writer.get(), reinterpret_cast<sockaddr*>(&own), &length) != 0)
        Fail("getsockname");
    for (;;) {
        sockaddr_in peer{};
        length = sizeof peer;
        PendingSocket reader(::accept(listener.get(), reinterpret_cast<sockaddr*>(&peer), &length));
        if (reader.get() == INVALID_SOCKET)
            Fail("accept");
        if (!SameAddress(peer, own))
            continue;
        u_long nonBlocking = 1;
        if (::ioctlsocket(reader.get(), FIONBIO, &nonBlocking) != 0 ||
            ::ioctlsocket(writer.get(), FIONBIO, &nonBlocking) != 0) {
            Fail("ioctlsocket");
        }
        m_read = static_cast<corelib::socket_handle>(reader.release());
        m_write = static_cast<corelib::socket_handle>(writer.release());
        return;
    }
}

WakePipe::~WakePipe() {
    ::closesocket(Native(m_read));
    ::closesocket(Native(m_write));
}

WakePipe::Ready WakePipe::Wait(corelib::socket_handle socket,
                               std::chrono::milliseconds timeout) const {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Native(socket), &readable);
    FD_SET(Native(m_read), &readable);
    const auto count = timeout.count();
    timeval limit{static_cast<long>(count / 1000), static_cast<long>(count % 1000 * 1000)};
    const int ready = ::select(0, &readable, nullptr, nullptr, &limit);
    if (ready == SOCKET_ERROR) {
        errno = ::WSAGetLastError();
        return Ready::kFailed;
    }
    if (FD_ISSET(Native(m_read), &readable))
        return Ready::kWoken;
    return FD_ISSET(Native(socket), &readable) ? Ready::kSocket : Ready::kTimeout;
}

void WakePipe::Signal() {
    const char byte = 1;
    // A full buffer is already readable, so a failed send loses nothing.
    ::send(Native(m_write), &byte, 1, 0);
}

void WakePipe::Drain() {
    char bytes[64];
    while (::recv(Native(m_read), bytes, sizeof bytes, 0) > 0) {
    }
}

}  // namespace protocol
