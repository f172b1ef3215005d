#pragma once
// Conversion between the system's ANSI code page (QUEND_CODEPAGE, default GBK) and UTF-8, used
// only where 8-bit texts meet the screen, the keyboard, file names or URLs. Thread-safe.

#include <string>
#include <string_view>

namespace platform {

// The ANSI code page's name as configured: one iconv knows, or on Windows one that names a
// code page of the system ("GBK", "BIG5", "CP1252", "950"); GBK when the configured one is unknown.
std::string AnsiCodePage();

// Undecodable bytes become U+FFFD; the result is never empty for non-empty input.
std::string AnsiToUtf8(std::string_view ansi);

// Characters the code page cannot hold become "?".
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace platform
