#include "platform/file_lock.h"

#include <windows.h>

#include <utility>

#include "platform/process.h"
#include "platform/utf16.h"

namespace platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The first byte stands for the whole file: every holder locks the same range.
bool LockRange(std::intptr_t handle, DWORD flags) {
    OVERLAPPED at{};
    return ::LockFileEx(reinterpret_cast<HANDLE>(handle), flags, 0, 1, 0, &at) != 0;
}

void UnlockRange(std::intptr_t handle) {
    OVERLAPPED at{};
    ::UnlockFileEx(reinterpret_cast<HANDLE>(handle), 0, 1, 0, &at);
}

// A folder cannot be locked by range on Windows: its lock is a file inside it that every holder
// opens, made when missing.
HANDLE OpenLockTarget(const std::string& path) {
    std::wstring target = Utf8ToWide(path);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return ::CreateFileW(target.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (!target.empty() && target.back() != L'\\' && target.back() != L'/')
        target += L'\\';
    target += Utf8ToWide(FileLock::kFolderLockName);
    return ::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
}

}  // namespace

FileLock::FileLock(const std::string& path, Kind kind) {
    const HANDLE file = OpenLockTarget(path);
    if (file == INVALID_HANDLE_VALUE)
        return;
    m_fd = reinterpret_cast<std::intptr_t>(file);
    if (!LockRange(m_fd, kind == Kind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0)) {
        ::CloseHandle(file);
        m_fd = -1;
    }
}

FileLock::~FileLock() {
    if (m_fd != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_fd));
}

FileLock::FileLock(FileLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (m_fd != -1)
            ::CloseHandle(reinterpret_cast<HANDLE>(m_fd));
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

bool FileLock::ReleaseAsLast() {
    if (m_fd == -1)
        return false;
    UnlockRange(m_fd);
    return LockRange(m_fd, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY);
}

FileLock FileLock::OwnProgramFile(Kind kind) {
    return FileLock(OwnExePath(), kind);
}

}  // namespace platform
