#include "patch/update_result.h"

#include <cstdio>

#include "config/text_table.h"
#include "platform/codepage.h"

namespace patch {

std::string FormatByteSize(std::uint64_t bytes) {
    constexpr std::uint64_t kKiB = 1024;
    constexpr std::uint64_t kMiB = kKiB * 1024;
    constexpr std::uint64_t kGiB = kMiB * 1024;
    char text[32];
    if (bytes >= kGiB)
        std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / kGiB);
    else if (bytes >= kMiB)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / kMiB);
    else
        std::snprintf(text, sizeof text, "%llu KB",
                      static_cast<unsigned long long>((bytes + kKiB - 1) / kKiB));
    return text;
}

std::string DiskSpaceText(const UpdateResult& result) {
    const char* text = config::GetTextOr(
        "Error", "DiskSpaceShort", "磁盘空间不足：更新需要 {needed}，游戏所在磁盘只剩 {free}");
    const std::string needed = FormatByteSize(result.spaceNeeded);
    const std::string free = FormatByteSize(result.spaceFree);
    return config::FillText(platform::AnsiToUtf8(text), {{"{needed}", needed}, {"{free}", free}});
}

}  // namespace patch
