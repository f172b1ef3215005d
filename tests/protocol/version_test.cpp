#include "protocol/version.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Version, PacksIntoFixedBitFields) {
    EXPECT_EQ(pack_version(1, 2, 3), (1u << 28) | (2u << 14) | 3u);
    EXPECT_EQ(pack_version(15, 0x3FFF, 0x3FFF), 0xFFFFFFFFu);
    // Major has four bits and is shifted in 32 bits; minor and patch are masked.
    EXPECT_EQ(pack_version(16, 0, 0), 0u);
    EXPECT_EQ(pack_version(17, 0, 0), 1u << 28);
    EXPECT_EQ(pack_version(0, 0x4001, 0x4002), (1u << 14) | 2u);
    EXPECT_EQ(pack_version(0, 0, -1), 0x3FFFu);
}

TEST(Version, FormatsAndParsesBackTheSameVersion) {
    EXPECT_EQ(format_version(0), "0.0.0");
    EXPECT_EQ(format_version(0xFFFFFFFFu), "15.16383.16383");
    for (const auto& [major, minor, patch] :
         {std::tuple{1, 2, 3}, std::tuple{0, 0, 1}, std::tuple{15, 16383, 16383},
          std::tuple{3, 1000, 42}}) {
        const std::uint32_t packed = pack_version(major, minor, patch);
        const std::string text = format_version(packed);
        EXPECT_EQ(text, std::to_string(major) + "." + std::to_string(minor) + "." +
                            std::to_string(patch));
        EXPECT_EQ(parse_version(text), packed) << text;
    }
}

TEST(Version, ParsesOnlyThreeNumbersBetweenDots) {
    EXPECT_EQ(parse_version("1.2.3.4"), pack_version(1, 2, 3));
    EXPECT_EQ(parse_version("1x.2y.3 beta"), pack_version(1, 2, 3));
    // Each part is read as sscanf "%d" reads it: leading blanks and a sign are taken.
    EXPECT_EQ(parse_version(" 1.\t+2. -3"), pack_version(1, 2, -3));
    EXPECT_EQ(parse_version("16.0.0"), 0u);

    for (const std::string text :
         {"", "1", "1.2", "1.2.", "a.b.c", ".1.2", "1..3", "1.x.3", "-.1.2", "1.2.+"}) {
        EXPECT_EQ(parse_version(text), 0u) << '"' << text << '"';
    }
    // The text ends at a zero byte, as a C string does.
    EXPECT_EQ(parse_version(std::string("1\0.2.3", 6)), 0u);
}

TEST(Version, NamesTheChecksumListForAVersionPair) {
    const std::uint32_t v123 = pack_version(1, 2, 3);
    EXPECT_EQ(checksum_list_name(v123, v123), "checksum_1_2_3.md5");
    EXPECT_EQ(checksum_list_name(0, 0), "checksum_0_0_0.md5");
    EXPECT_EQ(checksum_list_name(v123, pack_version(1, 2, 4)), "checksum_all.md5");
    EXPECT_EQ(checksum_list_name(0, v123), "checksum_all.md5");
}

}  // namespace
