#include "devserver/update_server.h"

#include <fcntl.h>
#include <httplib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "platform/url_encoding.h"

namespace devserver {

namespace {

constexpr std::size_t kBlockSize = 256 * 1024;
constexpr std::size_t kKeepAliveRequests = 100;

// One served file, read block by block at the offsets the connection asks for, with the faults
// that were set when its request came in.
class FileBody final {
public:
    static std::shared_ptr<FileBody> Open(const std::filesystem::path& path,
                                          const CUpdateServer::Faults& faults) {
        // Non-blocking, so that a pipe in the folder cannot hang the open; files ignore it.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return nullptr;
        auto body = std::make_shared<FileBody>(fd, faults);
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
            return nullptr;
        body->m_size = static_cast<std::uint64_t>(info.st_size);
        return body;
    }

    FileBody(int fd, const CUpdateServer::Faults& faults) : m_fd(fd), m_faults(faults) {}
    ~FileBody() { ::close(m_fd); }
    FileBody(const FileBody&) = delete;
    FileBody& operator=(const FileBody&) = delete;

    std::uint64_t Size() const { return m_size; }

    // False ends the reply early, which makes the server close the connection. The block asked
    // for ends at the announced length; with a shortfall the rest of the file follows anyway.
    bool Write(std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        const std::uint64_t end = std::min(m_size, m_faults.cutAfter.value_or(m_size));
        if (m_faults.lengthShortfall > 0)
            length = static_cast<std::size_t>(end - std::min<std::uint64_t>(offset, end));
        while (length > 0) {
            if (m_faults.blockDelay.count() > 0)
                std::this_thread::sleep_for(m_faults.blockDelay);
            if (offset >= end)
                return false;
            const std::size_t want = static_cast<std::size_t>(
                std::min<std::uint64_t>({kBlockSize, length, end - offset}));
            if (m_block.size() < want)
                m_block.resize(kBlockSize);
            const ssize_t got = ::pread(m_fd, m_block.data(), want, static_cast<off_t>(offset));
            if (got <= 0)
                return false;
            if (m_faults.corrupt)
                std::for_each(m_block.begin(), m_block.begin() + got, [](char& c) { c = ~c; });
            if (!sink.write(m_block.data(), static_cast<std::size_t>(got)))
                return false;
            offset += static_cast<std::size_t>(got);
            length -= static_cast<std::size_t>(got);
            if (m_faults.lengthShortfall == 0)
                return true;  // the library asks again for what is left
        }
        return true;
    }

private:
    int m_fd;
    CUpdateServer::Faults m_faults;
    std::uint64_t m_size = 0;
    std::vector<char> m_block;
};

// "ADDRESS:PORT "GET TARGET" STATUS LENGTH "AGENT"", and the Range asked for, if any.
std::string LogLine(const httplib::Request& request, int status, std::uint64_t length) {
    std::string line = request.remote_addr + ":" + std::to_string(request.remote_port) + " \"" +
                       request.method + " " + request.target + "\" " + std::to_string(status) +
                       " " + std::to_string(length) + " \"" +
                       request.get_header_value("User-Agent") + "\"";
    if (request.has_header("Range"))
        line += " \"" + request.get_header_value("Range") + "\"";
    return line;
}

// The one range a request asks for, as offset and length within a file of `size` bytes; empty
// when it asks for none or for several (then the whole file goes out).
std::optional<std::pair<std::uint64_t, std::uint64_t>> SingleRange(const httplib::Request& request,
                                                                   std::uint64_t size) {
    if (request.ranges.size() != 1)
        return std::nullopt;
    const auto [first, last] = request.ranges.front();
    if (first < 0) {  // the last `last` bytes
        const std::uint64_t length =
            std::min<std::uint64_t>(static_cast<std::uint64_t>(last), size);
        return std::pair{size - length, length};
    }
    const auto offset = static_cast<std::uint64_t>(first);
    if (offset >= size)
        return std::pair{size, std::uint64_t{0}};
    const std::uint64_t end =
        last < 0 ? size : std::min<std::uint64_t>(static_cast<std::uint64_t>(last) + 1, size);
    return std::pair{offset, end > offset ? end - offset : 0};
}

}  // namespace

CUpdateServer::CUpdateServer(std::filesystem::path root, Logger logger)
    : m_root(std::move(root)),
      m_logger(std::move(logger)),
      m_http([this](const httplib::Request& request, httplib::Response& response) {
          Serve(request, response);
      }) {}

bool CUpdateServer::Start(std::uint16_t port, const std::string& host) {
    return m_http.Start(port, host, [](httplib::Server& server) {
        server.set_keep_alive_max_count(kKeepAliveRequests);
        // Headers and body go out in separate writes: with Nagle on, the body of every small
        // file waits for the client's delayed acknowledgement of the headers (40 ms on Linux).
        server.set_tcp_nodelay(true);
    });
}

void CUpdateServer::Stop() {
    m_http.Stop();
}

void CUpdateServer::SetFaults(const Faults& faults) {
    std::lock_guard lock(m_faultMutex);
    m_faults = faults;
}

CUpdateServer::Faults CUpdateServer::GetFaults() const {
    std::lock_guard lock(m_faultMutex);
    return m_faults;
}

std::optional<std::filesystem::path> CUpdateServer::MapTarget(const std::filesystem::path& root,
                                                              std::string_view target) {
    target = target.substr(0, target.find_first_of("?#"));
    if (!target.starts_with('/'))
        return std::nullopt;
    const std::string path = platform::PercentDecode(target);
    if (path.find('\0') != std::string::npos)
        return std::nullopt;

    std::filesystem::path mapped = root;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string_view step(path.data() + start, end - start);
        if (step == "..")
            return std::nullopt;
        if (!step.empty() && step != ".")
            mapped /= step;
        start = end + 1;
    }
    return mapped;
}

