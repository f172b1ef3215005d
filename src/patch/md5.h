#pragma once
// MD5 digests (RFC 1321) of texts and open files, as 32 lower-case hexadecimal digits.
// Keeps no state between calls: any thread may call, each with its own CMD5 or a shared one.

#include <string>

#include "platform/file.h"

namespace patch {

class CMD5 {
public:
    virtual ~CMD5() = default;

    // Digest of the text's bytes as stored (no terminating zero, no code-page conversion).
    std::string GetStringMD5(std::string text) const;

    // Digest of the bytes from the file's current position to its end, read in blocks of
    // 327,680 bytes until a read returns 0. Neither positions nor closes the file; a failing read
    // throws std::system_error.
    std::string GetFileMD5(platform::File& file) const;
};

}  // namespace patch
