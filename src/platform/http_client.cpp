#include "platform/http_client.h"

#include <algorithm>

namespace platform {

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
