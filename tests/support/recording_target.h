#pragma once
// A message target that keeps every post, for tests of workers that post to the GUI. Posts may
// come from any thread; the readers take copies.

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <vector>

#include "platform/message_target.h"

namespace quend::test {

class RecordingTarget final : public platform::MessageTarget {
public:
    void Post(platform::PostedMessage message) override {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(std::move(message));
    }

    std::vector<platform::PostedMessage> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

    // The posts with this id, in order.
    std::vector<platform::PostedMessage> Messages(unsigned id) const {
        std::vector<platform::PostedMessage> found;
        std::lock_guard lock(m_mutex);
        std::copy_if(m_messages.begin(), m_messages.end(), std::back_inserter(found),
                     [id](const platform::PostedMessage& m) { return m.id == id; });
        return found;
    }

    std::size_t Count(unsigned id) const { return Messages(id).size(); }

    void Clear() {
        std::lock_guard lock(m_mutex);
        m_messages.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<platform::PostedMessage> m_messages;
};

}  // namespace quend::test
