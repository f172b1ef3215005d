#include "platform/message_box.h"

#include <windows.h>

#include "platform/utf16.h"

namespace platform {

MessageHandler SystemMessageBox() {
    return [](const std::string& caption, const std::string& text) {
        ::MessageBoxW(nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(),
                      MB_OK | MB_SETFOREGROUND);
    };
}

}  // namespace platform
