// Case folds the 26 ASCII letters only: other bytes 0x20 apart, and code-page letters, stay.

#include "platform/ascii_case.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(AsciiCase, OnlyAsciiLettersFold) {
    const struct {
        std::string a, b;
        bool equal;
    } cases[] = {
        {"Launcher", "lAUNCHER", true},
        {"-NoCheck", "-nocheck", true},
        {"[", "{", false},
        {"\xC4", "\xE4", false},
        {"ab", "abc", false},
        {"-NoCheck", "-NoChecks", false},
    };
    for (const auto& [a, b, equal] : cases) {
        EXPECT_EQ(platform::EqualsNoCase(a, b), equal) << a << " " << b;
        EXPECT_EQ(platform::StartsWithNoCase(a + "tail", b), equal) << a << " " << b;
    }
    EXPECT_FALSE(platform::StartsWithNoCase("loc", "location:"));
}

}  // namespace
