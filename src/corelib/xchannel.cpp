#include "corelib/xchannel.h"

#include <algorithm>
#include <cstring>

#include "corelib/xtrace.h"

namespace corelib {

namespace {

constexpr size_t kLongHeader = 8;
constexpr size_t kShortHeader = 4;

uint32_t get_be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

void put_be32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

}  // namespace

xchannel::xchannel() : m_buffer(std::make_unique<uint8_t[]>(buffer_size)) {}

xchannel::~xchannel() = default;

void xchannel::on_connected() {
    m_read_pos = 0;
    m_write_pos = 0;
    m_short_header = false;
}

bool xchannel::on_message(message&) {
    return false;
}

bool xchannel::wait_readable() {
    return true;
}

bool xchannel::send_message(const message& m) {
    std::lock_guard lock(m_send_mutex);
    const uint32_t size = m.size();
    // A body under 2 bytes would read as a long header's version word on the other side.
    if (m_short_header && size >= 2) {
        uint8_t header[kShortHeader];
        put_be32(header, size);
        const long sent = send_all(header, sizeof header);
        if (sent < 0)
            return false;
        report_send(sent);
    } else {
        uint8_t header[kLongHeader];
        put_be32(header, m.version);
        put_be32(header + 4, size);
        if (send_all(header, sizeof header) < 0)
            return false;
    }
    const long sent = send_all(m.buffer(), size);
    if (sent < 0)
        return false;
    report_send(sent);
    return true;
}

// A short send is completed by further calls, so a frame is never cut on the wire.
long xchannel::send_all(const uint8_t* data, size_t n) {
    size_t done = 0;
    while (done < n) {
        const long sent = m_socket.send(data + done, n - done);
        if (sent < 0)
            return -1;
        done += static_cast<size_t>(sent);
    }
    return static_cast<long>(done);
}

bool xchannel::receive() {
    if (!read_more())
        return false;
    while (m_read_pos < m_write_pos) {
        frame f;
        const frame_state state = parse_frame(f);
        if (state == frame_state::oversize)
            return false;
        if (state == frame_state::incomplete) {
            if (!read_more())
                return false;
            continue;
        }
        message m = message::incoming(m_buffer.get() + m_read_pos + f.header, f.length, f.version);
        if (!on_message(m) || m.malformed())
            return false;
        m_read_pos += f.header + f.length;
    }
    m_read_pos = 0;
    m_write_pos = 0;
    return true;
}

xchannel::frame_state xchannel::parse_frame(frame& f) {
    const size_t available = m_write_pos - m_read_pos;
    const uint8_t* start = m_buffer.get() + m_read_pos;
    if (available < kShortHeader)
        return frame_state::incomplete;
    const uint32_t first = get_be32(start);
    const bool long_form = first <= message_version;
    m_short_header = !long_form;
    if (long_form) {
        if (available < kLongHeader)
            return frame_state::incomplete;
        f = {kLongHeader, first, get_be32(start + 4)};
    } else {
        f = {kShortHeader, 1, first};
    }
    if (f.length > max_body_size)
        return frame_state::oversize;
    return available < f.header + f.length ? frame_state::incomplete : frame_state::complete;
}

// Whatever is unread here is one incomplete frame, at most 8 + 65536 bytes, so after moving it to
// the buffer start when it sits past read_size there is always room, and a read never asks for
// more than the space left behind write_pos.
bool xchannel::read_more() {
    if (m_write_pos > read_size && m_read_pos > 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_read_pos, m_write_pos - m_read_pos);
        m_write_pos -= m_read_pos;
        m_read_pos = 0;
    }
    const size_t room = std::min(read_size, buffer_size - m_write_pos);
    if (room == 0 || !wait_readable())
        return false;
    const long got = m_socket.recv(m_buffer.get() + m_write_pos, room);
    if (got < 1)
        return false;
    m_write_pos += static_cast<size_t>(got);
    return true;
}

}  // namespace corelib
