#pragma once
// What the Win32 halves of the platform share: a handle closed once, the system's text for an
// error code, and file times as seconds since 1970. Windows only; any thread.

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

namespace platform {

class UniqueHandle final {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept
        : m_handle(std::exchange(other.m_handle, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return m_handle; }
    explicit operator bool() const {
        return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE;
    }
    void reset() {
        if (*this)
            ::CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle = nullptr;
};

// The system's own text for a Win32 error code, without its line end; "error N" when it has none.
std::string ErrorText(DWORD code);

// Seconds since 1970 UTC and the system's file times (100 ns units since 1601 UTC).
std::int64_t UnixTimeOf(const FILETIME& time);
FILETIME FileTimeOf(std::int64_t unixTime);

}  // namespace platform
