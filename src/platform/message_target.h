#pragma once
// Where worker threads post window messages for the GUI thread. A post never blocks and never
// hands over memory that the poster may free: the text travels inside the message.
// Implementations must accept posts from any thread.

#include <cstdint>
#include <string>

namespace platform {

struct PostedMessage {
    unsigned id = 0;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
    std::string text;  // owned copy of any text the message carries (WM_DOWN_FILE's path)
};

class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    virtual void Post(PostedMessage message) = 0;
};

}  // namespace platform
