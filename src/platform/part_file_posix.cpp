#include "platform/part_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/file_system.h"

namespace platform {

namespace {

constexpr unsigned kDataMode = 0644;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool StartsAsProgram(std::string_view head) {
    return head.starts_with(
               "\x7f"
               "ELF") ||
           head.starts_with("#!");
}

}  // namespace

PartFile::PartFile(std::string target, std::string path, File file, bool keep)
    : m_target(std::move(target)), m_path(std::move(path)), m_file(std::move(file)), m_keep(keep) {}

PartFile PartFile::CreateUnique(std::string target, const std::string& prefix) {
    std::string pattern = FolderOf(target) + "/" + prefix + "XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        PartFile failed;
        failed.m_error = std::strerror(errno);
        return failed;
    }
    return PartFile(std::move(target), std::move(pattern), File::Adopt(fd), false);
}

PartFile PartFile::OpenNamed(std::string target, std::string path) {
    File file = File::Open(path, File::Mode::ReadWriteCreate);
    PartFile part(std::move(target), std::move(path), std::move(file), true);
    if (!part.IsOpen()) {
        part.m_error = part.m_file.Error();
        return part;
    }
    const auto info = part.m_file.Info();
    if (!info || !info->regular || !part.m_file.Seek(info->size)) {
        part.m_error = info && !info->regular ? std::strerror(EISDIR) : part.m_file.Error();
        part.m_file = File();
        return part;
    }
    part.m_size = info->size;
    return part;
}

PartFile::~PartFile() {
    if (!m_keep)
        Discard();
}

PartFile::PartFile(PartFile&& other) noexcept
    : m_target(std::move(other.m_target)),
      m_path(std::exchange(other.m_path, {})),
      m_file(std::move(other.m_file)),
      m_size(other.m_size),
      m_keep(other.m_keep),
      m_error(std::move(other.m_error)) {}

PartFile& PartFile::operator=(PartFile&& other) noexcept {
    if (this != &other) {
        if (!m_keep)
            Discard();
        m_target = std::move(other.m_target);
        m_path = std::exchange(other.m_path, {});
        m_file = std::move(other.m_file);
        m_size = other.m_size;
        m_keep = other.m_keep;
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool PartFile::Fail(const File& file) {
    m_error = file.Error();
    return false;
}

long PartFile::ReadAt(void* buffer, std::size_t n, std::uint64_t offset) {
    const long got = m_file.ReadAt(buffer, n, offset);
    if (got < 0)
        Fail(m_file);
    return got;
}

bool PartFile::Write(const void* data, std::size_t n) {
    if (!m_file.Write(data, n))
        return Fail(m_file);
    m_size += n;
    return true;
}

bool PartFile::Truncate(std::uint64_t size) {
    if (!m_file.Truncate(size))
        return Fail(m_file);
    m_size = size;
    return true;
}

// An update keeps a file's permissions; a new file gets the kind's own.
unsigned PartFile::ModeFor(NewFileMode newFileMode) {
    struct stat info {};
    if (::stat(m_target.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return info.st_mode & 07777;
    if (newFileMode == NewFileMode::Published)
        return 0666 & PermittedModeBits();
    char head[4] = {};
    const long got = m_file.ReadAt(head, sizeof head, 0);
    if (got > 0 && StartsAsProgram(std::string_view(head, static_cast<std::size_t>(got))))
        return kDataMode | (0111 & PermittedModeBits());
    return kDataMode;
}

bool PartFile::Commit(const CommitOptions& options) {
    if (!IsOpen())
        return false;
    const bool written =
        m_file.SetMode(ModeFor(options.newFileMode)) &&
        (options.modifiedTime == 0 || m_file.SetModifiedTime(options.modifiedTime)) &&
        (!options.flush || m_file.Flush()) && m_file.Close();
    if (!written || !ReplaceFile(m_path, m_target, m_error)) {
        if (!written)
            Fail(m_file);
        Discard();
        return false;
    }
    m_path.clear();
    return true;
}

void PartFile::Discard() {
    m_file = File();
    if (!m_path.empty()) {
        RemoveFile(m_path);
        m_path.clear();
    }
}

}  // namespace platform
