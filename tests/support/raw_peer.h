#pragma once
// The far end of a loopback TCP connection for tests: listens on 127.0.0.1 with a port of the
// system's choice, accepts, writes raw bytes and reads what arrives. One test thread drives it;
// write() may also run on a helper thread while the test reads elsewhere.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace quend::test {

class RawPeer final {
public:
    RawPeer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listen, 8) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on loopback");
        }
        m_port = ntohs(address.sin_port);
    }
    ~RawPeer() {
        close();
        ::close(m_listen);
    }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

    // True when a connection is waiting to be accepted within `timeout`.
    bool pending(std::chrono::milliseconds timeout) const {
        pollfd p{m_listen, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(timeout.count())) == 1;
    }

    // Accepts one connection; false when none came within `timeout`.
    bool accept(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        if (!pending(timeout))
            return false;
        close();
        m_conn = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        return m_conn >= 0;
    }

    void write(const std::vector<uint8_t>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::send(m_conn, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                throw std::runtime_error("peer write failed");
            done += static_cast<size_t>(n);
        }
    }

    // Reads exactly `n` bytes, or fewer when the connection ends or `timeout` passes.
    std::vector<uint8_t> read(size_t n,
                              std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        std::vector<uint8_t> bytes(n);
        size_t done = 0;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (done < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{m_conn, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1)
                break;
            const ssize_t got = ::recv(m_conn, bytes.data() + done, n - done, 0);
            if (got <= 0)
                break;
            done += static_cast<size_t>(got);
        }
        bytes.resize(done);
        return bytes;
    }

    // True when the other side closed (or shut down) its end within `timeout` without sending
    // another byte first.
    bool closedByOther(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        pollfd p{m_conn, POLLIN, 0};
        uint8_t byte;
        return ::poll(&p, 1, static_cast<int>(timeout.count())) == 1 &&
               ::recv(m_conn, &byte, 1, 0) <= 0;
    }

    void close() {
        if (m_conn >= 0)
            ::close(m_conn);
        m_conn = -1;
    }

private:
    int m_listen = -1;
    int m_conn = -1;
    uint16_t m_port = 0;
};

}  // namespace quend::test