void CUpdateServer::Serve(const httplib::Request& request, httplib::Response& response) {
    const Faults faults = GetFaults();
    if (faults.status != 0) {
        response.status = faults.status;
        response.set_content("Fault\n", "text/plain");
        Log(LogLine(request, response.status, response.body.size()));
        return;
    }
    const auto path = MapTarget(m_root, request.target);
    const auto body = path ? FileBody::Open(*path, faults) : nullptr;
    if (!body) {
        response.status = 404;
        response.set_content("Not Found\n", "text/plain");
        Log(LogLine(request, response.status, response.body.size()));
        return;
    }
    // The library cuts the body to the request's ranges on its own; a reply that does not
    // honour them must clear them. The request object is the library's own, not a constant.
    auto& ranges = const_cast<httplib::Request&>(request).ranges;
    const bool lengthFault = faults.lengthSurplus > 0 || faults.lengthShortfall > 0;
    const auto range =
        faults.ignoreRange || lengthFault ? std::nullopt : SingleRange(request, body->Size());
    if (!range || range->second == 0)
        ranges.clear();
    if (range && range->second == 0) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(body->Size()));
        Log(LogLine(request, response.status, 0));
        return;
    }
    const std::uint64_t announced =
        body->Size() + faults.lengthSurplus - std::min(faults.lengthShortfall, body->Size());
    response.status = range ? 206 : 200;
    if (announced == 0) {  // a provider of no length would go out without a Content-Length
        response.set_content("", "application/octet-stream");
    } else {
        response.set_content_provider(
            static_cast<std::size_t>(announced), "application/octet-stream",
            [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                return body->Write(offset, length, sink);
            });
    }
    Log(LogLine(request, response.status, range ? range->second : announced));
}

void CUpdateServer::Log(const std::string& line) {
    std::lock_guard lock(m_logMutex);
    if (m_logger)
        m_logger(line);
}

}  // namespace devserver
