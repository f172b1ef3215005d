#include "platform/message_box.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform {
namespace {

// The process-wide handler and caption.
struct MessageSeam {
    std::mutex mutex;
    MessageHandler handler;
    std::string caption;
};

MessageSeam& Seam() {
    static MessageSeam seam;
    return seam;
}

}  // namespace

MessageHandler SetMessageHandler(MessageHandler handler) {
    MessageSeam& seam = Seam();
    const std::lock_guard lock(seam.mutex);
    return std::exchange(seam.handler, std::move(handler));
}

void SetMessageCaption(std::string caption) {
    MessageSeam& seam = Seam();
    const std::lock_guard lock(seam.mutex);
    seam.caption = std::move(caption);
}

std::string MessageCaption() {
    MessageSeam& seam = Seam();
    const std::lock_guard lock(seam.mutex);
    return seam.caption;
}

void ShowMessage(std::string_view text) {
    MessageSeam& seam = Seam();
    MessageHandler handler;
    std::string caption;
    {
        const std::lock_guard lock(seam.mutex);
        handler = seam.handler;
        caption = seam.caption;
    }
    // Called outside the lock: the handler may block for long, or show a message itself.
    if (handler) {
        handler(caption, std::string(text));
    } else {
        std::fprintf(stderr, "%s: %.*s\n", caption.c_str(), static_cast<int>(text.size()),
                     text.data());
    }
}

}  // namespace platform
