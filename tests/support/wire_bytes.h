#pragma once
// Message bodies and frames written byte by byte from the field rules, independent of the
// program's own writer: integers little-endian, a string as its int32 length and its bytes, a
// sequence as its int32 count; frame headers big-endian. Single-threaded.

#include <cstdint>
#include <string_view>
#include <vector>

namespace quend::test {

class WireBytes final {
public:
    WireBytes& i32(int64_t value) { return le(static_cast<uint32_t>(value), 4); }
    WireBytes& u16(uint16_t value) { return le(value, 2); }
    WireBytes& u8(uint8_t value) { return le(value, 1); }
    WireBytes& str(std::string_view text) {
        i32(static_cast<int64_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    // An IPv4 address given octet by octet; the number travels little-endian, last octet first.
    WireBytes& ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
        bytes.insert(bytes.end(), {d, c, b, a});
        return *this;
    }
    WireBytes& fill(size_t n, uint8_t value) {
        bytes.insert(bytes.end(), n, value);
        return *this;
    }

    std::vector<uint8_t> bytes;

private:
    WireBytes& le(uint32_t value, int n) {
        for (int i = 0; i < n; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return *this;
    }
};

inline void appendBe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// Long header: version word, length word, then the body.
inline std::vector<uint8_t> longFrame(const std::vector<uint8_t>& body, uint32_t version = 1) {
    std::vector<uint8_t> out;
    appendBe32(out, version);
    appendBe32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// Short header: the length word alone (the body must be at least 2 bytes).
inline std::vector<uint8_t> shortFrame(const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out;
    appendBe32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace quend::test
