#pragma once
// A main window for tests: records every posted message and lets the test wait for them. Posts
// may come from any thread.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/message_target.h"

namespace quend::test {

class MessageRecorder final : public platform::MessageTarget {
public:
    void Post(platform::PostedMessage message) override {
        {
            std::lock_guard lock(m_mutex);
            m_messages.push_back(std::move(message));
        }
        m_changed.notify_all();
    }

    std::vector<platform::PostedMessage> messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

    size_t count(unsigned id) const {
        std::lock_guard lock(m_mutex);
        return countLocked(id);
    }

    // True once at least `n` messages with `id` have been posted within `timeout`.
    bool waitFor(unsigned id, size_t n = 1,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return countLocked(id) >= n; });
    }

private:
    size_t countLocked(unsigned id) const {
        return static_cast<size_t>(std::count_if(m_messages.begin(), m_messages.end(),
                                                 [id](const auto& m) { return m.id == id; }));
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<platform::PostedMessage> m_messages;
};

}  // namespace quend::test
