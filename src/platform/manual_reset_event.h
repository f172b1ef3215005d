#pragma once
// An event that stays set until it is reset, like the platform's manual-reset event: every
// waiter passes while it is set. Any thread may call any member.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class ManualResetEvent final {
public:
    explicit ManualResetEvent(bool initiallySet = false) : m_set(initiallySet) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set() {
        {
            std::lock_guard lock(m_mutex);
            m_set = true;
        }
        m_cv.notify_all();
    }

    void Reset() {
        std::lock_guard lock(m_mutex);
        m_set = false;
    }

    bool IsSet() const {
        std::lock_guard lock(m_mutex);
        return m_set;
    }

    void Wait() {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_set; });
    }

    // True when the event was set within `timeout`.
    bool WaitFor(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [this] { return m_set; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set;
};

}  // namespace platform
