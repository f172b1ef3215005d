#include "platform/file_system.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace platform {

std::optional<FileInfo> PathInfo(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileInfo{static_cast<std::uint64_t>(info.st_size), S_ISREG(info.st_mode),
                    static_cast<std::int64_t>(info.st_mtim.tv_sec)};
}

bool CreateFolders(const std::string& folder, std::string& error) {
    std::error_code code;
    std::filesystem::create_directories(folder, code);
    if (!code)
        return true;
    error = code.message();
    return false;
}

bool RemoveFile(const std::string& path) {
    return std::remove(path.c_str()) == 0 || errno == ENOENT;
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string& error) {
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    error = std::strerror(errno);
    return false;
}

std::optional<DiskSpace> FreeSpace(const std::string& path) {
    // A folder still to be made goes on the file system of the nearest one there is.
    struct statvfs info {};
    std::filesystem::path at = path;
    while (::statvfs(at.c_str(), &info) != 0) {
        if (errno != ENOENT || !at.has_relative_path())
            return std::nullopt;
        at = at.parent_path();
    }
    const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    return DiskSpace{static_cast<std::uint64_t>(info.f_bavail) * unit, unit != 0 ? unit : 4096};
}

void ForEachFile(
    const std::string& folder,
    const std::function<void(const std::string& path, const std::string& name)>& visit) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::recursive_directory_iterator
             it(folder, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) && !it->is_symlink(ignored))
            visit(it->path().string(), it->path().filename().string());
    }
}

unsigned PermittedModeBits() {
    // The kernel's view of the process: umask() itself would change it for every thread.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Umask:"))
            return 0777u & ~static_cast<unsigned>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 0755;
}

}  // namespace platform
