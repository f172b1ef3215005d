#pragma once
// The internet client of the patcher, the login and the web panels: blocking HTTP GET whose body
// the caller pulls in blocks of its own size. One thread at a time per object, except Cancel;
// objects share nothing (cookies and kept-alive connections live and die with their object).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class HttpClient final {
public:
    // `userAgent` goes out as the User-Agent of every request.
    explicit HttpClient(std::string userAgent);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;
    HttpClient(HttpClient&&) = delete;
    HttpClient& operator=(HttpClient&&) = delete;

    // Drops any reply still open, sends GET (path made sendable by EncodeUrlPath) and waits for the
    // final reply's headers, following up to 10 redirects. `headers` are further request header
    // lines without their line ends ("Range: bytes=1000-"). False on an internet error (bad URL,
    // name not resolved, refused, time-out, no reply) or a header holding a line break; the
    // reason is then in LastError().
    bool Get(const std::string& url, const std::vector<std::string>& headers = {});

    // Of the last reply; 0 when there was none.
    int Status() const;
    // As announced by the last reply; empty when it announced none.
    std::optional<std::uint64_t> ContentLength() const;
    // The value of the last reply's header `name` (any case), blanks around it dropped; empty
    // when the reply has none.
    std::optional<std::string> Header(std::string_view name) const;

    // Fills `buffer` with up to `n` body bytes, waiting until `n` have arrived or the body ends.
    // Answers the count, 0 at the end of the body, or -1 when the transfer failed (connection cut,
    // time-out, body shorter than its Content-Length); the reason is then in LastError().
    long Read(void* buffer, std::size_t n);

    // Drops the rest of the reply. A connection whose reply was read to its end stays open for
    // the next Get; one cut short is closed.
    void Close();

    // GET and read the whole body, at most `limit` bytes of it, then Close. Any status counts;
    // false only on an internet error, the body then holding what arrived.
    bool GetText(const std::string& url, std::string& body, std::size_t limit = 1 << 20);

    // Why the last Get or Read failed; empty after a success.
    const std::string& LastError() const;

    // Any thread, while the object lives: the Get or Read in progress fails at once, and so does
    // every later one.
    void Cancel();

private:
    struct Transfer;
    std::unique_ptr<Transfer> m_transfer;
};

// The value of the first header `name` (any case) among `lines` ("Name: value", CR LF or LF
// between them), blanks around it dropped.
std::optional<std::string> FindHeaderValue(std::string_view lines, std::string_view name);

// True when no line holds a CR or LF, which would add header lines of its own.
bool AreSendableHeaders(const std::vector<std::string>& headers);

}  // namespace platform
