#include "patch/pass_progress.h"

#include <algorithm>

#include "platform/window_messages.h"

namespace patch {

void CPassProgress::Begin(std::uint64_t total) {
    std::lock_guard lock(m_mutex);
    m_total = total;
    m_done = 0;
    m_posted = -1;
    PostLocked(0);
}

void CPassProgress::AddTotal(std::uint64_t work) {
    std::lock_guard lock(m_mutex);
    m_total += work;
}

void CPassProgress::Advance(std::uint64_t work) {
    std::lock_guard lock(m_mutex);
    m_done = std::min(m_total, m_done + work);
    // Whole 1/10000ths only: the bar never moves back while the work found grows.
    const auto done =
        m_total == 0
            ? kRange
            : static_cast<std::intptr_t>(static_cast<long double>(m_done) * kRange / m_total);
    if (done > m_posted)
        PostLocked(done);
}

void CPassProgress::Finish() {
    std::lock_guard lock(m_mutex);
    m_done = m_total;
    if (m_posted != kRange)
        PostLocked(kRange);
}

// Posted under the lock, so that the figures reach the window in the order they were reached.
void CPassProgress::PostLocked(std::intptr_t done) {
    m_posted = done;
    m_target.Post(platform::PostedMessage{platform::WM_TOTAL_PROGRESS, done, kRange, {}});
}

}  // namespace patch
