// UTF-8 and UTF-16 both ways: what the profile files and the Windows edges rely on.

#include "platform/utf16.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(Utf16Test, ConversionReplacesOnlyWhatIsBroken) {
    const struct {
        std::string utf8;
        std::u16string utf16;
    } both[] = {
        {"中文 café", u"中文 café"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},  // a pair of surrogates
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& [utf8, utf16] : both) {
        EXPECT_EQ(platform::Utf8ToUtf16(utf8), utf16) << utf8;
        EXPECT_EQ(platform::Utf16ToUtf8(utf16), utf8) << utf8;
    }
    // Each byte that starts no sequence (a cut one, an overlong form, an encoded surrogate)
    // becomes one U+FFFD, and so does each unpaired surrogate.
    EXPECT_EQ(platform::Utf8ToUtf16("a\xE4\xB8"), u"a\uFFFD\uFFFD");
    EXPECT_EQ(platform::Utf8ToUtf16("\xC0\xAFx\xED\xA0\x80"), u"\uFFFD\uFFFDx\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(platform::Utf16ToUtf8(std::u16string{u'a', 0xD800, u'b', 0xDC00}), "a\uFFFDb\uFFFD");
}

}  // namespace
