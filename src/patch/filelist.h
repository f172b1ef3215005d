#pragma once
// One entry of a checksum list: a game file, its expected digest, time and size. A plain value,
// copied into every list and queue that holds it; any thread.

#include <cstdint>
#include <string>

namespace patch {

struct _filelist {
    std::string fileName;           // relative to the game folder, backslashes as in the list
    std::string extra;              // second column, kept and not used
    std::string md5;                // 32 lower-case hexadecimal digits
    std::int64_t modifiedTime = 0;  // seconds since 1970 UTC; 0: no time
    std::int64_t fileSize = 0;      // 0 also when the list gives none

    // The listed size as a byte count; a negative one counts as none.
    std::uint64_t Bytes() const { return fileSize > 0 ? static_cast<std::uint64_t>(fileSize) : 0; }
};

}  // namespace patch
