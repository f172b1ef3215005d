#include "platform/http_client.h"

#include <algorithm>

#include "platform/ascii_case.h"

namespace platform {

std::optional<std::string> FindHeaderValue(std::string_view lines, std::string_view name) {
    while (!lines.empty()) {
        const std::size_t end = std::min(lines.find('\n'), lines.size());
        const std::string_view line = lines.substr(0, end);
        lines.remove_prefix(std::min(end + 1, lines.size()));
        const std::size_t colon = line.find(':');
        if (colon != name.size() || !StartsWithNoCase(line, name))
            continue;
        std::string_view value = line.substr(colon + 1);
        const std::size_t first = value.find_first_not_of(" \t\r");
        if (first == std::string_view::npos)
            return std::string();
        value = value.substr(first);
        return std::string(value.substr(0, value.find_last_not_of(" \t\r") + 1));
    }
    return std::nullopt;
}

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

}  // namespace platform
