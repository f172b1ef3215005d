#pragma once
// One protocol message: the body bytes with a cursor. Outgoing messages own a buffer that grows in
// 256-byte blocks while fields are written; incoming ones are read-only views on a received frame
// body and never read past it. One thread at a time.

#include <cstdint>
#include <vector>

#include "corelib/archive.h"
#include "corelib/transfer.h"

namespace corelib {

// Version word of every message this program sends; received headers are compared against it.
inline constexpr uint32_t message_version = 1;

class message final : public archive {
public:
    // Outgoing: room for at least `reserve` bytes, rounded up to a whole number of blocks plus one.
    explicit message(uint32_t reserve);

    // Incoming: a view on `size` body bytes that stay owned by the caller and must outlive the
    // message. `version` is the frame's version word (1 for a short header).
    static message incoming(const uint8_t* body, uint32_t size, uint32_t version);

    ~message() override;
    message(const message&) = delete;
    message& operator=(const message&) = delete;

    void serialize(void* data, uint32_t n) override;
    uint32_t remaining() const override { return m_size - m_position; }

    // Enlarges an owned buffer to hold `required` bytes, keeping its contents; never shrinks.
    // False for a view, which cannot grow.
    bool grow(uint32_t required);

    const uint8_t* buffer() const { return m_buffer; }
    uint32_t size() const { return m_size; }
    uint32_t block() const { return m_block; }
    bool owns_buffer() const { return m_owns_buffer; }
    uint32_t position() const { return m_position; }

private:
    message(const uint8_t* body, uint32_t size, uint32_t version);
    void enlarge(uint64_t required);

    std::vector<uint8_t> m_storage;  // the owned buffer; empty for a view
    const uint8_t* m_buffer = nullptr;
    uint32_t m_size = 0;
    uint32_t m_block = 256;
    bool m_owns_buffer = false;
    uint32_t m_position = 0;
};

}  // namespace corelib
