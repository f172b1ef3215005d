#pragma once
// What the MD5 digests of this folder share (RFC 1321): the state a digest starts from, and the
// message words, read little-endian whatever the processor.

#include <bit>
#include <cstdint>
#include <cstring>

namespace patch {

inline constexpr std::uint32_t kMd5Initial[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu,
                                                 0x10325476u};

inline std::uint32_t LoadLe32(const unsigned char* p) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    } else {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }
}

}  // namespace patch
