#pragma once
// Owns one GDI object (bitmap, brush, font, region) and deletes it when it goes. Any thread, one
// owner at a time.

#include <windows.h>

#include <utility>

namespace win32ui {

template <typename T>
class CGdiObject final {
public:
    CGdiObject() = default;
    explicit CGdiObject(T handle) : m_handle(handle) {}
    ~CGdiObject() { reset(); }
    CGdiObject(CGdiObject&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    CGdiObject& operator=(CGdiObject&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.m_handle, nullptr));
        return *this;
    }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    T get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

    void reset(T handle = nullptr) {
        if (m_handle != nullptr)
            ::DeleteObject(m_handle);
        m_handle = handle;
    }

private:
    T m_handle = nullptr;
};

}  // namespace win32ui
