#pragma once
// Records the texts of message boxes instead of showing them, for as long as it lives; the
// handler it replaced comes back afterwards. Boxes may be shown from any thread.

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/message_box.h"

namespace quend::test {

class MessageBoxRecorder final {
public:
    MessageBoxRecorder() {
        m_previous =
            platform::SetMessageHandler([this](const std::string&, const std::string& text) {
                std::lock_guard lock(m_mutex);
                m_texts.push_back(text);
            });
    }
    ~MessageBoxRecorder() { platform::SetMessageHandler(std::move(m_previous)); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<std::string> texts() const {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }

    // The texts so far, forgotten afterwards.
    std::vector<std::string> take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_texts, {});
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
    platform::MessageHandler m_previous;
};

}  // namespace quend::test
