#pragma once
// Game versions packed into one 32-bit number (major 4 bits, minor and patch 14 bits each) and
// their text form. Pure functions; any thread.

#include <cstdint>
#include <string>

namespace protocol {

// (major << 28) | ((minor & 0x3FFF) << 14) | (patch & 0x3FFF), in 32 bits: major 16 wraps to 0.
std::uint32_t pack_version(int major, int minor, int patch);

// "major.minor.patch" of a packed version.
std::string format_version(std::uint32_t version);

// The packed form of a text "a.b.c" whose three parts each begin with a number as sscanf "%d"
// reads it (blanks and a sign allowed, trailing text ignored); 0 for any other text.
std::uint32_t parse_version(const std::string& text);

}  // namespace protocol
