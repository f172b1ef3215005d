#pragma once
// The profile-string service: reads and writes single values of INI-style files with the rules
// of the Windows profile functions (names without regard to ASCII case, blanks around names and
// values ignored, one pair of enclosing quotes dropped, CR LF, LF and a lone CR all ending a line,
// a NUL ending a name or value, a file with the UTF-16 byte-order mark read and written as
// UTF-16). Texts are in the ANSI code page, the file name is UTF-8. On Windows the system's own
// functions do the work. Any thread; each call reads the file anew.

#include <cstddef>
#include <string>

// <windows.h> maps this name to its own function when it came first.
#ifdef WriteProfileString
#undef WriteProfileString
#endif

namespace platform {

// Copies the value (or `defaultValue` when file, section or key is missing) into `buffer`, cut to
// `size` - 1 characters and terminated; answers the number of characters copied.
// A null `section` lists the section names, a null `key` the section's key names, each name
// ended by a null character and the list by a second one; a list too long for `buffer` is cut
// and ended by two nulls, and the answer is then `size` - 2.
std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t size, const std::string& file);

// Sets key = value in section, creating file and section when missing and keeping every other
// line as it was. False when the file cannot be written.
// A null `value` removes the key, a null `key` the whole section. The file is replaced
// atomically, so a failed write leaves the old one untouched.
bool WriteProfileString(const char* section, const char* key, const char* value,
                        const std::string& file);

}  // namespace platform
