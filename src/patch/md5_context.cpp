#include "patch/md5_context.h"

#include <string.h>  // explicit_bzero

#include <bit>
#include <cstdint>
#include <cstring>

namespace patch {

namespace {

#if defined(_WIN32)
// The C library there has no explicit_bzero: volatile stores the compiler cannot drop.
void explicit_bzero(void* area, std::size_t size) {
    volatile unsigned char* byte = static_cast<unsigned char*>(area);
    while (size-- > 0)
        *byte++ = 0;
}
#endif

void storeLe32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

// The round functions in the forms that keep the dependency chain on `b` short: the message word
// and constant are added first (they do not depend on the previous step), and G is split into two
// additions of disjoint bit sets so both halves can start before `b` is known.
#define MD5_F(a, b, c, d, x, s, k)  \
    a += (x) + (k);                 \
    a += (((c) ^ (d)) & (b)) ^ (d); \
    a = std::rotl(a, s) + (b);
#define MD5_G(a, b, c, d, x, s, k) \
    a += (x) + (k);                \
    a += ~(d) & (c);               \
    a += (d) & (b);                \
    a = std::rotl(a, s) + (b);
#define MD5_H(a, b, c, d, x, s, k) \
    a += (x) + (k);                \
    a += (b) ^ (c) ^ (d);          \
    a = std::rotl(a, s) + (b);
#define MD5_I(a, b, c, d, x, s, k) \
    a += (x) + (k);                \
    a += (c) ^ ((b) | ~(d));       \
    a = std::rotl(a, s) + (b);

// Compresses `count` whole 64-byte blocks straight from `p` into `state`.
void compress(std::uint32_t state[4], const unsigned char* p, std::size_t count) {
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; count != 0; --count, p += 64) {
        const std::uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
#define X(i) LoadLe32(p + 4 * (i))
        MD5_F(a, b, c, d, X(0), 7, 0xd76aa478u)
        MD5_F(d, a, b, c, X(1), 12, 0xe8c7b756u)
        MD5_F(c, d, a, b, X(2), 17, 0x242070dbu)
        MD5_F(b, c, d, a, X(3), 22, 0xc1bdceeeu)
        MD5_F(a, b, c, d, X(4), 7, 0xf57c0fafu)
        MD5_F(d, a, b, c, X(5), 12, 0x4787c62au)
        MD5_F(c, d, a, b, X(6), 17, 0xa8304613u)
        MD5_F(b, c, d, a, X(7), 22, 0xfd469501u)
        MD5_F(a, b, c, d, X(8), 7, 0x698098d8u)
        MD5_F(d, a, b, c, X(9), 12, 0x8b44f7afu)
        MD5_F(c, d, a, b, X(10), 17, 0xffff5bb1u)
        MD5_F(b, c, d, a, X(11), 22, 0x895cd7beu)
        MD5_F(a, b, c, d, X(12), 7, 0x6b901122u)
        MD5_F(d, a, b, c, X(13), 12, 0xfd987193u)
        MD5_F(c, d, a, b, X(14), 17, 0xa679438eu)
        MD5_F(b, c, d, a, X(15), 22, 0x49b40821u)

        MD5_G(a, b, c, d, X(1), 5, 0xf61e2562u)
        MD5_G(d, a, b, c, X(6), 9, 0xc040b340u)
        MD5_G(c, d, a, b, X(11), 14, 0x265e5a51u)
        MD5_G(b, c, d, a, X(0), 20, 0xe9b6c7aau)
        MD5_G(a, b, c, d, X(5), 5, 0xd62f105du)
        MD5_G(d, a, b, c, X(10), 9, 0x02441453u)
        MD5_G(c, d, a, b, X(15), 14, 0xd8a1e681u)
        MD5_G(b, c, d, a, X(4), 20, 0xe7d3fbc8u)
        MD5_G(a, b, c, d, X(9), 5, 0x21e1cde6u)
        MD5_G(d, a, b, c, X(14), 9, 0xc33707d6u)
        MD5_G(c, d, a, b, X(3), 14, 0xf4d50d87u)
        MD5_G(b, c, d, a, X(8), 20, 0x455a14edu)
        MD5_G(a, b, c, d, X(13), 5, 0xa9e3e905u)
        MD5_G(d, a, b, c, X(2), 9, 0xfcefa3f8u)
        MD5_G(c, d, a, b, X(7), 14, 0x676f02d9u)
        MD5_G(b, c, d, a, X(12), 20, 0x8d2a4c8au)

        MD5_H(a, b, c, d, X(5), 4, 0xfffa3942u)
        MD5_H(d, a, b, c, X(8), 11, 0x8771f681u)
        MD5_H(c, d, a, b, X(11), 16, 0x6d9d6122u)
        MD5_H(b, c, d, a, X(14), 23, 0xfde5380cu)
        MD5_H(a, b, c, d, X(1), 4, 0xa4beea44u)
        MD5_H(d, a, b, c, X(4), 11, 0x4bdecfa9u)
        MD5_H(c, d, a, b, X(7), 16, 0xf6bb4b60u)
        MD5_H(b, c, d, a, X(10), 23, 0xbebfbc70u)
        MD5_H(a, b, c, d, X(13), 4, 0x289b7ec6u)
        MD5_H(d, a, b, c, X(0), 11, 0xeaa127fau)
        MD5_H(c, d, a, b, X(3), 16, 0xd4ef3085u)
        MD5_H(b, c, d, a, X(6), 23, 0x04881d05u)
        MD5_H(a, b, c, d, X(9), 4, 0xd9d4d039u)
        MD5_H(d, a, b, c, X(12), 11, 0xe6db99e5u)
        MD5_H(c, d, a, b, X(15), 16, 0x1fa27cf8u)
        MD5_H(b, c, d, a, X(2), 23, 0xc4ac5665u)

        MD5_I(a, b, c, d, X(0), 6, 0xf4292244u)
        MD5_I(d, a, b, c, X(7), 10, 0x432aff97u)
        MD5_I(c, d, a, b, X(14), 15, 0xab9423a7u)
        MD5_I(b, c, d, a, X(5), 21, 0xfc93a039u)
        MD5_I(a, b, c, d, X(12), 6, 0x655b59c3u)
        MD5_I(d, a, b, c, X(3), 10, 0x8f0ccc92u)
        MD5_I(c, d, a, b, X(10), 15, 0xffeff47du)
        MD5_I(b, c, d, a, X(1), 21, 0x85845dd1u)
        MD5_I(a, b, c, d, X(8), 6, 0x6fa87e4fu)
        MD5_I(d, a, b, c, X(15), 10, 0xfe2ce6e0u)
        MD5_I(c, d, a, b, X(6), 15, 0xa3014314u)
        MD5_I(b, c, d, a, X(13), 21, 0x4e0811a1u)
        MD5_I(a, b, c, d, X(4), 6, 0xf7537e82u)
        MD5_I(d, a, b, c, X(11), 10, 0xbd3af235u)
        MD5_I(c, d, a, b, X(2), 15, 0x2ad7d2bbu)
        MD5_I(b, c, d, a, X(9), 21, 0xeb86d391u)
#undef X
        a += a0;
        b += b0;
        c += c0;
        d += d0;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

}  // namespace

CMd5Context::CMd5Context(const std::uint32_t (&state)[4], std::uint64_t bytes) : m_bytes(bytes) {
    std::memcpy(m_state, state, sizeof m_state);
}

CMd5Context::~CMd5Context() {
    explicit_bzero(m_state, sizeof m_state);
    explicit_bzero(&m_bytes, sizeof m_bytes);
    explicit_bzero(m_block, sizeof m_block);
}

void CMd5Context::Update(const void* bytes, std::size_t size) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    std::size_t used = static_cast<std::size_t>(m_bytes % 64);
    m_bytes += size;
    if (used != 0) {
        const std::size_t take = size < 64 - used ? size : 64 - used;
        std::memcpy(m_block + used, data, take);
        data += take;
        size -= take;
        if (used + take < 64) {
            return;
        }
        compress(m_state, m_block, 1);
    }
    compress(m_state, data, size / 64);
    std::memcpy(m_block, data + size / 64 * 64, size % 64);
}

std::string CMd5Context::Finish() {
    static const unsigned char kPadding[64] = {0x80};
    const std::uint64_t bits = m_bytes * 8;
    const std::size_t used = static_cast<std::size_t>(m_bytes % 64);
    Update(kPadding, used < 56 ? 56 - used : 120 - used);
    unsigned char length[8];
    storeLe32(length, static_cast<std::uint32_t>(bits));
    storeLe32(length + 4, static_cast<std::uint32_t>(bits >> 32));
    Update(length, sizeof length);

    static const char kHex[] = "0123456789abcdef";
    std::string text(32, '0');
    for (int word = 0; word < 4; ++word) {
        for (int i = 0; i < 4; ++i) {
            const unsigned byte = (m_state[word] >> (8 * i)) & 0xff;
            text[8 * word + 2 * i] = kHex[byte >> 4];
            text[8 * word + 2 * i + 1] = kHex[byte & 0xf];
        }
    }
    return text;
}

}  // namespace patch
