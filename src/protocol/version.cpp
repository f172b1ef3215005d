#include "protocol/version.h"

#include <cstdio>
#include <cstring>

namespace protocol {

std::uint32_t pack_version(int major, int minor, int patch) {
    return static_cast<std::uint32_t>(major) << 28 |
           (static_cast<std::uint32_t>(minor) & 0x3FFFu) << 14 |
           (static_cast<std::uint32_t>(patch) & 0x3FFFu);
}

std::string format_version(std::uint32_t version) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u", version >> 28, (version >> 14) & 0x3FFFu,
                  version & 0x3FFFu);
    return text;
}

std::uint32_t parse_version(const std::string& text) {
    // Read as the C string it is stored as: a zero byte ends the text.
    const char* const start = text.c_str();
    const char* const first = std::strchr(start, '.');
    if (first == nullptr) {
        return 0;
    }
    const char* const second = std::strchr(first + 1, '.');
    if (second == nullptr) {
        return 0;
    }
    // sscanf stops at the first non-digit, so each part ends at its dot and whatever follows the
    // third number is ignored.
    const char* const parts[3] = {start, first + 1, second + 1};
    int numbers[3];
    for (int i = 0; i < 3; ++i) {
        if (std::sscanf(parts[i], "%d", &numbers[i]) != 1) {
            return 0;
        }
    }
    return pack_version(numbers[0], numbers[1], numbers[2]);
}

}  // namespace protocol
