#pragma once
// One MD5 digest (RFC 1321) in progress: bytes go in as they arrive, 32 lower-case hexadecimal
// digits come out once at the end. Wiped when it goes out of scope. One thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>

#include "patch/md5_words.h"

namespace patch {

class CMd5Context final {
public:
    CMd5Context() = default;
    // Goes on from a digest whose first `bytes` bytes, a multiple of 64, were compressed
    // elsewhere into `state`.
    CMd5Context(const std::uint32_t (&state)[4], std::uint64_t bytes);
    ~CMd5Context();
    CMd5Context(const CMd5Context&) = delete;
    CMd5Context& operator=(const CMd5Context&) = delete;

    void Update(const void* data, std::size_t size);
    // Ends the digest; the context is used up.
    std::string Finish();

private:
    std::uint32_t m_state[4] = {kMd5Initial[0], kMd5Initial[1], kMd5Initial[2], kMd5Initial[3]};
    std::uint64_t m_bytes = 0;
    unsigned char m_block[64] = {};
};

}  // namespace patch
