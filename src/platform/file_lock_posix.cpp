#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

namespace {

int Flock(int fd, int operation) {
    int result = 0;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

}  // namespace

FileLock::FileLock(const std::string& path, Kind kind)
    : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (m_fd >= 0 && Flock(static_cast<int>(m_fd), kind == Kind::Shared ? LOCK_SH : LOCK_EX) != 0) {
        ::close(static_cast<int>(m_fd));
        m_fd = -1;
    }
}

FileLock::~FileLock() {
    if (m_fd >= 0)
        ::close(static_cast<int>(m_fd));
}

FileLock::FileLock(FileLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(static_cast<int>(m_fd));
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

bool FileLock::ReleaseAsLast() {
    if (m_fd < 0)
        return false;
    const int fd = static_cast<int>(m_fd);
    Flock(fd, LOCK_UN);
    // A file system that cannot lock exclusively here cannot tell either; then nobody waits.
    return Flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

FileLock FileLock::OwnProgramFile(Kind kind) {
    return FileLock("/proc/self/exe", kind);
}

}  // namespace platform
