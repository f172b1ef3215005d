#include "platform/message_box.h"

#include <cstdio>

namespace platform {

MessageHandler SystemMessageBox() {
    return [](const std::string& caption, const std::string& text) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    };
}

}  // namespace platform
