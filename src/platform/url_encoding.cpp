#include "platform/url_encoding.h"

#include <cstring>

namespace platform {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Whether `text` holds a %XX escape at `at`.
bool IsEscapeAt(std::string_view text, std::size_t at) {
    return text[at] == '%' && at + 2 < text.size() && HexValue(text[at + 1]) >= 0 &&
           HexValue(text[at + 2]) >= 0;
}

void AppendEscaped(std::string& out, unsigned char c) {
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

bool CannotCarry(unsigned char c) {
    return c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr;
}

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string EncodeUrlPath(std::string_view url) {
    std::size_t pathStart = url.find_first_of("/?#");
    const std::size_t scheme = url.find("://");
    if (scheme != std::string_view::npos && scheme < pathStart)
        pathStart = url.find_first_of("/?#", scheme + 3);
    if (pathStart == std::string_view::npos)
        return std::string(url);

    std::string out(url.substr(0, pathStart));
    out.reserve(url.size() + 16);
    for (std::size_t i = pathStart; i < url.size(); ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        if ((c == '%' && !IsEscapeAt(url, i)) || CannotCarry(c))
            AppendEscaped(out, c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string EncodeUrlValue(std::string_view value) {
    std::string out;
    out.reserve(value.size() * 3);
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c))
            out += ch;
        else
            AppendEscaped(out, c);
    }
    return out;
}

std::string PercentDecode(std::string_view text, bool plusIsBlank) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsEscapeAt(text, i)) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += plusIsBlank && text[i] == '+' ? ' ' : text[i];
        }
    }
    return out;
}

}  // namespace platform
