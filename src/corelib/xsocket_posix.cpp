#include "corelib/xsocket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "corelib/xexception.h"

namespace corelib {

namespace {

constexpr int kInvalidType = 3;

}  // namespace

xsocket::~xsocket() {
    close();
}

void xsocket::create() {
    close();
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        throw xwarning("%s:%d socket failed(errno=%d)", QUEND_HERE, errno);
    m_handle = handle;
}

bool xsocket::connect(const sockaddr_in& address) {
    int result;
    do {
        result = ::connect(handle(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result < 0 && errno == EINTR);
    return result == 0;
}

void xsocket::attach(socket_handle handle) {
    close();
    m_handle = handle;
}

int xsocket::type() const {
    if (!valid())
        return kInvalidType;
    int value = 0;
    socklen_t length = sizeof value;
    if (::getsockopt(handle(), SOL_SOCKET, SO_TYPE, &value, &length) != 0)
        throw xwarning("%s:%d getsockopt failed(errno=%d)", QUEND_HERE, errno);
    return value;
}

long xsocket::send(const void* data, size_t n) {
    if (type() != SOCK_STREAM)
        throw xwarning("%s:%d send failed", QUEND_HERE);
    ssize_t result;
    do {
        // A peer that went away reports an error here instead of raising SIGPIPE.
        result = ::send(handle(), data, n, MSG_NOSIGNAL);
    } while (result < 0 && errno == EINTR);
    return static_cast<long>(result);
}

long xsocket::recv(void* data, size_t n) {
    if (type() != SOCK_STREAM)
        throw xwarning("%s:%d recv failed", QUEND_HERE);
    ssize_t result;
    do {
        result = ::recv(handle(), data, n, 0);
    } while (result < 0 && errno == EINTR);
    return static_cast<long>(result);
}

void xsocket::shutdown() {
    if (valid())
        ::shutdown(handle(), SHUT_RDWR);
}

void xsocket::close() {
    const int handle = m_handle.exchange(invalid_handle);
    if (handle != invalid_handle)
        ::close(handle);
}

}  // namespace corelib
