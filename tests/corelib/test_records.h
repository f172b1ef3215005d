#pragma once
// Small records shaped like the server lists, for the codec tests.

#include <cstdint>
#include <string>
#include <vector>

#include "corelib/message.h"

namespace corelib_test {

struct Address {
    uint32_t address = 0;
    uint16_t port = 0;
    static constexpr uint32_t wire_min_size = 6;
    bool operator==(const Address&) const = default;
};

inline corelib::archive& transfer(corelib::archive& ar, Address& a) {
    return transfer(transfer(ar, a.address), a.port);
}

struct Entry {
    std::vector<Address> addresses;
    uint8_t enabled = 0;
    int32_t load = 0;
    std::string label;
    bool operator==(const Entry&) const = default;
};

inline corelib::archive& transfer(corelib::archive& ar, Entry& e) {
    transfer(ar, e.addresses);
    transfer(ar, e.enabled);
    transfer(ar, e.load);
    return transfer(ar, e.label);
}

// Wraps hand-written body bytes as a received message.
struct Received {
    explicit Received(std::vector<uint8_t> body)
        : bytes(std::move(body)),
          msg(corelib::message::incoming(bytes.data(), static_cast<uint32_t>(bytes.size()), 1)) {}
    std::vector<uint8_t> bytes;
    corelib::message msg;
};

}  // namespace corelib_test
