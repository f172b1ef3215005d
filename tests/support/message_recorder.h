#pragma once
// Records the texts shown through the message seam while it lives and puts the replaced handler
// back at the end, so that no test blocks on a box. Any thread may show a message meanwhile.

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/message_box.h"

namespace quend::test {

class MessageRecorder final {
public:
    MessageRecorder()
        : m_saved(platform::SetMessageHandler([this](const std::string&, const std::string& text) {
              const std::lock_guard lock(m_mutex);
              m_texts.push_back(text);
          })) {}
    ~MessageRecorder() { platform::SetMessageHandler(std::move(m_saved)); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    // The texts shown so far (UTF-8), oldest first; Take also forgets them.
    std::vector<std::string> Texts() const {
        const std::lock_guard lock(m_mutex);
        return m_texts;
    }
    std::vector<std::string> Take() {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_texts, {});
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
    platform::MessageHandler m_saved;
};

}  // namespace quend::test
