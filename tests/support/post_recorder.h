#pragma once
// A main window for tests: records every posted message and lets the test wait for them. Posts
// may come from any thread; the readers take copies.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <iterator>
#include <mutex>
#include <vector>

#include "platform/message_target.h"

namespace quend::test {

class PostRecorder final : public platform::MessageTarget {
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

    // The posts with this id, in order.
    std::vector<platform::PostedMessage> messages(unsigned id) const {
        std::vector<platform::PostedMessage> found;
        std::lock_guard lock(m_mutex);
        std::copy_if(m_messages.begin(), m_messages.end(), std::back_inserter(found),
                     [id](const platform::PostedMessage& m) { return m.id == id; });
        return found;
    }

    std::size_t count(unsigned id) const { return messages(id).size(); }

    // True once at least `n` messages with `id` have been posted within `timeout`.
    bool waitFor(unsigned id, std::size_t n = 1,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            return static_cast<std::size_t>(
                       std::count_if(m_messages.begin(), m_messages.end(),
                                     [id](const auto& m) { return m.id == id; })) >= n;
        });
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<platform::PostedMessage> m_messages;
};

}  // namespace quend::test
