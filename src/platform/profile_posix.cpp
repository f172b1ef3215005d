#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <string_view>
#include <utility>

#include "platform/profile_text.h"

namespace platform {
namespace {

// Closes its descriptor when it goes.
class FileHandle final {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    FileHandle(FileHandle&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileHandle& operator=(FileHandle&&) = delete;
    ~FileHandle() {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool valid() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    // Closes now so that a failing close (a late write error) can be seen.
    bool Close() { return ::close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

// Reads a whole regular file; answers nullopt with errno set when it cannot.
std::optional<std::string> ReadAll(const std::string& path, struct stat* info) {
    FileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid() || ::fstat(fd.get(), info) != 0)
        return std::nullopt;
    if (!S_ISREG(info->st_mode)) {
        errno = EINVAL;
        return std::nullopt;
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(info->st_size));
    char chunk[16384];
    for (;;) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got == 0)
            return content;
        if (got < 0 && errno != EINTR)
            return std::nullopt;
        if (got > 0)
            content.append(chunk, static_cast<std::size_t>(got));
    }
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// A new file in the folder of `target`, created with the usual 0666 less umask. Its name is
// short so that a target with a name near the length limit can still be replaced.
FileHandle CreateTempBeside(const std::filesystem::path& target, std::string* tempPath) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".profile-%08x.tmp", static_cast<unsigned>(random()));
        std::filesystem::path temp = target;
        temp.replace_filename(name);
        FileHandle fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.valid() || errno != EEXIST) {
            *tempPath = temp.string();
            return fd;
        }
    }
    return FileHandle(-1);
}

// Writes a temporary file and renames it over `path`, so readers see the old or the new file,
// never a half-written one.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::optional<mode_t> mode) {
    std::string tempPath;
    FileHandle fd = CreateTempBeside(path, &tempPath);
    if (!fd.valid())
        return false;
    bool ok = WriteAll(fd.get(), bytes) && (!mode || ::fchmod(fd.get(), *mode) == 0) &&
              ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(tempPath.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(tempPath.c_str());
    return ok;
}

// A symbolic link is written through, so the link stays a link.
std::string WriteTarget(const std::string& file) {
    std::error_code error;
    if (!std::filesystem::is_symlink(file, error))
        return file;
    const std::filesystem::path target = std::filesystem::canonical(file, error);
    return error ? file : target.string();
}

}  // namespace

std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t size, const std::string& file) {
    struct stat info {};
    const std::optional<std::string> content = ReadAll(file, &info);
    return ReadProfileText(content ? std::string_view(*content) : std::string_view(), section, key,
                           defaultValue, buffer, size);
}

bool WriteProfileString(const char* section, const char* key, const char* value,
                        const std::string& file) {
    if (file.empty())
        return false;
    const std::string target = WriteTarget(file);
    struct stat info {};
    std::optional<std::string> content = ReadAll(target, &info);
    std::optional<mode_t> mode;
    if (content) {
        mode = info.st_mode & 07777;
    } else if (errno == ENOENT) {
        content.emplace();
    } else {
        return false;
    }
    std::string updated;
    switch (EditProfileText(*content, section, key, value, &updated)) {
        case ProfileEdit::kRefused:
            return false;
        case ProfileEdit::kUnchanged:
            return true;  // nothing to remove
        case ProfileEdit::kChanged:
            break;
    }
    return ReplaceFile(target, updated, mode);
}

}  // namespace platform
