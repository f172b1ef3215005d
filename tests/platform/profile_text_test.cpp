// The profile rules over lone-CR, UTF-16 and NUL-holding contents other editors write.

#include "platform/profile_text.h"

#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

const std::string kGbk = "\xD6\xD0\xCE\xC4";  // "中文" in GBK

std::string Read(const std::string& content, const char* section, const char* key) {
    std::string buffer(4096, 'x');
    const std::size_t count =
        platform::ReadProfileText(content, section, key, "<default>", buffer.data(), buffer.size());
    return buffer.substr(0, count);
}

std::string Edit(const std::string& content, const char* section, const char* key,
                 const char* value) {
    std::string updated = "<unchanged>";
    const auto edit = platform::EditProfileText(content, section, key, value, &updated);
    return edit == platform::ProfileEdit::kRefused ? "<refused>" : updated;
}

// The bytes of a UTF-16LE file with its byte-order mark.
std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text)
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
}

// A lone CR ends a line, and new lines use the file's own line end.
TEST(ProfileTextTest, ALoneCrEndsALine) {
    const std::string crOnly = "[Skin]\rBg = bg.bmp\r[Size]\rStart=1,2,3,4\r";
    EXPECT_EQ(Read(crOnly, "size", "start"), "1,2,3,4");
    EXPECT_EQ(Read("[A]\r\nk=1\rj=2\n\rm=3", "A", "m"), "3") << "mixed line ends";
    EXPECT_EQ(Edit(crOnly, "Skin", "Bg", "new.bmp"),
              "[Skin]\rBg = new.bmp\r[Size]\rStart=1,2,3,4\r");
    EXPECT_EQ(Edit(crOnly, "Size", "End", "9"),
              "[Skin]\rBg = bg.bmp\r[Size]\rStart=1,2,3,4\rEnd=9\r");
    EXPECT_EQ(Edit("[A]\rk=1", "B", "x", "y"), "[A]\rk=1\r[B]\rx=y\r");
}

TEST(ProfileTextTest, Utf16FilesAreReadAndWrittenAsUtf16) {
    quend::test::setEnv("QUEND_CODEPAGE", "GBK");
    const std::string file = Utf16File(
        u"[Server]\r\nServerHost = 中文.example\r\n"
        u"[中文]\r\n名字=\"值 \"\r\n");
    EXPECT_EQ(Read(file, "server", "serverhost"), kGbk + ".example");
    EXPECT_EQ(Read(file, kGbk.c_str(), "\xC3\xFB\xD7\xD6"), "\xD6\xB5 ") << "names in GBK";
    EXPECT_EQ(Edit(file, "Server", "ServerHost", ("10.0.0." + kGbk).c_str()),
              Utf16File(u"[Server]\r\nServerHost = 10.0.0.中文\r\n[中文]\r\n名字=\"值 \"\r\n"));
    EXPECT_EQ(Edit(file, "New", "Port", "7000"),
              Utf16File(u"[Server]\r\nServerHost = 中文.example\r\n[中文]\r\n名字=\"值 \"\r\n"
                        u"[New]\r\nPort=7000\r\n"));
    EXPECT_EQ(Edit(Utf16File(u""), "S", "k", "v"), Utf16File(u"[S]\r\nk=v\r\n"));
    // A file that would not come back byte for byte (a lone surrogate, an odd last byte) is left.
    EXPECT_EQ(Edit(Utf16File(std::u16string{u'[', u'S', u']', 0xD800}), "S", "k", "v"),
              "<refused>");
    EXPECT_EQ(Edit(Utf16File(u"[S]") + "x", "S", "k", "v"), "<refused>");
}

TEST(ProfileTextTest, ANulEndsANameOrValue) {
    const std::string file = std::string("[Se\0ction]\nkey=va\0lue\nk\0ey2=v2\n", 31);
    EXPECT_EQ(Read(file, "Se", "key"), "va");
    EXPECT_EQ(Read(file, "Se", "k"), "v2");
    EXPECT_EQ(Read(file, "Section", "key"), "<default>");
}

}  // namespace
