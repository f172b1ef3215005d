#pragma once
// The profile-string rules over a file's bytes, apart from any file access: what the reader
// answers for a file with that content, and what the writer makes of it. The Linux service reads
// and writes files through them; on Windows the tests hold them against the system's functions.
// A file that starts with the UTF-16 (little-endian) byte-order mark is read and written as
// UTF-16, its texts converted from and to the ANSI code page; any other file is taken as bytes in
// that code page. Pure functions: any thread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// ReadProfileString's answer (see profile.h) for a file with `content`; a missing file reads as
// an empty one.
std::size_t ReadProfileText(std::string_view content, const char* section, const char* key,
                            const char* defaultValue, char* buffer, std::size_t size);

// The reader's answer into the caller's buffer: `text` cut to `size` - 1 characters and ended by a
// null; `list` (names each ended by a null) ended by a second null, a cut list still by two.
// Both answer the characters copied, without the final null(s).
std::size_t CopyProfileText(std::string_view text, char* buffer, std::size_t size);
std::size_t CopyProfileList(std::string_view list, char* buffer, std::size_t size);

enum class ProfileEdit {
    kRefused,    // not written: no section, a blank one, a key the reader could not find again,
                 // or a UTF-16 file that would not come back byte for byte
    kUnchanged,  // nothing to remove
    kChanged,    // `updated` holds the new content
};

// What the writer writes of its arguments: the section and key trimmed, the value from its first
// non-blank up to its first line break (which would start a line of its own). nullopt when the
// write is refused: no section or a blank one, or a key the reader could not find again.
struct ProfileWrite {
    std::string section;
    std::optional<std::string> key;    // none: remove the section
    std::optional<std::string> value;  // none: remove the key
};
std::optional<ProfileWrite> CleanProfileWrite(const char* section, const char* key,
                                              const char* value);

// WriteProfileString's change (see profile.h) to a file with `content`, every other line kept as
// it was and the file's own encoding and line ends used.
ProfileEdit EditProfileText(std::string_view content, const char* section, const char* key,
                            const char* value, std::string* updated);

}  // namespace platform
