#pragma once
// The first line of an account-service reply and the two text rules the login reads it with:
// Search and Part, lenient with out-of-range positions. A plain value; any thread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace platform {
class HttpClient;
}

namespace account {

// What a success line carries.
struct LoginCredentials {
    std::string userId;
    std::string userKey;
};

class CReplyLine final {
public:
    // Longest first line read; a longer one is cut there.
    static constexpr std::size_t kMaxLine = 64 * 1024;

    CReplyLine() = default;
    explicit CReplyLine(std::string line) : m_line(std::move(line)) {}

    // The characters of `body` up to its first line feed, which is dropped; a carriage return
    // before it stays part of the line.
    static CReplyLine FromBody(std::string_view body);

    // GETs `url` with `http` and reads the first line of the body, whatever the status. Nothing
    // when the request cannot be completed; http.LastError() then says why.
    static std::optional<CReplyLine> Fetch(platform::HttpClient& http, const std::string& url);

    const std::string& Text() const { return m_line; }
    bool Empty() const { return m_line.empty(); }

    // Position of the first `marker` at or after `from`; -1 when there is none, and when `from`
    // is negative or beyond the end of the line.
    int Search(std::string_view marker, int from = 0) const;
    // At most `count` characters from `start`; a negative start counts as 0, a negative count as
    // 0, and a start beyond the end gives empty text.
    std::string Part(int start, int count) const;
    // The characters from `start` to the end of the line, with the same rule for `start`.
    std::string Part(int start) const;

    // The user id and key of a success line whose "succeed|" is at `p`. Missing markers are not
    // refused: the rules give whatever texts they give.
    LoginCredentials Credentials(int p) const;

private:
    std::string m_line;
};

}  // namespace account
