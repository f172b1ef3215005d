#pragma once
// Comparison without regard to ASCII letter case, as the file formats, the HTTP header names and
// the command-line switches want it: only A-Z and a-z fold, every other byte (a GBK lead byte
// too) compares as it is, whatever the C locale. Pure functions: any thread.

#include <string_view>

namespace platform {

char AsciiLower(char c);
char AsciiUpper(char c);

// Same length, and equal byte for byte once letters are folded.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace platform
