// Packed game versions: the bit fields, their text form, and what parsing accepts.

#include "protocol/version.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Version, PacksIntoFixedBitFieldsFormatsAndParses) {
    EXPECT_EQ(protocol::pack_version(1, 2, 3), (1u << 28) | (2u << 14) | 3u);
    // Major has four bits and is shifted in 32 bits; minor and patch are masked.
    EXPECT_EQ(protocol::pack_version(0, 0x4001, -1), (1u << 14) | 0x3FFFu);
    EXPECT_EQ(protocol::pack_version(17, 0, 0), 1u << 28);
    EXPECT_EQ(protocol::format_version(0xFFFFFFFFu), "15.16383.16383");

    // Parsing takes three numbers between dots, each as sscanf "%d" does: blanks, then a sign.
    for (const auto& [text, packed] :
         {std::pair<std::string, std::uint32_t>{"15.16383.16383", 0xFFFFFFFFu},
          {"1.2.3.4", protocol::pack_version(1, 2, 3)},
          {"1x.2y.3 beta", protocol::pack_version(1, 2, 3)},
          {" 1.\t+2. -3", protocol::pack_version(1, 2, -3)},
          {"16.0.0", 0},
          {std::string("1\0.2.3", 6), 0}})  // a zero byte ends the text
        EXPECT_EQ(protocol::parse_version(text), packed) << '"' << text << '"';
    for (const char* text : {"", "1.2", "1.2.", "a.b.c", "1..3", "-.1.2"})
        EXPECT_EQ(protocol::parse_version(text), 0u) << '"' << text << '"';
}

}  // namespace
