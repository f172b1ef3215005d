#pragma once
// The far end of a loopback TCP connection for tests: listens on 127.0.0.1 with a port of the
// system's choice, accepts, writes raw bytes and reads what arrives. One test thread drives it;
// write() may also run on a helper thread while the test reads elsewhere.

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "corelib/xnetwork.h"
#include "corelib/xsocket.h"

namespace quend::test {

#if defined(_WIN32)
using PeerHandle = SOCKET;
constexpr PeerHandle kNoPeerHandle = INVALID_SOCKET;
inline void closePeerHandle(PeerHandle handle) {
    ::closesocket(handle);
}
inline bool peerReadable(PeerHandle handle, std::chrono::milliseconds timeout) {
    WSAPOLLFD p{handle, POLLRDNORM, 0};
    return ::WSAPoll(&p, 1, static_cast<int>(timeout.count())) == 1;
}
constexpr int kNoSignal = 0;
inline PeerHandle newPeerSocket() {
    return ::socket(AF_INET, SOCK_STREAM, 0);
}
inline PeerHandle acceptPeer(PeerHandle listen) {
    return ::accept(listen, nullptr, nullptr);
}
#else
using PeerHandle = int;
constexpr PeerHandle kNoPeerHandle = -1;
inline void closePeerHandle(PeerHandle handle) {
    ::close(handle);
}
inline bool peerReadable(PeerHandle handle, std::chrono::milliseconds timeout) {
    pollfd p{handle, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(timeout.count())) == 1;
}
constexpr int kNoSignal = MSG_NOSIGNAL;
// Not inherited by the programs a test starts.
inline PeerHandle newPeerSocket() {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
inline PeerHandle acceptPeer(PeerHandle listen) {
    return ::accept4(listen, nullptr, nullptr, SOCK_CLOEXEC);
}
#endif

// The loopback address with `port`, as a client connects to a peer.
inline sockaddr_in loopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

class RawPeer final {
public:
    RawPeer() {
        m_listen = newPeerSocket();
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listen == kNoPeerHandle ||
            ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listen, 8) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on loopback");
        }
        m_port = ntohs(address.sin_port);
    }
    ~RawPeer() {
        close();
        closePeerHandle(m_listen);
    }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

    // True when a connection is waiting to be accepted within `timeout`.
    bool pending(std::chrono::milliseconds timeout) const {
        return peerReadable(m_listen, timeout);
    }

    // Accepts one connection; false when none came within `timeout`.
    bool accept(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        if (!pending(timeout))
            return false;
        close();
        m_conn = acceptPeer(m_listen);
        return m_conn != kNoPeerHandle;
    }

    void write(const std::vector<uint8_t>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const auto n = ::send(m_conn, reinterpret_cast<const char*>(bytes.data()) + done,
                                  static_cast<int>(bytes.size() - done), kNoSignal);
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
            if (left.count() <= 0 || !peerReadable(m_conn, left))
                break;
            const auto got = ::recv(m_conn, reinterpret_cast<char*>(bytes.data()) + done,
                                    static_cast<int>(n - done), 0);
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
        char byte;
        return peerReadable(m_conn, timeout) && ::recv(m_conn, &byte, 1, 0) <= 0;
    }

    void close() {
        if (m_conn != kNoPeerHandle)
            closePeerHandle(m_conn);
        m_conn = kNoPeerHandle;
    }

private:
    corelib::xnetwork m_network;  // outlives the sockets
    PeerHandle m_listen = kNoPeerHandle;
    PeerHandle m_conn = kNoPeerHandle;
    uint16_t m_port = 0;
};

}  // namespace quend::test
