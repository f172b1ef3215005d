// The message buffer and the field encodings against bytes written out by hand, and received
// bodies that lie about their own lengths: decoding refuses them without reading past the body
// or the string scratch area, and the message stays refused.

#include <gtest/gtest.h>

#include <climits>
#include <list>
#include <string>
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

struct Received {
    explicit Received(Bytes body)
        : bytes(std::move(body)),
          msg(message::incoming(bytes.data(), static_cast<uint32_t>(bytes.size()), 1)) {}
    Bytes bytes;
    message msg;
};

Bytes body_of(const message& m, uint32_t n) {
    return Bytes(m.buffer(), m.buffer() + n);
}

struct AllTypes {
    int32_t i32 = -2;
    uint32_t u32 = 0x12345678;
    int16_t i16 = -32768;
    uint16_t u16 = 0xABCD;
    uint8_t byte = 0x7F;
    bool flag = true;
    std::string text = "abc";
    std::string empty;
    std::vector<uint16_t> numbers = {1, 256};
    std::list<std::string> names = {"q", "rs"};
    std::vector<int32_t> none;
    bool operator==(const AllTypes&) const = default;
};

corelib::archive& transfer(corelib::archive& ar, AllTypes& v) {
    transfer(transfer(transfer(transfer(ar, v.i32), v.u32), v.i16), v.u16);
    transfer(transfer(transfer(transfer(ar, v.byte), v.flag), v.text), v.empty);
    return transfer(transfer(transfer(ar, v.numbers), v.names), v.none);
}

// Stale contents that a read must replace field by field.
const AllTypes kStale = {0, 0, 0, 0, 0, false, "", "x", {}, {"stale"}, {1, 2, 3}};

const Bytes kAllTypesWire = {
    0xFE, 0xFF, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12,  // int32 -2, uint32 0x12345678
    0x00, 0x80, 0xCD, 0xAB, 0x7F, 0x01,              // int16 -32768, uint16 0xABCD, byte, true
    0x03, 0x00, 0x00, 0x00, 'a',  'b',  'c',         // "abc"
    0x00, 0x00, 0x00, 0x00,                          // ""
    0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01,  // {1, 256}
    0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // two names: "q"
    'q',  0x02, 0x00, 0x00, 0x00, 'r',  's',         // "rs"
    0x00, 0x00, 0x00, 0x00,                          // {}
};

TEST(MessageBuffer, OutgoingSizeRoundsUpAndGrowsOnlyPastTheEnd) {
    for (const auto& [reserve, size] : {std::pair{0u, 256u}, {255u, 256u}, {256u, 512u}}) {
        message m(reserve);
        EXPECT_EQ(body_of(m, m.size()), Bytes(size, 0)) << "reserve " << reserve;
    }

    // An id-only request sends the whole 256-byte buffer, the id little-endian first.
    message m(128);
    int32_t id = 0x0403021E;
    transfer(m, id);
    EXPECT_EQ(body_of(m, m.size()), WireBytes().i32(id).fill(252, 0).bytes);

    std::string filler(248, 'f');  // its length word and bytes end the body at 256
    transfer(m, filler);
    EXPECT_EQ(m.size(), 256u) << "a write ending exactly at size must not grow";
    const Bytes before = body_of(m, 256);
    uint8_t last = 0xAA;
    transfer(m, last);
    ASSERT_EQ(m.size(), 512u);
    EXPECT_EQ(body_of(m, 256), before) << "bytes lost in growth";
    EXPECT_EQ(m.buffer()[256], 0xAA);

    std::string big(700, 'z');
    transfer(m, big);
    EXPECT_EQ(m.size(), 1024u);  // 257 + 4 + 700 = 961, in one step
    EXPECT_TRUE(m.grow(100));
    EXPECT_EQ(m.size(), 1024u) << "grow never shrinks";
}

TEST(MessageEncoding, EveryTypeMatchesTheHandWrittenBytesBothWays) {
    message out(0);
    AllTypes value;
    transfer(out, value);
    EXPECT_EQ(body_of(out, out.position()), kAllTypesWire);

    Received in(kAllTypesWire);
    AllTypes back = kStale;
    transfer(in.msg, back);
    EXPECT_FALSE(in.msg.malformed());
    EXPECT_EQ(in.msg.position(), kAllTypesWire.size());
    EXPECT_EQ(back, value);

    // A string cut by a zero byte, bool bytes of 2 and 0, a negative count: all legal.
    Received odd({5, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 7, 0, 0, 0, 2, 0, 0xFF, 0xFF, 0xFF, 0xFF});
    std::string text;
    int32_t next = 0;
    bool flag = false, off = true;
    std::vector<int32_t> target = {1, 2, 3};
    transfer(transfer(transfer(transfer(transfer(odd.msg, text), next), flag), off), target);
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(next, 7) << "the cursor passes all of the string's bytes";
    EXPECT_TRUE(flag);
    EXPECT_FALSE(off);
    EXPECT_TRUE(target.empty());
    EXPECT_FALSE(odd.msg.malformed());
}

