#include "platform/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/url_encoding.h"

namespace platform {

namespace {

constexpr long kReceiveBufferSize = 512 * 1024;
constexpr long kConnectTimeoutSeconds = 60;
constexpr long kStallSeconds = 30;
constexpr long kMaxRedirects = 10;
constexpr int kPollMilliseconds = 1000;

void InitCurlOnce() {
    // Thread-safe static initialisation runs it once, before the first handle.
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)result;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

// One easy handle driven through its own multi handle, so that the body can be pulled: curl
// writes straight into the buffer of a waiting Read and is paused once that buffer is full, so
// that only the tail of the block that filled it waits in `pending` (at most one receive buffer)
// and nothing is copied twice on the way.
struct HttpClient::Transfer {
    std::unique_ptr<CURLM, MultiDeleter> multi{curl_multi_init()};
    std::unique_ptr<curl_slist, ListDeleter> headers;
    std::unique_ptr<CURL, EasyDeleter> easy{curl_easy_init()};
    std::string userAgent;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::string lastError;

    std::atomic<bool> cancelled{false};
    bool attached = false;  // easy is in multi
    bool headersDone = false;
    bool done = false;
    bool paused = false;
    bool discarding = false;
    CURLcode result = CURLE_OK;
    int status = 0;
    std::optional<std::uint64_t> contentLength;

    // The header block being received: a redirect's or interim reply's block is not the last.
    int blockStatus = 0;
    bool blockHasLocation = false;
    std::string blockHeaders;  // the block's header lines

    std::vector<char> pending;
    std::size_t pendingHead = 0;
    char* dest = nullptr;
    std::size_t destLeft = 0;

    explicit Transfer(std::string agent) : userAgent(std::move(agent)) { Configure(); }
    ~Transfer() { Detach(); }

    void Configure();
    bool SetHeaders(const std::vector<std::string>& extra);
    void Reset();
    void Detach();
    template <class Ready>
    void RunUntil(Ready ready);
    void CollectDone();
    void Fail(CURLcode code);
    std::size_t PendingSize() const { return pending.size() - pendingHead; }
    std::size_t TakePending(char* out, std::size_t n);
    void KeepPending(const char* data, std::size_t n);
    void OnHeaderLine(std::string_view line);
    std::size_t OnBody(char* data, std::size_t size);

    static std::size_t HeaderCallback(char* data, std::size_t size, std::size_t n, void* self) {
        static_cast<Transfer*>(self)->OnHeaderLine(std::string_view(data, size * n));
        return size * n;
    }
    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t n, void* self) {
        return static_cast<Transfer*>(self)->OnBody(data, size * n);
    }
};

void HttpClient::Transfer::Configure() {
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HeaderCallback);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &WriteCallback);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
}

// The request's header lines: caches bypassed, then the caller's.
bool HttpClient::Transfer::SetHeaders(const std::vector<std::string>& extra) {
    std::unique_ptr<curl_slist, ListDeleter> list;
    const auto append = [&list](const char* line) {
        curl_slist* longer = curl_slist_append(list.get(), line);
        if (longer == nullptr)
            return false;
        (void)list.release();
        list.reset(longer);
        return true;
    };
    for (const char* header : {"Cache-Control: no-cache", "Pragma: no-cache"}) {
        if (!append(header))
            return false;
    }
    for (const std::string& header : extra) {
        if (!append(header.c_str()))
            return false;
    }
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, list.get());
    headers = std::move(list);
    return true;
}

void HttpClient::Transfer::Reset() {
    errorBuffer[0] = '\0';
    lastError.clear();
    headersDone = done = paused = discarding = false;
    result = CURLE_OK;
    status = 0;
    contentLength.reset();
    blockStatus = 0;
    blockHasLocation = false;
    blockHeaders.clear();
    pending.clear();
    pendingHead = 0;
    dest = nullptr;
    destLeft = 0;
}

void HttpClient::Transfer::Detach() {
    if (!attached)
        return;
    if (paused) {
        // Let curl hand over what it holds back, so that no pause outlives this reply.
        discarding = true;
        paused = false;
        curl_easy_pause(easy.get(), CURLPAUSE_CONT);
    }
    curl_multi_remove_handle(multi.get(), easy.get());
    attached = false;
    pending.clear();
    pendingHead = 0;
}

template <class Ready>
void HttpClient::Transfer::RunUntil(Ready ready) {
    while (!done && !ready()) {
        if (cancelled) {
            done = true;
            result = CURLE_ABORTED_BY_CALLBACK;
            lastError = "cancelled";
            return;
        }
        int running = 0;
        CURLMcode code = curl_multi_perform(multi.get(), &running);
        CollectDone();
        if (code == CURLM_OK && !done && !ready())
            code = curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
        if (code != CURLM_OK) {
            done = true;
            result = CURLE_RECV_ERROR;
            lastError = curl_multi_strerror(code);
        }
    }
}

void HttpClient::Transfer::CollectDone() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        done = true;
        result = message->data.result;
    }
}

void HttpClient::Transfer::Fail(CURLcode code) {
    if (!lastError.empty())
        return;
    lastError = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
}

