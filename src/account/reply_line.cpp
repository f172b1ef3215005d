#include "account/reply_line.h"

#include <algorithm>

#include "platform/http_client.h"

namespace account {

namespace {

constexpr long kReadBlock = 4096;

}  // namespace

CReplyLine CReplyLine::FromBody(std::string_view body) {
    return CReplyLine(std::string(body.substr(0, body.find('\n'))));
}

std::optional<CReplyLine> CReplyLine::Fetch(platform::HttpClient& http, const std::string& url) {
    if (!http.Get(url))
        return std::nullopt;
    // Only the first line counts, so the rest of the body is never waited for.
    std::string body;
    while (body.size() < kMaxLine && body.find('\n') == std::string::npos) {
        const std::size_t start = body.size();
        body.resize(start + std::min<std::size_t>(kReadBlock, kMaxLine - start));
        const long count = http.Read(body.data() + start, body.size() - start);
        body.resize(start + static_cast<std::size_t>(std::max(count, 0L)));
        if (count < 0) {
            http.Close();
            return std::nullopt;
        }
        if (count == 0)
            break;
    }
    http.Close();
    return FromBody(body);
}

int CReplyLine::Search(std::string_view marker, int from) const {
    if (from < 0 || static_cast<std::size_t>(from) > m_line.size())
        return -1;
    const std::size_t found = m_line.find(marker, static_cast<std::size_t>(from));
    return found == std::string::npos ? -1 : static_cast<int>(found);
}

std::string CReplyLine::Part(int start, int count) const {
    const std::size_t first = static_cast<std::size_t>(std::max(start, 0));
    if (first >= m_line.size())
        return {};
    return m_line.substr(first, static_cast<std::size_t>(std::max(count, 0)));
}

std::string CReplyLine::Part(int start) const {
    const std::size_t first = static_cast<std::size_t>(std::max(start, 0));
    return first >= m_line.size() ? std::string() : m_line.substr(first);
}

LoginCredentials CReplyLine::Credentials(int p) const {
    const int a = Search("userName|", p) + 9;
    const int b = Search("OTP|", a);
    return {Part(a, b - a - 1), Part(Search("OTP|", a) + 4)};
}

}  // namespace account
