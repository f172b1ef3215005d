#include "pack/ansi_text.h"

#include "pack/pack_error.h"
#include "platform/codepage.h"

namespace pack {

std::optional<std::string> ToAnsiExact(std::string_view utf8) {
    std::string ansi = platform::Utf8ToAnsi(utf8);
    // The converter puts "?" for what it cannot hold; only a faithful way back proves none did.
    if (platform::AnsiToUtf8(ansi) != utf8)
        return std::nullopt;
    return ansi;
}

std::string ToAnsiOrThrow(std::string_view utf8, const std::string& what) {
    std::optional<std::string> ansi = ToAnsiExact(utf8);
    if (!ansi) {
        throw PackError(what + ": not UTF-8, or holds a character the code page " +
                        platform::AnsiCodePage() + " cannot represent");
    }
    return std::move(*ansi);
}

}  // namespace pack
