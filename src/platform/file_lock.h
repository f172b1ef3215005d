#pragma once
// An advisory lock (flock; on Windows a lock on the file's first byte) on a file or a folder, held
// while the object lives; the system drops it when the process ends. Holders of a shared lock on
// one file can tell which of them is the last. Any thread; one object per holder.

#include <cstdint>
#include <string>

namespace platform {

class FileLock final {
public:
    enum class Kind { Shared, Exclusive };

    // Windows locks a folder through this file inside it, made (hidden) by the first holder and
    // left there; Linux locks the folder itself.
    static constexpr const char* kFolderLockName = "folder.lock";

    FileLock() = default;
    // Opens `path` and waits for the lock; holds nothing when it cannot be opened or locked.
    FileLock(const std::string& path, Kind kind);
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    explicit operator bool() const { return m_fd != -1; }

    // For a shared holder: gives up its lock and takes the exclusive one if no other holder is
    // left, keeping it until the object goes. False only while another holder remains, so of
    // holders that all do this, the last one gets true. Holding nothing: false.
    bool ReleaseAsLast();

    // The program file this process runs, whatever has been renamed or removed since it started.
    static FileLock OwnProgramFile(Kind kind);

private:
    std::intptr_t m_fd = -1;  // a descriptor, or a handle on Windows
};

}  // namespace platform
