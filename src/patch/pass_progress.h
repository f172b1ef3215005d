#pragma once
// The overall bar of a check pass, in bytes: each file counts its size and a fixed share for its
// open or request, once for checking and once for fetching. Posted as WM_TOTAL_PROGRESS in
// 1/10000ths, so that both figures fit any progress control, whenever the figure moves. Any
// thread.

#include <cstdint>
#include <mutex>

#include "platform/message_target.h"

namespace patch {

class CPassProgress final {
public:
    static constexpr std::intptr_t kRange = 10000;
    // What one file costs besides its bytes: an open, a request, a rename.
    static constexpr std::uint64_t kFileWork = 16 * 1024;

    explicit CPassProgress(platform::MessageTarget& target) : m_target(target) {}

    // A new pass of `total` work: posts 0.
    void Begin(std::uint64_t total);
    // More work found on the way (a file that turned out to differ).
    void AddTotal(std::uint64_t work);
    void Advance(std::uint64_t work);
    // The pass's work is done: posts the full bar.
    void Finish();

private:
    void PostLocked(std::intptr_t done);

    platform::MessageTarget& m_target;
    std::mutex m_mutex;
    std::uint64_t m_total = 0;
    std::uint64_t m_done = 0;
    std::intptr_t m_posted = -1;
};

}  // namespace patch
