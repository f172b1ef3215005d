#include "protocol/wake_pipe.h"

#include <fcntl.h>
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
