// The message buffer model and the field encodings, checked against bytes written out by hand.

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "corelib/message.h"
#include "test_records.h"

using corelib::message;
using corelib::transfer;
using namespace corelib_test;

namespace {

Bytes body_of(const message& m, uint32_t n) {
    return Bytes(m.buffer(), m.buffer() + n);
}

// One of every field type, in a fixed order, for the golden vector below.
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
AllTypes stale() {
    return {0, 0, 0, 0, 0, false, "", "x", {}, {"stale"}, {1, 2, 3}};
}

const Bytes kAllTypesWire = {
    0xFE, 0xFF, 0xFF, 0xFF,                          // int32 -2
    0x78, 0x56, 0x34, 0x12,                          // uint32 0x12345678
    0x00, 0x80,                                      // int16 -32768
    0xCD, 0xAB,                                      // uint16 0xABCD
    0x7F,                                            // byte
    0x01,                                            // bool true
    0x03, 0x00, 0x00, 0x00, 'a',  'b',  'c',         // "abc"
    0x00, 0x00, 0x00, 0x00,                          // ""
    0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01,  // {1, 256}
    0x02, 0x00, 0x00, 0x00,                          // two names
    0x01, 0x00, 0x00, 0x00, 'q',                     // "q"
    0x02, 0x00, 0x00, 0x00, 'r',  's',               // "rs"
    0x00, 0x00, 0x00, 0x00,                          // {}
};

TEST(MessageBuffer, OutgoingSizeRoundsUpAndGrowsOnlyPastTheEnd) {
    const uint32_t reserves[] = {0, 128, 255, 256, 1000}, sizes[] = {256, 256, 256, 512, 1024};
    for (int i = 0; i < 5; ++i) {
        message m(reserves[i]);
        EXPECT_EQ(m.size(), sizes[i]) << "reserve " << reserves[i];
        EXPECT_EQ(body_of(m, sizes[i]), Bytes(sizes[i], 0)) << "tail not zeroed";
    }

    // An id-only request sends the whole 256-byte buffer, the id little-endian first.
    message m(128);
    EXPECT_EQ(m.version, 1u);
    int32_t id = 0x0403021E;
    transfer(m, id);
    EXPECT_EQ(body_of(m, m.size()), cat({{0x1E, 0x02, 0x03, 0x04}, Bytes(252, 0)}));

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
    AllTypes back = stale();
    transfer(in.msg, back);
    EXPECT_FALSE(in.msg.malformed());
    EXPECT_EQ(in.msg.position(), kAllTypesWire.size());
    EXPECT_EQ(back, value);
}

TEST(MessageEncoding, RecordsWithNestedSequencesRoundTrip) {
    Received octets({0x01, 0x00, 0x00, 0x7F, 0x58, 0x1B});
    Address a;
    transfer(octets.msg, a);
    EXPECT_EQ(a, (Address{0x7F000001, 7000}));

    std::vector<Entry> entries(3);
    entries[0] = {{{0x7F000001, 7000}, {0xC0A80001, 65535}}, 1, -5, "first"};
    message out(128);
    transfer(out, entries);

    Received in(body_of(out, out.size()));
    std::vector<Entry> entries_back;
    transfer(in.msg, entries_back);
    EXPECT_FALSE(in.msg.malformed());
    EXPECT_EQ(entries_back, entries);
    EXPECT_EQ(in.msg.position(), out.position());
}

TEST(MessageEncoding, OddButLegalFieldsRead) {
    // A string cut by a zero byte, then an int, bool bytes of 2 and 0, and a negative count.
    Received in(
        cat({{0x05, 0x00, 0x00, 0x00, 'a', 'b', 0x00, 'c', 'd'}, le32(7), {0x02, 0x00}, le32(-1)}));
    std::string text;
    int32_t next = 0;
    bool flag = false, off = true;
    std::vector<int32_t> target = {1, 2, 3};
    transfer(transfer(transfer(transfer(transfer(in.msg, text), next), flag), off), target);
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(next, 7) << "the cursor passes all of the string's bytes";
    EXPECT_TRUE(flag);
    EXPECT_FALSE(off);
    EXPECT_TRUE(target.empty());
    EXPECT_FALSE(in.msg.malformed());
}

TEST(MessageEncoding, WithNeitherFlagOrOnAReceivedBodyTransfersChangeNothing) {
    message out(0);
    out.storing = false;
    AllTypes value;
    transfer(out, value);
    EXPECT_EQ(out.position(), 0u);
    EXPECT_EQ(body_of(out, 8), Bytes(8, 0));

    Received in(kAllTypesWire);
    in.msg.loading = false;
    AllTypes kept = stale();
    transfer(in.msg, kept);
    EXPECT_EQ(kept, stale());
    EXPECT_EQ(in.msg.position(), 0u);

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

}  // namespace
