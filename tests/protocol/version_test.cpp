// Packed game versions: the bit fields, their text form, and what parsing accepts.

#include "protocol/version.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Version, PacksIntoFixedBitFieldsAndFormatsBack) {
    EXPECT_EQ(protocol::pack_version(1, 2, 3), (1u << 28) | (2u << 14) | 3u);
    // Major has four bits and is shifted in 32 bits; minor and patch are masked.
    EXPECT_EQ(protocol::pack_version(0, 0x4001, -1), (1u << 14) | 0x3FFFu);
    EXPECT_EQ(protocol::pack_version(17, 0, 0), 1u << 28);
    EXPECT_EQ(protocol::format_version(0xFFFFFFFFu), "15.16383.16383");
}

TEST(Version, ParsesOnlyThreeNumbersBetweenDots) {
    // Each part is read as sscanf "%d" reads it: leading blanks and a sign are taken.
    for (const auto& [text, packed] :
         {std::pair<std::string, std::uint32_t>{"15.16383.16383", 0xFFFFFFFFu},
          {"1.2.3.4", protocol::pack_version(1, 2, 3)},
          {"1x.2y.3 beta", protocol::pack_version(1, 2, 3)},
          {" 1.\t+2. -3", protocol::pack_version(1, 2, -3)},
          {"16.0.0", 0}}) {
        EXPECT_EQ(protocol::parse_version(text), packed) << '"' << text << '"';
    }
    for (const char* text : {"", "1.2", "1.2.", "a.b.c", "1..3", "-.1.2"})
        EXPECT_EQ(protocol::parse_version(text), 0u) << '"' << text << '"';
    EXPECT_EQ(protocol::parse_version(std::string("1\0.2.3", 6)), 0u)
        << "a zero byte ends the text";
}

}  // namespace
