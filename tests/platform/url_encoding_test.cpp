// Percent-encoding of paths and query values, and the decoding a server applies.

#include "platform/url_encoding.h"

#include <string>
#include <string_view>
#include <tuple>

#include <gtest/gtest.h>

namespace {

using platform::EncodeUrlPath;
using platform::EncodeUrlValue;
using platform::PercentDecode;

// A path escapes only what a URL cannot carry; a value keeps only the unreserved characters.
TEST(UrlEncoding, PathsAndValuesEscapeWhatTheirPlaceCannotCarry) {
    const std::tuple<std::string (*)(std::string_view), std::string, std::string> cases[] = {
        {EncodeUrlPath, "http://h:8080/数据/地图.map",
         "http://h:8080/%E6%95%B0%E6%8D%AE/%E5%9C%B0%E5%9B%BE.map"},
        {EncodeUrlPath, "http://h/a b\"<>\\^`{|}", "http://h/a%20b%22%3C%3E%5C%5E%60%7B%7C%7D"},
        {EncodeUrlPath, "http://h/100%25/%zz%/%4a", "http://h/100%25/%25zz%25/%4a"},
        {EncodeUrlPath, "http://h/t\x01\t\r\n\x7f\xff", "http://h/t%01%09%0D%0A%7F%FF"},
        {EncodeUrlPath, "http://h/p?q=a b#frag", "http://h/p?q=a%20b#frag"},
        {EncodeUrlPath, "http://h?x= y", "http://h?x=%20y"},
        {EncodeUrlPath, "h:80/a b?u=http://x/y z", "h:80/a%20b?u=http://x/y%20z"},
        {EncodeUrlValue, "azAZ09-._~", "azAZ09-._~"},
        // A user name cannot add a parameter: every separator a query knows is escaped.
        {EncodeUrlValue, "a&b c=d", "a%26b%20c%3Dd"},
        {EncodeUrlValue, "+/?#%;", "%2B%2F%3F%23%25%3B"},
        {EncodeUrlValue, std::string("\0\x7f\x80\xff", 4), "%00%7F%80%FF"},
    };
    for (const auto& [encode, in, out] : cases)
        EXPECT_EQ(encode(in), out) << in;
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
