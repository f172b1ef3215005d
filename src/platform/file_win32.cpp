#include "platform/file.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "platform/utf16.h"
#include "platform/win32_support.h"

namespace platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// One ReadFile or WriteFile moves at most this much.
constexpr DWORD kMostPerCall = 1u << 30;

HANDLE AsHandle(File::Native handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool MovePointer(HANDLE file, std::int64_t offset, DWORD from, std::int64_t* at = nullptr) {
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER now{};
    if (!::SetFilePointerEx(file, distance, &now, from))
        return false;
    if (at != nullptr)
        *at = now.QuadPart;
    return true;
}

// Sets or clears the read-only attribute, leaving the others and the times as they are.
bool SetReadOnly(HANDLE file, bool readOnly) {
    FILE_BASIC_INFO info{};
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info))
        return false;
    const DWORD attributes = readOnly ? info.FileAttributes | FILE_ATTRIBUTE_READONLY
                                      : info.FileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (attributes == info.FileAttributes)
        return true;
    // Zero times stay as they are; a file needs some attribute, NORMAL standing for none.
    FILE_BASIC_INFO change{};
    change.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &change, sizeof change) != 0;
}

}  // namespace

File File::Open(const std::string& path, Mode mode, Share share) {
    const DWORD access = mode == Mode::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD disposition = mode == Mode::ReadWriteCreate ? OPEN_ALWAYS : OPEN_EXISTING;
    const HANDLE handle =
        ::CreateFileW(Utf8ToWide(path).c_str(), access, share == Share::All ? kShareAll : 0,
                      nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    File file(handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<Native>(handle));
    if (!file.IsOpen())
        file.Fail();
    return file;
}

bool File::Fail() {
    m_error = ErrorText(::GetLastError());
    return false;
}

std::optional<FileInfo> File::Info() {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(AsHandle(m_handle), &info)) {
        Fail();
        return std::nullopt;
    }
    const bool regular = ::GetFileType(AsHandle(m_handle)) == FILE_TYPE_DISK &&
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return FileInfo{(std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow, regular,
                    UnixTimeOf(info.ftLastWriteTime)};
}

long File::Read(void* buffer, std::size_t n) {
    DWORD got = 0;
    const auto ask = static_cast<DWORD>(std::min<std::size_t>({n, LONG_MAX, kMostPerCall}));
    if (!::ReadFile(AsHandle(m_handle), buffer, ask, &got, nullptr)) {
        // The writing end of a pipe went away: that is its end, as on Linux.
        if (::GetLastError() == ERROR_BROKEN_PIPE)
            return 0;
        Fail();
        return -1;
    }
    return static_cast<long>(got);
}

// A read at an offset moves the position of a handle opened for plain reads, so it is put back.
long File::ReadAt(void* buffer, std::size_t n, std::uint64_t offset) {
    const HANDLE file = AsHandle(m_handle);
    std::int64_t position = 0;
    if (!MovePointer(file, 0, FILE_CURRENT, &position)) {
        Fail();
        return -1;
    }
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const auto ask = static_cast<DWORD>(std::min<std::size_t>({n, LONG_MAX, kMostPerCall}));
    const bool read = ::ReadFile(file, buffer, ask, &got, &at) != 0;
    const DWORD error = ::GetLastError();
    MovePointer(file, position, FILE_BEGIN);
    if (!read && error != ERROR_HANDLE_EOF) {
        m_error = ErrorText(error);
        return -1;
    }
    return read ? static_cast<long>(got) : 0;
}

bool File::Write(const void* data, std::size_t n) {
    const char* bytes = static_cast<const char*>(data);
    while (n > 0) {
        DWORD written = 0;
        const auto ask = static_cast<DWORD>(std::min<std::size_t>(n, kMostPerCall));
        if (!::WriteFile(AsHandle(m_handle), bytes, ask, &written, nullptr))
            return Fail();
        if (written == 0) {
            m_error = ErrorText(ERROR_DISK_FULL);
            return false;
        }
        bytes += written;
        n -= written;
    }
    return true;
}

bool File::Truncate(std::uint64_t size) {
    if (!Seek(size) || !::SetEndOfFile(AsHandle(m_handle)))
        return Fail();
    return true;
}

bool File::Seek(std::uint64_t offset) {
    if (!MovePointer(AsHandle(m_handle), static_cast<std::int64_t>(offset), FILE_BEGIN))
        return Fail();
    return true;
}

bool File::SetMode(unsigned mode) {
    if (!SetReadOnly(AsHandle(m_handle), (mode & 0200) == 0))
        return Fail();
    return true;
}

bool File::SetModifiedTime(std::int64_t time) {
    const FILETIME written = FileTimeOf(time);
    if (!::SetFileTime(AsHandle(m_handle), nullptr, nullptr, &written))
        return Fail();
    return true;
}

bool File::Flush() {
    if (!::FlushFileBuffers(AsHandle(m_handle)))
        return Fail();
    return true;
}

bool File::Close() {
    if (!IsOpen())
        return true;
    if (!::CloseHandle(AsHandle(std::exchange(m_handle, -1))))
        return Fail();
    return true;
}

}  // namespace platform
