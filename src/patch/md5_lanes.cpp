#include "patch/md5_lanes.h"

#include <cstring>

#include "patch/md5_context.h"
#include "patch/md5_words.h"

namespace patch {

namespace {

// One 32-bit word per lane; the widths the kernels below are built for.
using V4 = std::uint32_t __attribute__((vector_size(16)));
using V8 = std::uint32_t __attribute__((vector_size(32)));
using V16 = std::uint32_t __attribute__((vector_size(64)));

constexpr std::uint32_t kSine[64] = {
    0xd76aa478u, 0xe8c7b756u, 0x242070dbu, 0xc1bdceeeu, 0xf57c0fafu, 0x4787c62au, 0xa8304613u,
    0xfd469501u, 0x698098d8u, 0x8b44f7afu, 0xffff5bb1u, 0x895cd7beu, 0x6b901122u, 0xfd987193u,
    0xa679438eu, 0x49b40821u, 0xf61e2562u, 0xc040b340u, 0x265e5a51u, 0xe9b6c7aau, 0xd62f105du,
    0x02441453u, 0xd8a1e681u, 0xe7d3fbc8u, 0x21e1cde6u, 0xc33707d6u, 0xf4d50d87u, 0x455a14edu,
    0xa9e3e905u, 0xfcefa3f8u, 0x676f02d9u, 0x8d2a4c8au, 0xfffa3942u, 0x8771f681u, 0x6d9d6122u,
    0xfde5380cu, 0xa4beea44u, 0x4bdecfa9u, 0xf6bb4b60u, 0xbebfbc70u, 0x289b7ec6u, 0xeaa127fau,
    0xd4ef3085u, 0x04881d05u, 0xd9d4d039u, 0xe6db99e5u, 0x1fa27cf8u, 0xc4ac5665u, 0xf4292244u,
    0x432aff97u, 0xab9423a7u, 0xfc93a039u, 0x655b59c3u, 0x8f0ccc92u, 0xffeff47du, 0x85845dd1u,
    0x6fa87e4fu, 0xfe2ce6e0u, 0xa3014314u, 0x4e0811a1u, 0xf7537e82u, 0xbd3af235u, 0x2ad7d2bbu,
    0xeb86d391u,
};

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// The message word each step adds: round r takes word (first + step * stride) mod 16.
constexpr int kWordFirst[4] = {0, 1, 5, 0};
constexpr int kWordStride[4] = {1, 5, 3, 7};

// Vectors pass by reference only: by value their ABI would depend on the kernel's target.
template <typename V, int Round>
[[gnu::always_inline]] inline void Mix(V& out, const V& b, const V& c, const V& d) {
    if constexpr (Round == 0)
        out = ((c ^ d) & b) ^ d;
    else if constexpr (Round == 1)
        out = ((b ^ c) & d) ^ c;
    else if constexpr (Round == 2)
        out = b ^ c ^ d;
    else
        out = c ^ (b | ~d);
}

template <typename V, int Round>
[[gnu::always_inline]] inline void SixteenSteps(V& a, V& b, V& c, V& d, const V* words) {
#pragma GCC unroll 16
    for (int step = 0; step < 16; ++step) {
        const int s = kShift[Round][step % 4];
        V mixed;
        Mix<V, Round>(mixed, b, c, d);
        const V sum = a + words[(kWordFirst[Round] + step * kWordStride[Round]) % 16] +
                      kSine[16 * Round + step] + mixed;
        a = d;
        d = c;
        c = b;
        b += (sum << s) | (sum >> (32 - s));
    }
}

// The lanes' state is a of every lane, then b, c, d; each lane reads its own blocks.
template <typename V>
[[gnu::always_inline]] inline void CompressLanes(std::uint32_t* state,
                                                 const unsigned char* const* data,
                                                 std::size_t blocks) {
    constexpr std::size_t kWidth = sizeof(V) / sizeof(std::uint32_t);
    V s[4];
    std::memcpy(s, state, sizeof s);
    for (std::size_t block = 0; block < blocks; ++block) {
        alignas(64) std::uint32_t columns[16][kWidth];
        for (std::size_t lane = 0; lane < kWidth; ++lane) {
            const unsigned char* p = data[lane] + 64 * block;
            for (int word = 0; word < 16; ++word)
                columns[word][lane] = LoadLe32(p + 4 * word);
        }
        V words[16];
        std::memcpy(words, columns, sizeof words);
        V a = s[0], b = s[1], c = s[2], d = s[3];
        SixteenSteps<V, 0>(a, b, c, d, words);
        SixteenSteps<V, 1>(a, b, c, d, words);
        SixteenSteps<V, 2>(a, b, c, d, words);
        SixteenSteps<V, 3>(a, b, c, d, words);
        s[0] += a;
        s[1] += b;
        s[2] += c;
        s[3] += d;
    }
    std::memcpy(state, s, sizeof s);
}

void Compress4(std::uint32_t* state, const unsigned char* const* data, std::size_t blocks) {
    CompressLanes<V4>(state, data, blocks);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void Compress8(std::uint32_t* state, const unsigned char* const* data,
                                       std::size_t blocks) {
    CompressLanes<V8>(state, data, blocks);
}

[[gnu::target("avx512f")]] void Compress16(std::uint32_t* state, const unsigned char* const* data,
                                           std::size_t blocks) {
    CompressLanes<V16>(state, data, blocks);
}
#endif

}  // namespace

CMd5Lanes::CMd5Lanes(std::size_t mostLanes) : m_lanes(4), m_kernel(Compress4) {
#if defined(__x86_64__)
    if (mostLanes >= 16 && __builtin_cpu_supports("avx512f")) {
        m_lanes = 16;
        m_kernel = Compress16;
    } else if (mostLanes >= 8 && __builtin_cpu_supports("avx2")) {
        m_lanes = 8;
        m_kernel = Compress8;
    }
#else
    (void)mostLanes;
#endif
    for (std::size_t lane = 0; lane < m_lanes; ++lane)
        Reset(lane);
}

CMd5Lanes::~CMd5Lanes() {
    // What was digested stays private to the caller, as with one digest.
    volatile std::uint32_t* word = m_state;
    for (std::size_t i = 0; i < 4 * kMostLanes; ++i)
        word[i] = 0;
}

void CMd5Lanes::Reset(std::size_t lane) {
    for (std::size_t row = 0; row < 4; ++row)
        m_state[row * m_lanes + lane] = kMd5Initial[row];
    m_bytes[lane] = 0;
}

void CMd5Lanes::Compress(const unsigned char* const* data, std::size_t blocks) {
    const unsigned char* any = nullptr;
    for (std::size_t lane = 0; lane < m_lanes && !any; ++lane)
        any = data[lane];
    if (!any || blocks == 0)
        return;
    // An idle lane digests another lane's bytes and gets its own state back afterwards.
    const unsigned char* lanes[kMostLanes];
    std::uint32_t kept[4 * kMostLanes];
    std::memcpy(kept, m_state, sizeof kept);
    for (std::size_t lane = 0; lane < m_lanes; ++lane) {
        lanes[lane] = data[lane] ? data[lane] : any;
        if (data[lane])
            m_bytes[lane] += 64 * std::uint64_t{blocks};
    }
    m_kernel(m_state, lanes, blocks);
    for (std::size_t lane = 0; lane < m_lanes; ++lane) {
        if (data[lane])
            continue;
        for (std::size_t row = 0; row < 4; ++row)
            m_state[row * m_lanes + lane] = kept[row * m_lanes + lane];
    }
}

std::string CMd5Lanes::Finish(std::size_t lane, const void* tail, std::size_t size) {
    const std::uint32_t state[4] = {m_state[lane], m_state[m_lanes + lane],
                                    m_state[2 * m_lanes + lane], m_state[3 * m_lanes + lane]};
    CMd5Context digest(state, m_bytes[lane]);
    digest.Update(tail, size);
    return digest.Finish();
}

}  // namespace patch
