#include "protocol/wake_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace protocol {

WakePipe::WakePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    m_read = ends[0];
    m_write = ends[1];
}

WakePipe::~WakePipe() {
    ::close(m_read);
    ::close(m_write);
}

WakePipe::Ready WakePipe::Wait(corelib::socket_handle socket,
                               std::chrono::milliseconds timeout) const {
    pollfd waits[2] = {{socket, POLLIN, 0}, {m_read, POLLIN, 0}};
    const int ready = ::poll(waits, 2, static_cast<int>(timeout.count()));
    if (ready < 0)
        return Ready::kFailed;
    if (waits[1].revents != 0)
        return Ready::kWoken;
    return waits[0].revents != 0 ? Ready::kSocket : Ready::kTimeout;
}

void WakePipe::Signal() {
    const char byte = 1;
    // A full pipe is already readable, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t n = ::write(m_write, &byte, 1);
}

void WakePipe::Drain() {
    char bytes[64];
    while (::read(m_read, bytes, sizeof bytes) > 0) {
    }
}

}  // namespace protocol
