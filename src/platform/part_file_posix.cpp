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

// An update keeps a file's permissions, but its owner can read it: an unreadable file would be
// fetched again by every update. A new file gets the kind's own.
unsigned ModeFor(const std::string& target, File& file, PartFile::NewFileMode newFileMode) {
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return (info.st_mode & 07777) | S_IRUSR;
    if (newFileMode == PartFile::NewFileMode::Published)
        return 0666 & PermittedModeBits();
    char head[4] = {};
    const long got = file.ReadAt(head, sizeof head, 0);
    if (got > 0 && StartsAsProgram(std::string_view(head, static_cast<std::size_t>(got))))
        return kDataMode | (0111 & PermittedModeBits());
    return kDataMode;
}

}  // namespace

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

bool PartFile::Commit(const CommitOptions& options) {
    if (!IsOpen())
        return false;
    const bool written =
        m_file.SetMode(ModeFor(m_target, m_file, options.newFileMode)) &&
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

}  // namespace platform
