#pragma once
// Base of everything that moves typed values to or from a byte buffer: the two flags pick the
// direction so that one transfer routine per type serves both. One thread at a time.

#include <cstdint>

namespace corelib {

class archive {
public:
    virtual ~archive();
    archive(const archive&) = delete;
    archive& operator=(const archive&) = delete;

    // Moves n bytes between `data` and the archive's buffer, in the direction the flags say.
    virtual void serialize(void* data, uint32_t n) = 0;

    // Bytes a read may still take; decoding checks counts and lengths against it.
    virtual uint32_t remaining() const = 0;

    // Set once the contents proved impossible (a read past the end, a length out of range);
    // from then on reads yield zero or empty and move nothing.
    bool malformed() const { return m_malformed; }
    void mark_malformed() { m_malformed = true; }

    uint32_t version = 0;
    bool loading = false;
    bool storing = false;

protected:
    archive() = default;

private:
    bool m_malformed = false;
};

}  // namespace corelib
