#include "platform/file.h"

#include <utility>

// What both halves share: ownership moves and ends through Close(), the one place that knows the
// system's call.

namespace platform {

File File::Adopt(Native handle) {
    return File(handle);
}

File::~File() {
    Close();
}

File::File(File&& other) noexcept
    : m_handle(std::exchange(other.m_handle, -1)), m_error(std::move(other.m_error)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, -1);
        m_error = std::move(other.m_error);
    }
    return *this;
}

}  // namespace platform
