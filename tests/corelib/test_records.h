#pragma once
// Small records shaped like the server lists, and builders of hand-written bodies, for the codec
// tests.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "corelib/message.h"

namespace corelib_test {

using Bytes = std::vector<uint8_t>;

// An int32 as it lies in a body: little-endian.
inline Bytes le32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
            static_cast<uint8_t>(u >> 24)};
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

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
    transfer(transfer(ar, e.addresses), e.enabled);
    return transfer(transfer(ar, e.load), e.label);
}

// Wraps hand-written body bytes as a received message.
struct Received {
    explicit Received(Bytes body)
        : bytes(std::move(body)),
          msg(corelib::message::incoming(bytes.data(), static_cast<uint32_t>(bytes.size()), 1)) {}
    Bytes bytes;
    corelib::message msg;
};

}  // namespace corelib_test
