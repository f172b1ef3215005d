#include "corelib/xsocket.h"

#include <winsock2.h>

#include <climits>

#include "corelib/xexception.h"

namespace corelib {

namespace {

constexpr int kInvalidType = 3;

SOCKET Native(socket_handle handle) {
    return static_cast<SOCKET>(handle);
}

int Chunk(size_t n) {
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

}  // namespace

xsocket::~xsocket() {
    close();
}

void xsocket::create() {
    close();
    // Not inherited by programs this process starts, as SOCK_CLOEXEC on Linux.
    const SOCKET handle = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                       WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (handle == INVALID_SOCKET)
        throw xwarning("%s:%d socket failed(errno=%d)", QUEND_HERE, ::WSAGetLastError());
    m_handle = static_cast<socket_handle>(handle);
}

bool xsocket::connect(const sockaddr_in& address) {
    return ::connect(Native(handle()), reinterpret_cast<const sockaddr*>(&address),
                     sizeof address) == 0;
}

void xsocket::attach(socket_handle handle) {
    close();
    m_handle = handle;
}

int xsocket::type() const {
    if (!valid())
        return kInvalidType;
    int value = 0;
    int length = sizeof value;
    if (::getsockopt(Native(handle()), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&value),
                     &length) != 0) {
        throw xwarning("%s:%d getsockopt failed(errno=%d)", QUEND_HERE, ::WSAGetLastError());
    }
    return value;
}

// Winsock raises no signal for a peer that went away; the error comes back as on Linux.
long xsocket::send(const void* data, size_t n) {
    if (type() != SOCK_STREAM)
        throw xwarning("%s:%d send failed", QUEND_HERE);
    const int result = ::send(Native(handle()), static_cast<const char*>(data), Chunk(n), 0);
    return result == SOCKET_ERROR ? -1 : result;
}

long xsocket::recv(void* data, size_t n) {
    if (type() != SOCK_STREAM)
        throw xwarning("%s:%d recv failed", QUEND_HERE);
    const int result = ::recv(Native(handle()), static_cast<char*>(data), Chunk(n), 0);
    return result == SOCKET_ERROR ? -1 : result;
}

void xsocket::shutdown() {
    if (valid())
        ::shutdown(Native(handle()), SD_BOTH);
}

void xsocket::close() {
    const socket_handle handle = m_handle.exchange(invalid_handle);
    if (handle != invalid_handle)
        ::closesocket(Native(handle));
}

}  // namespace corelib
