#include "platform/http_client.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/url_encoding.h"
#include "platform/utf16.h"

namespace platform {

namespace {

constexpr DWORD kConnectTimeoutMs = 60000;
constexpr DWORD kStallMs = 30000;
constexpr int kMaxRedirects = 10;
constexpr DWORD kRequestFlags = INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_KEEP_CONNECTION |
                                INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT |
                                INTERNET_FLAG_NO_UI;

std::string ErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = ::FormatMessageW(flags, ::GetModuleHandleW(L"wininet.dll"), code, 0,
                                          reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? WideToUtf8(std::wstring_view(text, length)) : "";
    ::LocalFree(text);
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
        message.pop_back();
    return "internet error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

struct Target {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;  // with query, never empty
};

// Only http and https; the URL is already made sendable.
bool Crack(const std::string& url, Target* target) {
    if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://"))
        return false;
    const std::wstring wide = Utf8ToWide(url);
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!::InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts) ||
        parts.dwHostNameLength == 0) {
        return false;
    }
    target->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    target->host.assign(parts.lpszHostName, parts.dwHostNameLength);
    target->port = parts.nPort;
    target->path.assign(parts.lpszUrlPath != nullptr ? parts.lpszUrlPath : L"",
                        parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr)
        target->path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    const std::size_t fragment = target->path.find(L'#');
    if (fragment != std::wstring::npos)
        target->path.erase(fragment);
    if (target->path.empty() || target->path.front() != L'/')
        target->path.insert(0, 1, L'/');
    return true;
}

// Where a redirect's Location leads from `from` (absolute, host-relative or path-relative).
std::string Resolve(const std::string& from, const std::string& location) {
    if (StartsWithNoCase(location, "http://") || StartsWithNoCase(location, "https://"))
        return location;
    const std::size_t hostStart = from.find("://") + 3;
    const std::size_t pathStart = std::min(from.find('/', hostStart), from.size());
    if (location.starts_with("//"))
        return from.substr(0, hostStart - 2) + location;
    if (location.starts_with("/"))
        return from.substr(0, pathStart) + location;
    const std::size_t query = std::min(from.find_first_of("?#", pathStart), from.size());
    const std::size_t folderEnd = from.rfind('/', query);
    const std::string folder = folderEnd == std::string::npos || folderEnd < pathStart
                                   ? from.substr(0, pathStart) + "/"
                                   : from.substr(0, folderEnd + 1);
    return folder + location;
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One cookie the replies of this object have set, for the host that set it.
struct Cookie {
    std::wstring host;
    std::string name;
    std::string value;
};

// What the system reports of one request handle's calls that went on in the background: the
// request handle carries a shared reference to it as its context, which the status callback
// drops when the handle is closed, so a report arriving after the client is gone finds it alive.
struct Completion {
    HANDLE done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::atomic<bool> ok{false};
    std::atomic<DWORD> error{0};
    DWORD count = 0;  // InternetReadFile's count, written when the read completes

    Completion() = default;
    ~Completion() {
        if (done != nullptr)
            ::CloseHandle(done);
    }
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;
};

using CompletionRef = std::shared_ptr<Completion>;

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    if (context == 0)
        return;
    auto* ref = reinterpret_cast<CompletionRef*>(context);
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        (*ref)->ok = result->dwResult != 0;
        (*ref)->error = result->dwError;
        ::SetEvent((*ref)->done);
    } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        std::unique_ptr<CompletionRef> handed(ref);  // the handle's reference, taken back
    }
}

}  // namespace

// One internet session per object, so that kept-alive connections and cookies are this object's
// alone. The session works in the background (INTERNET_FLAG_ASYNC) and each call waits for its
// report or for Cancel, which a call blocked inside the system would not see. The handles are
// closed under `mutex`, since Cancel closes them from another thread.
struct HttpClient::Transfer {
    std::wstring agent;
    std::mutex mutex;
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    CompletionRef completion;  // the request's
    HANDLE cancelEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Target connected;  // what `connection` leads to
    std::atomic<bool> cancelled{false};

    std::string lastError;
    int status = 0;
    std::optional<std::uint64_t> contentLength;
    std::string headerLines;  // the final reply's, status line first
    std::uint64_t received = 0;
    bool bodyDone = false;
    std::vector<Cookie> cookies;

    explicit Transfer(std::string userAgent) : agent(Utf8ToWide(userAgent)) {}
    ~Transfer() {
        CloseRequest();
        {
            std::lock_guard lock(mutex);
            CloseHandle(connection);
            CloseHandle(session);
        }
        if (cancelEvent != nullptr)
            ::CloseHandle(cancelEvent);
    }

    static void CloseHandle(HINTERNET& handle) {
        if (handle != nullptr)
            ::InternetCloseHandle(std::exchange(handle, nullptr));
    }
    void CloseRequest() {
        std::lock_guard lock(mutex);
        CloseHandle(request);
    }
    HINTERNET Request() {
        std::lock_guard lock(mutex);
        return request;
    }

