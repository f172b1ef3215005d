#include "patch/part_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

constexpr mode_t kNewFileMode = 0644;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The mode the replacement takes over, so that an update keeps a file's permissions.
mode_t ModeFor(const std::string& target) {
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return info.st_mode & 07777;
    return kNewFileMode;
}

}  // namespace

CPartFile::CPartFile(std::string target) : m_target(std::move(target)) {
    std::string pattern = FolderOf(m_target) + "/.quend-part-XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd >= 0)
        m_temp = std::move(pattern);
}

CPartFile::~CPartFile() {
    Discard();
}

bool CPartFile::Write(const char* data, std::size_t size) {
    while (size > 0 && m_fd >= 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return size == 0;
}

bool CPartFile::Commit(std::int64_t modifiedTime) {
    if (m_fd < 0)
        return false;
    if (::fchmod(m_fd, ModeFor(m_target)) != 0)
        return false;
    if (modifiedTime != 0) {
        // Only the last-write time; the access time stays as the writing left it.
        const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(modifiedTime), 0}};
        if (::futimens(m_fd, times) != 0)
            return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    // A close can be the first to report a failed write (disk full on some file systems).
    if (::close(fd) != 0 || ::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        Discard();
        return false;
    }
    m_temp.clear();
    return true;
}

void CPartFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}
