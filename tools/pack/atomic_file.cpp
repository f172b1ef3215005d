#include "pack/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pack/pack_error.h"
#include "pack/unique_fd.h"

namespace {

constexpr std::string_view kTempSuffix = ".XXXXXX";

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path, int error) {
    throw PackError(what + " " + path.string() + ": " + std::strerror(error));
}

// Removes the temporary file unless the rename took it.
class TempFile final {
public:
    explicit TempFile(std::string path) : m_path(std::move(path)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    void Release() { m_path.clear(); }

private:
    std::string m_path;
};

// mkstemp makes files for the owner only; published files get the usual umask-based mode.
mode_t PublishedMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void WriteAll(int fd, std::string_view bytes, const std::filesystem::path& path) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            Fail("cannot write", path, written < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    const std::filesystem::path folder = path.parent_path();
    std::string temp =
        (folder / ("." + path.filename().string() + std::string(kTempSuffix))).string();
    UniqueFd fd(::mkstemp(temp.data()));
    if (!fd.valid())
        Fail("cannot create a temporary file for", path, errno);
    TempFile guard(temp);
    if (::fchmod(fd.get(), PublishedMode()) != 0)
        Fail("cannot set the mode of", temp, errno);
    WriteAll(fd.get(), bytes, temp);
    if (::fsync(fd.get()) != 0)
        Fail("cannot flush", temp, errno);
    if (!fd.close())
        Fail("cannot close", temp, errno);
    if (::rename(temp.c_str(), path.c_str()) != 0)
        Fail("cannot replace", path, errno);
    guard.Release();
}

std::string_view TemporaryTarget(std::string_view name) {
    if (name.size() <= 1 + kTempSuffix.size() || name.front() != '.' ||
        name[name.size() - kTempSuffix.size()] != '.')
        return {};
    return name.substr(1, name.size() - 1 - kTempSuffix.size());
}