    void Fail(const std::string& text) { lastError = cancelled ? "cancelled" : text; }
    void FailWith(DWORD error) { Fail(ErrorText(error)); }

    // After a call answered FALSE: waits for its report when it went on in the background.
    // True when it succeeded; otherwise the reason is in lastError.
    bool Finish(const CompletionRef& call);

    bool Open(const Target& target);
    bool Send(const Target& target, const std::vector<std::string>& headers);
    long Available();
    std::wstring HeaderBlock(const Target& target, const std::vector<std::string>& extra) const;
    std::string QueryText(DWORD what, DWORD index = 0) const;
    void TakeCookies(const Target& target);
    void ReadReplyHeaders();
};

bool HttpClient::Transfer::Finish(const CompletionRef& call) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
        FailWith(error);
        return false;
    }
    const HANDLE waits[2] = {call->done, cancelEvent};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 || cancelled) {
        Fail("cancelled");
        return false;
    }
    if (!call->ok) {
        FailWith(call->error);
        return false;
    }
    return true;
}

bool HttpClient::Transfer::Open(const Target& target) {
    std::lock_guard lock(mutex);
    if (cancelled)
        return false;
    if (session == nullptr) {
        session = ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                  INTERNET_FLAG_ASYNC);
        if (session == nullptr)
            return false;
        ::InternetSetStatusCallbackW(session, &OnStatus);
        DWORD connectTimeout = kConnectTimeoutMs;
        DWORD stall = kStallMs;
        ::InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout,
                             sizeof connectTimeout);
        ::InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &stall, sizeof stall);
    }
    if (connection != nullptr && (connected.host != target.host || connected.port != target.port ||
                                  connected.secure != target.secure)) {
        CloseHandle(connection);
    }
    if (connection == nullptr) {
        connection = ::InternetConnectW(session, target.host.c_str(), target.port, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, 0);
        if (connection == nullptr)
            return false;
        connected = target;
    }
    completion = std::make_shared<Completion>();
    auto handed = std::make_unique<CompletionRef>(completion);
    request = ::HttpOpenRequestW(connection, L"GET", target.path.c_str(), nullptr, nullptr, nullptr,
                                 kRequestFlags | (target.secure ? INTERNET_FLAG_SECURE : 0),
                                 reinterpret_cast<DWORD_PTR>(handed.get()));
    if (request == nullptr)
        return false;
    (void)handed.release();  // the handle's now, until it closes
    return true;
}

bool HttpClient::Transfer::Send(const Target& target, const std::vector<std::string>& headers) {
    const std::wstring block = HeaderBlock(target, headers);
    const HINTERNET handle = Request();
    const CompletionRef call = completion;
    if (handle == nullptr) {
        Fail("cancelled");
        return false;
    }
    if (::HttpSendRequestW(handle, block.c_str(), static_cast<DWORD>(block.size()), nullptr, 0))
        return true;
    return Finish(call);
}

// Body bytes ready to be read at once, waiting for some; 0 at the end of the body, -1 when the
// transfer failed.
long HttpClient::Transfer::Available() {
    const HINTERNET handle = Request();
    const CompletionRef call = completion;
    for (;;) {
        if (handle == nullptr || cancelled) {
            Fail("cancelled");
            return -1;
        }
        DWORD available = 0;
        if (::InternetQueryDataAvailable(handle, &available, 0, 0))
            return static_cast<long>(std::min<DWORD>(available, LONG_MAX));
        if (!Finish(call))
            return -1;
    }
}
std::wstring HttpClient::Transfer::HeaderBlock(const Target& target,
                                               const std::vector<std::string>& extra) const {
    std::string block = "Cache-Control: no-cache\r\nPragma: no-cache\r\n";
    std::string cookieLine;
    for (const Cookie& cookie : cookies) {
        if (cookie.host != target.host)
            continue;
        cookieLine += (cookieLine.empty() ? "" : "; ") + cookie.name + "=" + cookie.value;
    }
    if (!cookieLine.empty())
        block += "Cookie: " + cookieLine + "\r\n";
    for (const std::string& line : extra)
        block += line + "\r\n";
    return Utf8ToWide(block);
}

