#pragma once
// A tmpfs of a few megabytes for the free-space cases, mounted for as long as it lives where this
// process may mount (as root). Test thread only.

#include <sys/mount.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

namespace quend::test {

class SmallTmpfs final {
public:
    // Mounts `bytes` of tmpfs on `folder`, made if missing; a test skips with reason() where
    // mounted() is false.
    SmallTmpfs(std::filesystem::path folder, std::uintmax_t bytes) : m_path(std::move(folder)) {
        std::filesystem::create_directories(m_path);
        const std::string size = "size=" + std::to_string(bytes);
        if (::mount("tmpfs", m_path.c_str(), "tmpfs", 0, size.c_str()) != 0)
            m_reason = std::string("cannot mount a tmpfs (it needs root): ") + std::strerror(errno);
    }
    // Detached: a file a thread or child still holds open does not keep the test waiting.
    ~SmallTmpfs() {
        if (mounted())
            ::umount2(m_path.c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return m_reason.empty(); }
    const std::string& reason() const { return m_reason; }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::string m_reason;
};

}  // namespace quend::test
