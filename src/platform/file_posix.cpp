#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

namespace platform {

namespace {

int Flags(File::Mode mode) {
    constexpr int kAlways = O_CLOEXEC | O_NOCTTY;
    switch (mode) {
        case File::Mode::Read:
            // Non-blocking, so that a pipe standing where a file should be cannot hang the open.
            return kAlways | O_RDONLY | O_NONBLOCK;
        case File::Mode::ReadWrite:
            return kAlways | O_RDWR;
        case File::Mode::ReadWriteCreate:
            return kAlways | O_RDWR | O_CREAT;
    }
    return kAlways | O_RDONLY;
}

int Fd(File::Native handle) {
    return static_cast<int>(handle);
}

}  // namespace

File File::Open(const std::string& path, Mode mode, Share /*share*/) {
    File file(::open(path.c_str(), Flags(mode), 0644));
    if (!file.IsOpen())
        file.Fail();
    return file;
}

bool File::Fail() {
    m_error = std::strerror(errno);
    return false;
}

std::optional<FileInfo> File::Info() {
    struct stat info {};
    if (::fstat(Fd(m_handle), &info) != 0) {
        Fail();
        return std::nullopt;
    }
    return FileInfo{static_cast<std::uint64_t>(info.st_size), S_ISREG(info.st_mode),
                    static_cast<std::int64_t>(info.st_mtim.tv_sec)};
}

long File::Read(void* buffer, std::size_t n) {
    n = std::min<std::size_t>(n, LONG_MAX);
    for (;;) {
        const ssize_t got = ::read(Fd(m_handle), buffer, n);
        if (got >= 0)
            return static_cast<long>(got);
        if (errno != EINTR) {
            Fail();
            return -1;
        }
    }
}

long File::ReadAt(void* buffer, std::size_t n, std::uint64_t offset) {
    n = std::min<std::size_t>(n, LONG_MAX);
    for (;;) {
        const ssize_t got = ::pread(Fd(m_handle), buffer, n, static_cast<off_t>(offset));
        if (got >= 0)
            return static_cast<long>(got);
        if (errno != EINTR) {
            Fail();
            return -1;
        }
    }
}

bool File::Write(const void* data, std::size_t n) {
    const char* bytes = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t written = ::write(Fd(m_handle), bytes, n);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return Fail();
        if (written == 0) {
            m_error = std::strerror(ENOSPC);
            return false;
        }
        bytes += written;
        n -= static_cast<std::size_t>(written);
    }
    return true;
}

bool File::Truncate(std::uint64_t size) {
    if (::ftruncate(Fd(m_handle), static_cast<off_t>(size)) != 0)
        return Fail();
    return Seek(size);
}

bool File::Seek(std::uint64_t offset) {
    if (::lseek(Fd(m_handle), static_cast<off_t>(offset), SEEK_SET) < 0)
        return Fail();
    return true;
}

bool File::SetMode(unsigned mode) {
    if (::fchmod(Fd(m_handle), static_cast<mode_t>(mode & 07777)) != 0)
        return Fail();
    return true;
}

bool File::SetModifiedTime(std::int64_t time) {
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(time), 0}};
    if (::futimens(Fd(m_handle), times) != 0)
        return Fail();
    return true;
}

bool File::Flush() {
    if (::fsync(Fd(m_handle)) != 0)
        return Fail();
    return true;
}

bool File::Close() {
    if (!IsOpen())
        return true;
    // A close can be the first to report a failed write (disk full on some file systems).
    if (::close(Fd(std::exchange(m_handle, -1))) != 0)
        return Fail();
    return true;
}

}  // namespace platform
