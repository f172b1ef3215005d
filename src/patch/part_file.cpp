#include "patch/part_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace {

constexpr mode_t kNewFileMode = 0644;
constexpr std::string_view kPartPrefix = ".quend-part-";
constexpr std::size_t kPartSuffixSize = 6;  // mkostemp's XXXXXX

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Read from the kernel's view of the process: umask() itself would change it for every thread.
mode_t ProcessUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Umask:"))
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
    return 022;
}

bool StartsAsProgram(const char* head, std::size_t size) {
    const std::string_view bytes(head, size);
    return bytes.starts_with(
               "\x7f"
               "ELF") ||
           bytes.starts_with("#!");
}

// The mode the replacement takes over, so that an update keeps a file's permissions.
mode_t ModeFor(const std::string& target, bool program) {
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return info.st_mode & 07777;
    return program ? kNewFileMode | (0111 & ~ProcessUmask()) : kNewFileMode;
}

bool IsPartFileName(const std::string& name) {
    return name.size() == kPartPrefix.size() + kPartSuffixSize && name.starts_with(kPartPrefix);
}

}  // namespace

CPartFile::CPartFile(std::string target) : m_target(std::move(target)) {
    std::string pattern = FolderOf(m_target) + "/" + std::string(kPartPrefix) + "XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd >= 0)
        m_temp = std::move(pattern);
    else
        m_error = std::strerror(errno);
}

CPartFile::~CPartFile() {
    Discard();
}

bool CPartFile::Write(const char* data, std::size_t size) {
    const std::size_t head = std::min(size, sizeof m_head - m_headSize);
    std::memcpy(m_head + m_headSize, data, head);
    m_headSize += head;
    while (size > 0 && m_fd >= 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return Fail();
        if (written == 0) {
            m_error = std::strerror(ENOSPC);
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return size == 0;
}

bool CPartFile::Commit(std::int64_t modifiedTime) {
    if (m_fd < 0)
        return false;
    if (::fchmod(m_fd, ModeFor(m_target, StartsAsProgram(m_head, m_headSize))) != 0)
        return Fail();
    if (modifiedTime != 0) {
        // Only the last-write time; the access time stays as the writing left it.
        const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(modifiedTime), 0}};
        if (::futimens(m_fd, times) != 0)
            return Fail();
    }
    const int fd = m_fd;
    m_fd = -1;
    // A close can be the first to report a failed write (disk full on some file systems).
    if (::close(fd) != 0 || ::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        Fail();
        Discard();
        return false;
    }
    m_temp.clear();
    return true;
}

void CPartFile::RemoveStale(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::recursive_directory_iterator
             it(folder, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
        std::error_code ignored;
        if (IsPartFileName(it->path().filename().string()) && it->is_regular_file(ignored))
            fs::remove(it->path(), ignored);
    }
}

bool CPartFile::Fail() {
    m_error = std::strerror(errno);
    return false;
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
