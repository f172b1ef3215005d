#pragma once
// The update-server role of the development server: serves one folder by HTTP GET, a single
// Range ("bytes=N-", "bytes=N-M", "bytes=-N") with 206 and Content-Range, with faults that tests
// and demos switch on at run time. Start, Stop and Port belong to one controlling
// thread; SetFaults and GetFaults may be called from any thread while it serves.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "devserver/http_listener.h"

namespace devserver {

class CUpdateServer final {
public:
    // Taken for each request when it starts; a changed setting affects the requests after it.
    struct Faults {
        // Close the connection after this many body bytes.
        std::optional<std::uint64_t> cutAfter{};
        // Announce this many bytes more than the file holds, then close after the file.
        std::uint64_t lengthSurplus = 0;
        // Announce this many bytes fewer than the file holds, and send the whole file anyway.
        std::uint64_t lengthShortfall = 0;
        // Send other bytes of the file's length (each byte inverted).
        bool corrupt = false;
        // Answer every request with this status and no file (0: serve normally).
        int status = 0;
        // Pause before each body block.
        std::chrono::milliseconds blockDelay{0};
        // Answer a Range request with the whole file and 200, as servers without ranges do.
        bool ignoreRange = false;
    };

    // Receives one line per request, from the serving threads, one call at a time.
    using Logger = std::function<void(const std::string& line)>;

    explicit CUpdateServer(std::filesystem::path root, Logger logger = {});
    CUpdateServer(const CUpdateServer&) = delete;
    CUpdateServer& operator=(const CUpdateServer&) = delete;

    // Binds `host`:`port` (0: any free port) and serves on a thread of its own until Stop.
    // False when the address cannot be bound or the server already ran.
    bool Start(std::uint16_t port = 0, const std::string& host = "127.0.0.1");
    // The bound port; 0 before Start.
    std::uint16_t Port() const { return m_http.Port(); }
    void Stop();

    void SetFaults(const Faults& faults);
    Faults GetFaults() const;

    // The file a request target names under `root`, or empty when the target is not a plain
    // path below it (a ".." step, a NUL byte, not starting with "/").
    static std::optional<std::filesystem::path> MapTarget(const std::filesystem::path& root,
                                                          std::string_view target);

private:
    void Serve(const httplib::Request& request, httplib::Response& response);
    void Log(const std::string& line);

    std::filesystem::path m_root;
    Logger m_logger;
    std::mutex m_logMutex;
    mutable std::mutex m_faultMutex;
    Faults m_faults;
    CHttpListener m_http;  // last: stopped first, while the state its requests use still exists
};

}  // namespace devserver
