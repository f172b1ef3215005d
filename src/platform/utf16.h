#pragma once
// UTF-8 and UTF-16 in both directions: the profile files saved as UTF-16, and on Windows every
// file name and text handed to the system's wide-character functions. Pure functions: any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0 when it is not one
// (overlong forms, surrogates and code points above U+10FFFF are not).
std::size_t Utf8SequenceLength(std::string_view text);

// Each byte that starts no well-formed sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Each unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

#if defined(_WIN32)
// The same for the system's wide characters, which are UTF-16 units there.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
#endif

}  // namespace platform