TEST(MessageEncoding, WithNeitherFlagOrOnAReceivedBodyTransfersChangeNothing) {
    message neither(0);
    neither.storing = false;
    AllTypes value = kStale;
    transfer(neither, value);
    EXPECT_EQ(value, kStale);
    EXPECT_EQ(neither.position(), 0u);
    EXPECT_EQ(body_of(neither, 8), Bytes(8, 0));

    // A received body is a view: never written, never grown, whatever its flags say.
    Bytes frame = {0x11, 0x22, 0x33, 0x44, 0x55};
    message view = message::incoming(frame.data(), 4, 7);
    EXPECT_EQ(view.version, 7u);
    EXPECT_FALSE(view.grow(1000));
    view.loading = false;
    view.storing = true;
    transfer(view, value);
    EXPECT_EQ(frame, (Bytes{0x11, 0x22, 0x33, 0x44, 0x55}));
}

// Decodes `body` into a target holding stale contents: the message must be refused with the
// cursor at most `max_position`, the target emptied, and every later read must take nothing.
template <class T>
void ExpectRefused(const char* what, const Bytes& body, T target, uint32_t max_position) {
    SCOPED_TRACE(what);
    Received in(body);
    transfer(in.msg, target);
    EXPECT_TRUE(in.msg.malformed());
    EXPECT_EQ(target, T{});
    const uint32_t stopped_at = in.msg.position();
    EXPECT_LE(stopped_at, max_position);

    int32_t number = 1;
    std::string text = "keep";
    std::vector<int32_t> seq = {5};
    transfer(transfer(transfer(in.msg, number), text), seq);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(seq.empty());
    EXPECT_EQ(in.msg.position(), stopped_at);
}

TEST(MalformedMessage, EachWayOfLyingIsRefusedForGood) {
    const std::string old = "old";
    const auto w = [] { return WireBytes(); };
    ExpectRefused("int32 over three bytes", {0x01, 0x02, 0x03}, int32_t{99}, 0);
    ExpectRefused("byte of an empty body", {}, uint8_t{5}, 0);
    ExpectRefused("string length 4096", w().i32(4096).fill(4096, 'a').bytes, old, 4);
    ExpectRefused("string length -1", w().i32(-1).fill(16, 'a').bytes, old, 4);
    ExpectRefused("most negative length", w().i32(INT32_MIN).fill(16, 'a').bytes, old, 4);
    ExpectRefused("string longer than the body", w().i32(10).fill(3, 'a').bytes, old, 4);
    ExpectRefused("string length cut short", {0x05, 0x00}, old, 4);
    ExpectRefused("count INT32_MAX", w().i32(INT32_MAX).i32(1).i32(2).bytes, Bytes{1}, 4);
    ExpectRefused("three uint32 in 8 bytes", w().i32(3).i32(1).i32(2).bytes, std::list<uint32_t>{7},
                  4);
    ExpectRefused("two 6-byte addresses in 11 bytes", w().i32(2).fill(11, 0).bytes,
                  std::vector<Address>(1), 4);
    ExpectRefused("second item cut", w().i32(2).str("a").i32(5).fill(1, 'b').bytes,
                  std::vector<std::string>(4), 13);
}

TEST(MalformedMessage, TheLimitsThemselvesAreAcceptedAndWritingIsNeverRefused) {
    Received text(WireBytes().i32(4095).fill(4095, 'b').bytes);
    std::string s;
    transfer(text.msg, s);
    EXPECT_FALSE(text.msg.malformed());
    EXPECT_EQ(s, std::string(4095, 'b'));

    Received exact(WireBytes().i32(2).fill(12, 0).bytes);
    std::vector<Address> addresses;
    transfer(exact.msg, addresses);
    EXPECT_FALSE(exact.msg.malformed());
    EXPECT_EQ(addresses.size(), 2u);

    message out(0);
    std::string huge(10000, 'h');  // longer than any reader accepts, still written
    transfer(out, huge);
    EXPECT_FALSE(out.malformed());
    EXPECT_EQ(out.position(), 10004u);
}

}  // namespace
