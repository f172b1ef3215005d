#pragma once
// Several MD5 digests computed side by side, one per lane of the processor's widest vector
// registers (16 with AVX-512, 8 with AVX2, else 4), so that one core digests many files at the
// speed of one. For the check pass, which reads many files at once. One thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>

namespace patch {

class CMd5Lanes final {
public:
    static constexpr std::size_t kMostLanes = 16;

    // The widest set of lanes the processor runs, at most `mostLanes` (at least 4).
    explicit CMd5Lanes(std::size_t mostLanes = kMostLanes);
    ~CMd5Lanes();
    CMd5Lanes(const CMd5Lanes&) = delete;
    CMd5Lanes& operator=(const CMd5Lanes&) = delete;

    std::size_t Lanes() const { return m_lanes; }

    // Begins a new digest in `lane`.
    void Reset(std::size_t lane);
    // Digests `blocks` 64-byte blocks in every lane at once: data[lane] points at the lane's next
    // bytes, or is null for a lane without work, whose digest stays as it was.
    void Compress(const unsigned char* const* data, std::size_t blocks);
    // Ends the lane's digest with its last bytes (any number) and returns it in hexadecimal.
    std::string Finish(std::size_t lane, const void* tail, std::size_t size);

private:
    using Kernel = void (*)(std::uint32_t* state, const unsigned char* const* data,
                            std::size_t blocks);

    std::size_t m_lanes;
    Kernel m_kernel;
    // a of every lane, then b, c and d: the layout the kernels load as vectors.
    alignas(64) std::uint32_t m_state[4 * kMostLanes] = {};
    std::uint64_t m_bytes[kMostLanes] = {};
};

}  // namespace patch
