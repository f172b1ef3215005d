// Decodes arbitrary bytes as a received message body shaped like the launcher-server replies,
// with a few more field types: no read may go past the body, and whatever decodes cleanly must
// survive a write and a second read unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "corelib/message.h"
#include "protocol/server_records.h"

namespace {

struct Body {
    int32_t id = 0;
    int16_t state = 0;
    bool ready = false;
    std::vector<protocol::GameRecord> games;
    std::vector<protocol::ServerGroup> groups;
    std::string trailer;
    bool operator==(const Body&) const = default;
};

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// Each field in turn, checking the cursor after each.
void Transfer(corelib::message& m, Body& body) {
    const auto field = [&m](auto& value) {
        corelib::transfer(m, value);
        Check(m.position() <= m.size());
    };
    field(body.id);
    field(body.state);
    field(body.ready);
    field(body.games);
    field(body.groups);
    field(body.trailer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x10000)
        return 0;  // no frame carries more
    // A copy of exactly the body, so the sanitizer sees any read past it.
    std::vector<uint8_t> bytes(data, data + size);
    auto in = corelib::message::incoming(bytes.data(), static_cast<uint32_t>(size), 1);
    Body body;
    Transfer(in, body);
    if (in.malformed()) {
        Check(body.trailer.empty());  // the last field is either the bad one or after it
        return 0;
    }

    corelib::message out(128);
    Body copy = body;
    Transfer(out, copy);
    Check(!out.malformed());
    auto again = corelib::message::incoming(out.buffer(), out.position(), 1);
    Body reread;
    Transfer(again, reread);
    Check(!again.malformed() && reread == body && again.position() == out.position());
    return 0;
}
