// Percent-encoding of paths and query values, and the decoding a server applies.

#include "platform/url_encoding.h"

#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace {

using platform::EncodeUrlPath;
using platform::EncodeUrlValue;
using platform::PercentDecode;

TEST(UrlEncoding, APathEscapesOnlyWhatAUrlCannotCarry) {
    const std::pair<std::string, std::string> cases[] = {
        {"http://h:8080/数据/地图.map", "http://h:8080/%E6%95%B0%E6%8D%AE/%E5%9C%B0%E5%9B%BE.map"},
        {"http://h/a b\"<>\\^`{|}", "http://h/a%20b%22%3C%3E%5C%5E%60%7B%7C%7D"},
        {"http://h/100%25/%zz%/%4a", "http://h/100%25/%25zz%25/%4a"},
        {"http://h/t\x01\t\r\n\x7f\xff", "http://h/t%01%09%0D%0A%7F%FF"},
        {"http://h/p?q=a b#frag", "http://h/p?q=a%20b#frag"},
        {"http://h?x= y", "http://h?x=%20y"},
        {"h:80/a b?u=http://x/y z", "h:80/a%20b?u=http://x/y%20z"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(EncodeUrlPath(in), out) << in;
}

// A user name cannot add a parameter: every separator a query knows is escaped.
TEST(UrlEncoding, AValueKeepsOnlyTheUnreservedCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"azAZ09-._~", "azAZ09-._~"},
        {"a&b c=d", "a%26b%20c%3Dd"},
        {"+/?#%;", "%2B%2F%3F%23%25%3B"},
        {std::string("\0\x7f\x80\xff", 4), "%00%7F%80%FF"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(EncodeUrlValue(in), out) << in;
}

TEST(UrlEncoding, DecodingTurnsOnlyWellFormedEscapesIntoBytes) {
    const struct {
        std::string in;
        bool plusIsBlank;
        std::string out;
    } cases[] = {
        {"a%20b%4a%4A", false, "a bJJ"}, {"%E5%BC%A0", false, "张"},
        {"a+b", false, "a+b"},           {"%zz%4%", false, "%zz%4%"},
        {"a+b%2B", true, "a b+"},        {"%00", false, std::string(1, '\0')},
    };
    for (const auto& [in, plusIsBlank, out] : cases)
        EXPECT_EQ(PercentDecode(in, plusIsBlank), out) << in;

    std::string everyByte;
    for (int c = 0; c < 256; ++c)
        everyByte += static_cast<char>(c);
    EXPECT_EQ(PercentDecode(EncodeUrlValue(everyByte), true), everyByte);
}

}  // namespace