std::size_t HttpClient::Transfer::TakePending(char* out, std::size_t n) {
    const std::size_t count = std::min(n, PendingSize());
    if (count == 0)
        return 0;
    std::memcpy(out, pending.data() + pendingHead, count);
    pendingHead += count;
    if (pendingHead == pending.size()) {
        pending.clear();
        pendingHead = 0;
    }
    return count;
}

void HttpClient::Transfer::KeepPending(const char* data, std::size_t n) {
    if (pendingHead > 0 && pending.size() + n > pending.capacity()) {
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(pendingHead));
        pendingHead = 0;
    }
    pending.insert(pending.end(), data, data + n);
}

void HttpClient::Transfer::OnHeaderLine(std::string_view line) {
    if (line.starts_with("HTTP/")) {
        const std::size_t space = line.find(' ');
        blockStatus = space == std::string_view::npos ? 0 : std::atoi(line.data() + space + 1);
        blockHasLocation = false;
        blockHeaders.clear();
    } else if (line == "\r\n" || line == "\n") {
        // curl follows a 3xx with a Location or fails the transfer when past the limit; should it
        // keep one as the reply after all, its body or its end still ends the wait.
        const bool interim = blockStatus / 100 == 1;
        const bool followed = blockStatus / 100 == 3 && blockHasLocation;
        if (!interim && !followed)
            headersDone = true;
    } else {
        blockHasLocation = blockHasLocation || StartsWithNoCase(line, "location:");
        blockHeaders.append(line);
    }
}

std::size_t HttpClient::Transfer::OnBody(char* data, std::size_t size) {
    headersDone = true;
    if (discarding)
        return size;
    std::size_t used = std::min(size, destLeft);
    if (used > 0) {
        std::memcpy(dest, data, used);
        dest += used;
        destLeft -= used;
    }
    if (used == size)
        return size;
    // Pausing hands the whole block back to curl, so only a block not begun may be refused.
    if (used == 0) {
        paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    KeepPending(data + used, size - used);
    return size;
}

HttpClient::HttpClient(std::string userAgent) {
    InitCurlOnce();
    m_transfer = std::make_unique<Transfer>(std::move(userAgent));
}

HttpClient::~HttpClient() = default;

bool HttpClient::Get(const std::string& url, const std::vector<std::string>& headers) {
    Transfer& t = *m_transfer;
    t.Detach();
    t.Reset();
    if (!t.multi || !t.easy) {
        t.lastError = "the internet client could not be set up";
        return false;
    }
    if (!AreSendableHeaders(headers)) {
        t.lastError = "a request header holds a line break";
        return false;
    }
    if (!t.SetHeaders(headers)) {
        t.lastError = "the request headers could not be set up";
        return false;
    }
    const std::string encoded = EncodeUrlPath(url);
    curl_easy_setopt(t.easy.get(), CURLOPT_URL, encoded.c_str());
    if (curl_multi_add_handle(t.multi.get(), t.easy.get()) != CURLM_OK) {
        t.lastError = "the request could not be started";
        return false;
    }
    t.attached = true;
    t.RunUntil([&t] { return t.headersDone; });
    if (!t.headersDone && t.result != CURLE_OK) {
        t.Fail(t.result);
        t.Detach();
        return false;
    }
    long code = 0;
    curl_easy_getinfo(t.easy.get(), CURLINFO_RESPONSE_CODE, &code);
    t.status = static_cast<int>(code);
    curl_off_t length = -1;
    curl_easy_getinfo(t.easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length >= 0)
        t.contentLength = static_cast<std::uint64_t>(length);
    return true;
}

std::optional<std::string> HttpClient::Header(std::string_view name) const {
    return FindHeaderValue(m_transfer->blockHeaders, name);
}

int HttpClient::Status() const {
    return m_transfer->status;
}

std::optional<std::uint64_t> HttpClient::ContentLength() const {
    return m_transfer->contentLength;
}

long HttpClient::Read(void* buffer, std::size_t n) {
    Transfer& t = *m_transfer;
    if (!t.attached) {
        if (t.lastError.empty())
            t.lastError = "no reply to read";
        return -1;
    }
    n = std::min<std::size_t>(n, LONG_MAX);
    char* out = static_cast<char*>(buffer);
    std::size_t got = t.TakePending(out, n);
    if (got < n && !t.done) {
        t.dest = out + got;
        t.destLeft = n - got;
        if (t.paused) {
            t.paused = false;
            curl_easy_pause(t.easy.get(), CURLPAUSE_CONT);
        }
        t.RunUntil([&t] { return t.destLeft == 0; });
        got = n - t.destLeft;
        t.dest = nullptr;
        t.destLeft = 0;
    }
    if (got > 0)
        return static_cast<long>(got);
    if (t.done && t.result != CURLE_OK) {
        t.Fail(t.result);
        return -1;
    }
    return 0;
}

void HttpClient::Close() {
    m_transfer->Detach();
}

void HttpClient::Cancel() {
    m_transfer->cancelled = true;
    curl_multi_wakeup(m_transfer->multi.get());
}

const std::string& HttpClient::LastError() const {
    return m_transfer->lastError;
}

}  // namespace platform