std::string HttpClient::Transfer::QueryText(DWORD what, DWORD index) const {
    std::wstring text(256, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        DWORD at = index;
        if (::HttpQueryInfoW(request, what, text.data(), &size, &at)) {
            text.resize(size / sizeof(wchar_t));
            return WideToUtf8(text);
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return {};
        text.resize(size / sizeof(wchar_t) + 1);
    }
}

void HttpClient::Transfer::TakeCookies(const Target& target) {
    for (DWORD index = 0;; ++index) {
        const std::string line = QueryText(HTTP_QUERY_SET_COOKIE, index);
        if (line.empty())
            return;
        const std::string pair = line.substr(0, line.find(';'));
        const std::size_t equals = pair.find('=');
        if (equals == std::string::npos || equals == 0)
            continue;
        Cookie cookie{target.host, pair.substr(0, equals), pair.substr(equals + 1)};
        const auto same = [&cookie](const Cookie& other) {
            return other.host == cookie.host && other.name == cookie.name;
        };
        cookies.erase(std::remove_if(cookies.begin(), cookies.end(), same), cookies.end());
        cookies.push_back(std::move(cookie));
    }
}

void HttpClient::Transfer::ReadReplyHeaders() {
    status = std::atoi(QueryText(HTTP_QUERY_STATUS_CODE).c_str());
    headerLines = QueryText(HTTP_QUERY_RAW_HEADERS_CRLF);
    const std::string length = QueryText(HTTP_QUERY_CONTENT_LENGTH);
    if (!length.empty() &&
        std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        contentLength = std::strtoull(length.c_str(), nullptr, 10);
    }
}

HttpClient::HttpClient(std::string userAgent)
    : m_transfer(std::make_unique<Transfer>(std::move(userAgent))) {}

HttpClient::~HttpClient() = default;

bool HttpClient::Get(const std::string& url, const std::vector<std::string>& headers) {
    Transfer& t = *m_transfer;
    t.CloseRequest();
    t.lastError.clear();
    t.status = 0;
    t.contentLength.reset();
    t.headerLines.clear();
    t.received = 0;
    t.bodyDone = false;
    if (!AreSendableHeaders(headers)) {
        t.lastError = "a request header holds a line break";
        return false;
    }
    std::string current = EncodeUrlPath(url);
    for (int redirects = 0;; ++redirects) {
        Target target;
        if (!Crack(current, &target)) {
            t.Fail("not an http or https address: " + current);
            return false;
        }
        if (!t.Open(target)) {
            t.FailWith(::GetLastError());
            t.CloseRequest();
            return false;
        }
        if (!t.Send(target, headers)) {
            t.CloseRequest();
            return false;
        }
        t.TakeCookies(target);
        t.ReadReplyHeaders();
        const std::string location = t.QueryText(HTTP_QUERY_LOCATION);
        if (!IsRedirect(t.status) || location.empty())
            return true;
        if (redirects == kMaxRedirects) {
            t.Fail("more than " + std::to_string(kMaxRedirects) + " redirects");
            t.CloseRequest();
            t.status = 0;
            return false;
        }
        current = EncodeUrlPath(Resolve(current, location));
        t.CloseRequest();
        t.contentLength.reset();
        t.headerLines.clear();
    }
}

int HttpClient::Status() const {
    return m_transfer->status;
}

std::optional<std::uint64_t> HttpClient::ContentLength() const {
    return m_transfer->contentLength;
}

std::optional<std::string> HttpClient::Header(std::string_view name) const {
    return FindHeaderValue(m_transfer->headerLines, name);
}

long HttpClient::Read(void* buffer, std::size_t n) {
    Transfer& t = *m_transfer;
    if (t.Request() == nullptr) {
        if (t.lastError.empty())
            t.lastError = t.cancelled ? "cancelled" : "no reply to read";
        return -1;
    }
    n = std::min<std::size_t>(n, LONG_MAX);
    char* out = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < n && !t.bodyDone) {
        const long available = t.Available();
        if (available < 0) {
            t.CloseRequest();
            return got > 0 ? static_cast<long>(got) : -1;
        }
        if (available == 0) {
            t.bodyDone = true;
            break;
        }
        // What is available is read at once, without going to the background.
        const HINTERNET request = t.Request();
        DWORD count = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(n - got, available));
        if (request == nullptr || !::InternetReadFile(request, out + got, ask, &count)) {
            t.FailWith(::GetLastError());
            t.CloseRequest();
            return got > 0 ? static_cast<long>(got) : -1;
        }
        got += count;
        t.received += count;
    }
    if (got > 0)
        return static_cast<long>(got);
    if (t.contentLength && t.received < *t.contentLength) {
        t.Fail("the body ended after " + std::to_string(t.received) + " of " +
               std::to_string(*t.contentLength) + " bytes");
        t.CloseRequest();
        return -1;
    }
    return 0;
}

void HttpClient::Close() {
    m_transfer->CloseRequest();
}

void HttpClient::Cancel() {
    Transfer& t = *m_transfer;
    t.cancelled = true;
    ::SetEvent(t.cancelEvent);
    std::lock_guard lock(t.mutex);
    Transfer::CloseHandle(t.request);
    Transfer::CloseHandle(t.connection);
}

const std::string& HttpClient::LastError() const {
    return m_transfer->lastError;
}

}  // namespace platform
