#include "corelib/message.h"

#include <cstring>
#include <limits>
#include <stdexcept>

namespace corelib {

namespace {

constexpr uint32_t kBlock = 256;

// (n / 256 + 1) * 256: an exact multiple still gets one more block.
uint32_t rounded_size(uint64_t n) {
    const uint64_t rounded = (n / kBlock + 1) * kBlock;
    if (rounded > std::numeric_limits<uint32_t>::max()) {
        throw std::length_error("message body too large");
    }
    return static_cast<uint32_t>(rounded);
}

}  // namespace

message::message(uint32_t reserve)
    : m_storage(rounded_size(reserve)),  // zero-filled: the unwritten tail goes out as zeros
      m_buffer(m_storage.data()),
      m_size(static_cast<uint32_t>(m_storage.size())),
      m_owns_buffer(true) {
    storing = true;
    version = message_version;
}

message::message(const uint8_t* body, uint32_t size, uint32_t frame_version)
    : m_buffer(body), m_size(body == nullptr ? 0 : size) {
    loading = true;
    version = frame_version;
}

message message::incoming(const uint8_t* body, uint32_t size, uint32_t version) {
    return message(body, size, version);
}

message::~message() = default;

void message::serialize(void* data, uint32_t n) {
    if (loading) {
        if (malformed() || n > remaining()) {
            // Never read past the body: the value comes out as zeros and the cursor stays.
            mark_malformed();
            if (n > 0)
                std::memset(data, 0, n);
            return;
        }
        if (n > 0)
            std::memcpy(data, m_buffer + m_position, n);
        m_position += n;
    } else if (storing) {
        if (!m_owns_buffer || malformed())
            return;  // a received body is never written, a refused one never changes
        const uint64_t end = uint64_t{m_position} + n;
        if (end > m_size)
            enlarge(end);  // strict: a write ending exactly at size stays
        if (n > 0)
            std::memcpy(m_storage.data() + m_position, data, n);
        m_position += n;
    }
}

bool message::grow(uint32_t required) {
    if (!m_owns_buffer)
        return false;
    enlarge(required);
    return true;
}

void message::enlarge(uint64_t required) {
    const uint32_t new_size = rounded_size(required);
    if (new_size <= m_size)
        return;
    m_storage.resize(new_size);  // new bytes are zero
    m_buffer = m_storage.data();
    m_size = new_size;
}

}  // namespace corelib
