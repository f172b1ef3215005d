#pragma once
// A framed message stream over one TCP socket: cuts received bytes into frames (long header
// "version, length" or short header "length", big-endian) and hands each body to on_message;
// sends messages in the header form the peer used last. receive() belongs to one thread (the
// receive thread); send_message may be called from any thread, frames never interleave.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "corelib/message.h"
#include "corelib/xnetwork.h"
#include "corelib/xsocket.h"

namespace corelib {

class xchannel {
public:
    // Largest body a received frame may announce.
    static constexpr uint32_t max_body_size = 0x10000;
    static constexpr size_t buffer_size = 131072;
    // Most bytes one recv may ask for.
    static constexpr size_t read_size = 65536;

    virtual ~xchannel();
    xchannel(const xchannel&) = delete;
    xchannel& operator=(const xchannel&) = delete;

    // Sends the header and the message's `size` body bytes; false when a send failed.
    bool send_message(const message& m);

    // One read from the socket, then every frame it completes, reading on while a frame is
    // incomplete. False when the connection must be dropped: the peer closed or a read failed,
    // a frame announced more than max_body_size, or a message was refused or found malformed.
    bool receive();

    // Whether the peer's last frame had the short header; outgoing frames follow it.
    bool short_header() const { return m_short_header.load(); }
    void set_short_header(bool value) { m_short_header = value; }

    xsocket& socket() { return m_socket; }

protected:
    xchannel();

    // Called once the TCP connection is made: a fresh stream starts with an empty buffer.
    virtual void on_connected();
    // Handles one received message, a view valid only during the call. False drops the
    // connection; the base refuses everything.
    virtual bool on_message(message& m);
    // Called before each read from the socket; false gives the read up as a failed one. The base
    // waits in the read itself.
    virtual bool wait_readable();

private:
    enum class frame_state { complete, incomplete, oversize };
    struct frame {
        size_t header = 0;
        uint32_t version = 0;
        uint32_t length = 0;
    };

    frame_state parse_frame(frame& f);
    bool read_more();
    long send_all(const uint8_t* data, size_t n);

    xnetwork m_network;  // outlives the socket
    xsocket m_socket;
    std::atomic<bool> m_short_header{false};
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_read_pos = 0;   // first byte not yet consumed
    size_t m_write_pos = 0;  // behind the last byte received
    std::mutex m_send_mutex;
};

}  // namespace corelib
