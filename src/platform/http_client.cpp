#include "platform/http_client.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool CannotCarry(unsigned char c) {
    return c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr;
}

}  // namespace

bool AreSendableHeaders(const std::vector<std::string>& headers) {
    return std::none_of(headers.begin(), headers.end(), [](const std::string& line) {
        return line.find_first_of("\r\n") != std::string::npos;
    });
}

bool HttpClient::GetText(const std::string& url, std::string& body, std::size_t limit) {
    constexpr std::size_t kBlock = 64 * 1024;
    body.clear();
    if (!Get(url))
        return false;
    long count = 0;
    while (body.size() < limit) {
        const std::size_t start = body.size();
        body.resize(start + std::min(kBlock, limit - start));
        count = Read(body.data() + start, body.size() - start);
        body.resize(start + static_cast<std::size_t>(std::max(count, 0L)));
        if (count <= 0)
            break;
    }
    Close();
    return count >= 0;
}

std::string EncodeUrlPath(std::string_view url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
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
        const bool escape =
            c == '%' && i + 2 < url.size() && IsHexDigit(url[i + 1]) && IsHexDigit(url[i + 2]);
        if (!escape && (c == '%' || CannotCarry(c))) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace platform
