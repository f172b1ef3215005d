#pragma once
// ToAnsiExact: a UTF-8 text in the ANSI code page the launcher reads its files in, only when
// every character has a place there. Any thread.

#include <optional>
#include <string>
#include <string_view>

namespace pack {

// The ANSI bytes of `utf8`; nullopt when it is not UTF-8 or holds a character the code page
// lacks (a conversion that would put "?" in its place).
std::optional<std::string> ToAnsiExact(std::string_view utf8);

// ToAnsiExact, or PackError naming `what` and the code page.
std::string ToAnsiOrThrow(std::string_view utf8, const std::string& what);

}  // namespace pack
