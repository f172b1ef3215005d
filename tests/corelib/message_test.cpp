// The message buffer against hand-written bytes, and bodies that lie about their lengths.

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <tuple>
#include <vector>

#include "corelib/message.h"
#include "support/wire_bytes.h"

using corelib::message;
using corelib::transfer;
using quend::test::WireBytes;
using Bytes = std::vector<uint8_t>;

namespace {

struct Address {
    uint32_t address = 0;
    uint16_t port = 0;
    static constexpr uint32_t wire_min_size = 6;
    bool operator==(const Address&) const = default;
};

corelib::archive& transfer(corelib::archive& ar, Address& a) {
    return transfer(transfer(ar, a.address), a.port);
}

Bytes body_of(const message& m, uint32_t n) {
    return Bytes(m.buffer(), m.buffer() + n);
}

// Every field type; a tuple moves field by field in order.
using AllTypes =
    std::tuple<int32_t, uint32_t, int16_t, uint16_t, uint8_t, bool, std::string, std::string,
               std::vector<uint16_t>, std::list<std::string>, std::vector<int32_t>>;

template <class... T>
corelib::archive& transfer(corelib::archive& ar, std::tuple<T...>& fields) {
    std::apply([&ar](auto&... field) { (transfer(ar, field), ...); }, fields);
    return ar;
}

const AllTypes kValue = {-2,    0x12345678, -32768,   0xABCD,      0x7F, true,
                         "abc", "",         {1, 256}, {"q", "rs"}, {}};
// Stale contents that a read must replace field by field.
const AllTypes kStale = {0, 0, 0, 0, 0, false, "", "x", {}, {"stale"}, {1, 2, 3}};

// kValue written out by hand.
Bytes AllTypesWire() {
    WireBytes w;
    w.i32(-2).i32(0x12345678).u16(0x8000).u16(0xABCD).u8(0x7F).u8(1).str("abc").str("");
    return w.i32(2).u16(1).u16(256).i32(2).str("q").str("rs").i32(0).bytes;
}

// An id-only request sends the whole 256-byte buffer, the id little-endian first; the buffer
// grows only when a write passes its end, and writing is never refused.
TEST(MessageBuffer, OutgoingSizeRoundsUpTo256AndGrowsOnlyPastTheEnd) {
    for (const auto& [reserve, size] : {std::pair{0u, 256u}, {255u, 256u}, {256u, 512u}})
        EXPECT_EQ(message(reserve).size(), size) << "reserve " << reserve;

    message m(128);
    int32_t id = 0x0403021E;
    transfer(m, id);
    EXPECT_EQ(body_of(m, m.size()), WireBytes().i32(id).fill(252, 0).bytes);
    std::string filler(248, 'f');  // its length word and bytes end the body at 256
    transfer(m, filler);
    EXPECT_EQ(m.size(), 256u) << "a write ending exactly at size must not grow";
    uint8_t last = 0xAA;
    transfer(m, last);
    EXPECT_EQ(body_of(m, m.size()), WireBytes().i32(id).str(filler).u8(last).fill(255, 0).bytes);

    std::string big(5000, 'z');  // longer than any reader accepts, still written
    transfer(m, big);
    EXPECT_EQ(m.size(), 5376u);  // 257 + 4 + 5000 = 5261, in one step
}

// Decodes `body` into `target`, which the message must accept.
template <class T>
T Decoded(const Bytes& body, T target) {
    message in = message::incoming(body.data(), static_cast<uint32_t>(body.size()), 1);
    transfer(in, target);
    EXPECT_FALSE(in.malformed());
    return target;
}

TEST(MessageEncoding, EveryTypeMatchesTheHandWrittenBytesBothWays) {
    message out(0);
    AllTypes value = kValue;
    transfer(out, value);
    EXPECT_EQ(body_of(out, out.position()), AllTypesWire());
    EXPECT_EQ(Decoded(AllTypesWire(), kStale), kValue);

    // Legal: a string cut by a zero byte (the cursor passes it all), bools 2 and 0, count -1.
    const Bytes odd = {5, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 7, 0, 0, 0, 2, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(
        Decoded(odd, std::tuple{std::string(), 0, false, true, std::vector<int32_t>{1, 2, 3}}),
        std::tuple(std::string("ab"), 7, true, false, std::vector<int32_t>()));
}

// Decodes `body` into a target holding stale contents: the message must be refused with the
// cursor at most `max_position`, the target emptied, and every later read must take nothing.
template <class T>
void ExpectRefused(const char* what, const Bytes& body, T target, uint32_t max_position) {
    SCOPED_TRACE(what);
    message in = message::incoming(body.data(), static_cast<uint32_t>(body.size()), 1);
    transfer(in, target);
    EXPECT_TRUE(in.malformed());
    EXPECT_EQ(target, T{});
    const uint32_t stopped_at = in.position();
    EXPECT_LE(stopped_at, max_position);
    AllTypes after = kStale;
    transfer(in, after);
    EXPECT_EQ(after, AllTypes{});
    EXPECT_EQ(in.position(), stopped_at);
}

TEST(MalformedMessage, EachWayOfLyingIsRefusedForGoodButNotTheLimits) {
    const std::string old = "old";
    const auto w = [] { return WireBytes(); };
    ExpectRefused("int32 over three bytes", {0x01, 0x02, 0x03}, int32_t{99}, 0);
    ExpectRefused("byte of an empty body", {}, uint8_t{5}, 0);
    ExpectRefused("string length 4096", w().i32(4096).fill(4096, 'a').bytes, old, 4);
    ExpectRefused("string length -1", w().i32(-1).fill(16, 'a').bytes, old, 4);
    ExpectRefused("string longer than the body", w().i32(10).fill(3, 'a').bytes, old, 4);
    ExpectRefused("count INT32_MAX", w().i32(INT32_MAX).i32(1).i32(2).bytes, Bytes{1}, 4);
    ExpectRefused("two 6-byte addresses in 11 bytes", w().i32(2).fill(11, 0).bytes,
                  std::vector<Address>(1), 4);
    ExpectRefused("second item cut", w().i32(2).str("a").i32(5).fill(1, 'b').bytes,
                  std::vector<std::string>(4), 13);
    // The limits themselves are accepted.
    EXPECT_EQ(Decoded(WireBytes().i32(4095).fill(4095, 'b').bytes, std::string()),
              std::string(4095, 'b'));
    EXPECT_EQ(Decoded(WireBytes().i32(2).fill(12, 0).bytes, std::vector<Address>()),
              std::vector<Address>(2));
}

}  // namespace
