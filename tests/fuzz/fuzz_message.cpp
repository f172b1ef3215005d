// Decodes arbitrary bytes as a received message body shaped like a server list: no read may go
// past the body, and whatever decodes cleanly must survive a write and a second read unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "corelib/message.h"

namespace {

struct Point {
    uint32_t address = 0;
    uint16_t port = 0;
    static constexpr uint32_t wire_min_size = 6;
    bool operator==(const Point&) const = default;
};

corelib::archive& transfer(corelib::archive& ar, Point& p) {
    return transfer(transfer(ar, p.address), p.port);
}

struct Item {
    std::string name;
    std::string key;
    int32_t version = 0;
    int16_t state = 0;
    uint8_t flag = 0;
    bool ready = false;
    std::vector<Point> points;
    std::string note;
    bool operator==(const Item&) const = default;
};

corelib::archive& transfer(corelib::archive& ar, Item& item) {
    transfer(transfer(ar, item.name), item.key);
    transfer(transfer(transfer(ar, item.version), item.state), item.flag);
    transfer(transfer(ar, item.ready), item.points);
    return transfer(ar, item.note);
}

struct Body {
    int32_t id = 0;
    std::vector<Item> items;
    std::string trailer;
    bool operator==(const Body&) const = default;
};

void check(bool condition) {
    if (!condition)
        std::abort();
}

// Reads field by field, checking the cursor after each.
Body decode(corelib::message& m) {
    Body body;
    transfer(m, body.id);
    check(m.position() <= m.size());
    transfer(m, body.items);
    check(m.position() <= m.size());
    transfer(m, body.trailer);
    check(m.position() <= m.size());
    return body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x10000)
        return 0;  // no frame carries more
    // A copy of exactly the body, so the sanitizer sees any read past it.
    std::vector<uint8_t> bytes(data, data + size);
    auto in = corelib::message::incoming(bytes.data(), static_cast<uint32_t>(size), 1);
    Body body = decode(in);
    if (in.malformed()) {
        check(body.trailer.empty());  // the last field is either the bad one or after it
        return 0;
    }

    corelib::message out(128);
    Body copy = body;
    transfer(transfer(transfer(out, copy.id), copy.items), copy.trailer);
    check(!out.malformed() && out.position() <= out.size());
    auto again = corelib::message::incoming(out.buffer(), out.position(), 1);
    Body reread = decode(again);
    check(!again.malformed() && reread == body && again.position() == out.position());
    return 0;
}
