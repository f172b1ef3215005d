// The message buffer model and the field encodings, checked against bytes written out by hand.

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "corelib/message.h"
#include "test_records.h"

using corelib::message;
using corelib::transfer;
using corelib_test::Address;
using corelib_test::Entry;
using corelib_test::Received;

namespace {

std::vector<uint8_t> body_of(const message& m, uint32_t n) {
    return std::vector<uint8_t>(m.buffer(), m.buffer() + n);
}

// One of every field type, in a fixed order, for the golden vector below.
struct AllTypes {
    int32_t i32 = 0;
    uint32_t u32 = 0;
    int16_t i16 = 0;
    uint16_t u16 = 0;
    uint8_t byte = 0;
    bool flag = false;
    std::string text;
    std::string empty = "x";
    std::vector<uint16_t> numbers;
    std::list<std::string> names;
    bool operator==(const AllTypes&) const = default;
};

corelib::archive& transfer(corelib::archive& ar, AllTypes& v) {
    transfer(transfer(transfer(ar, v.i32), v.u32), v.i16);
    transfer(transfer(transfer(ar, v.u16), v.byte), v.flag);
    transfer(transfer(ar, v.text), v.empty);
    return transfer(transfer(ar, v.numbers), v.names);
}

// The encoding rules applied by hand: integers little-endian, strings as an int32 length and
// the bytes, sequences as an int32 count and the elements.
const std::vector<uint8_t> kAllTypesWire = {
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
};

AllTypes all_types_value() {
    AllTypes v;
    v.i32 = -2;
    v.u32 = 0x12345678;
    v.i16 = -32768;
    v.u16 = 0xABCD;
    v.byte = 0x7F;
    v.flag = true;
    v.text = "abc";
    v.empty = "";
    v.numbers = {1, 256};
    v.names = {"q", "rs"};
    return v;
}

TEST(MessageBuffer, OutgoingSizeIsReserveRoundedUpPlusOneBlock) {
    for (auto [reserve, expected] : {std::pair<uint32_t, uint32_t>{0, 256},
                                     {128, 256},
                                     {255, 256},
                                     {256, 512},
                                     {1000, 1024}}) {
        message m(reserve);
        EXPECT_EQ(m.size(), expected) << "reserve " << reserve;
        EXPECT_TRUE(m.storing);
        EXPECT_FALSE(m.loading);
        EXPECT_TRUE(m.owns_buffer());
        EXPECT_EQ(m.block(), 256u);
        EXPECT_EQ(m.position(), 0u);
        EXPECT_EQ(m.version, corelib::message_version);
        EXPECT_EQ(body_of(m, m.size()), std::vector<uint8_t>(expected, 0)) << "tail not zeroed";
    }
    EXPECT_EQ(corelib::message_version, 1u);
}

TEST(MessageBuffer, IdOnlyRequestIsA256ByteBodyWithTheIdLittleEndian) {
    message m(128);
    int32_t id = 0x0403021E;
    transfer(m, id);
    ASSERT_EQ(m.size(), 256u);
    EXPECT_EQ(m.position(), 4u);
    std::vector<uint8_t> expected(256, 0);
    expected[0] = 0x1E;
    expected[1] = 0x02;
    expected[2] = 0x03;
    expected[3] = 0x04;
    EXPECT_EQ(body_of(m, 256), expected);
}

TEST(MessageBuffer, GrowsOnlyWhenAWriteEndsBeyondTheBuffer) {
    message m(128);
    for (int i = 0; i < 256; ++i) {
        uint8_t b = static_cast<uint8_t>(i);
        transfer(m, b);
    }
    EXPECT_EQ(m.size(), 256u) << "a write ending exactly at size must not grow";
    uint8_t last = 0xAA;
    transfer(m, last);
    ASSERT_EQ(m.size(), 512u);
    EXPECT_EQ(m.position(), 257u);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(m.buffer()[i], i) << "byte " << i << " lost in growth";
    EXPECT_EQ(m.buffer()[256], 0xAA);
    EXPECT_EQ(m.buffer()[257], 0) << "grown tail not zeroed";

    // A long field grows by as many blocks as it needs at once.
    std::string big(700, 'z');
    transfer(m, big);
    EXPECT_EQ(m.size(), 1024u);  // 257 + 4 + 700 = 961

    EXPECT_TRUE(m.grow(100)) << "an owned buffer accepts any growth request";
    EXPECT_EQ(m.size(), 1024u) << "grow never shrinks";
    EXPECT_TRUE(m.grow(1024));
    EXPECT_EQ(m.size(), 1280u);
}

TEST(MessageBuffer, IncomingIsAReadOnlyViewThatNeverGrows) {
    std::vector<uint8_t> frame = {0x11, 0x22, 0x33, 0x44, 0x55};
    message m = message::incoming(frame.data(), 4, 0);
    EXPECT_TRUE(m.loading);
    EXPECT_FALSE(m.storing);
    EXPECT_FALSE(m.owns_buffer());
    EXPECT_EQ(m.version, 0u);
    EXPECT_EQ(m.size(), 4u);
    EXPECT_EQ(m.buffer(), frame.data());
    EXPECT_FALSE(m.grow(1000));
    EXPECT_EQ(m.size(), 4u);

    // Even with the flags turned around, a view's bytes are never written.
    m.loading = false;
    m.storing = true;
    int32_t v = 7;
    transfer(m, v);
    EXPECT_EQ(frame, (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55}));
    EXPECT_FALSE(m.malformed());
}

TEST(MessageEncoding, HandWrittenBodyOfEveryTypeDecodes) {
    Received in(kAllTypesWire);
    AllTypes v;
    v.names = {"stale"};
    transfer(in.msg, v);
    EXPECT_FALSE(in.msg.malformed());
    EXPECT_EQ(in.msg.position(), kAllTypesWire.size());
    EXPECT_EQ(v, all_types_value());
}

TEST(MessageEncoding, WriterProducesTheHandWrittenBytesAndReadsThemBack) {
    message out(0);
    AllTypes v = all_types_value();
    transfer(out, v);
    ASSERT_EQ(out.position(), kAllTypesWire.size());
    EXPECT_EQ(body_of(out, out.position()), kAllTypesWire);

    Received in(body_of(out, out.size()));
    AllTypes back;
    transfer(in.msg, back);
    EXPECT_EQ(back, v);
}

TEST(MessageEncoding, RecordsAndNestedSequencesRoundTrip) {
    std::vector<Entry> entries(3);
    entries[0].addresses = {{0x7F000001, 7000}, {0xC0A80001, 65535}};
    entries[0].enabled = 1;
    entries[0].load = -5;
    entries[0].label = "first";
    entries[2].label = std::string(4095, 'L');  // the longest text a reader accepts
    std::list<std::vector<int16_t>> nested = {{-1, 2}, {}, {3}};
    std::string trailer = "end";

    message out(128);
    int32_t id = 40;
    transfer(transfer(transfer(transfer(out, id), entries), nested), trailer);

    Received in(body_of(out, out.size()));
    int32_t id_back = 0;
    std::vector<Entry> entries_back;
    std::list<std::vector<int16_t>> nested_back;
    std::string trailer_back;
    transfer(transfer(transfer(transfer(in.msg, id_back), entries_back), nested_back),
             trailer_back);
    EXPECT_FALSE(in.msg.malformed());
    EXPECT_EQ(id_back, 40);
    EXPECT_EQ(entries_back, entries);
    EXPECT_EQ(nested_back, nested);
    EXPECT_EQ(trailer_back, "end");
    EXPECT_EQ(in.msg.position(), out.position());
}

TEST(MessageEncoding, AddressOctetsTravelLastToFirst) {
    Received in({0x01, 0x00, 0x00, 0x7F, 0x58, 0x1B});
    Address a;
    transfer(in.msg, a);
    EXPECT_EQ(a.address, 0x7F000001u);
    EXPECT_EQ(a.port, 7000);
}

TEST(MessageEncoding, EmptyStringIsFourZeroBytes) {
    message out(0);
    std::string empty;
    transfer(out, empty);
    EXPECT_EQ(body_of(out, out.position()), (std::vector<uint8_t>{0, 0, 0, 0}));

    Received in({0, 0, 0, 0});
    std::string back = "old";
    transfer(in.msg, back);
    EXPECT_EQ(back, "");
    EXPECT_FALSE(in.msg.malformed());
}

TEST(MessageEncoding, StringWithAZeroByteIsCutButTheCursorPassesAllItsBytes) {
    Received in({0x05, 0x00, 0x00, 0x00, 'a', 'b', 0x00, 'c', 'd', 0x07, 0x00, 0x00, 0x00});
    std::string text;
    int32_t next = 0;
    transfer(transfer(in.msg, text), next);
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(next, 7);
    EXPECT_EQ(in.msg.position(), 13u);
    EXPECT_FALSE(in.msg.malformed());
}

TEST(MessageEncoding, SequenceCountZeroOrNegativeEmptiesTheTarget) {
    message out(0);
    std::vector<int32_t> none;
    transfer(out, none);
    EXPECT_EQ(body_of(out, out.position()), (std::vector<uint8_t>{0, 0, 0, 0}));

    for (auto wire :
         {std::vector<uint8_t>{0, 0, 0, 0}, std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}}) {
        Received in(wire);
        std::vector<int32_t> target = {1, 2, 3};
        std::list<std::string> names = {"a"};
        transfer(in.msg, target);
        EXPECT_TRUE(target.empty());
        EXPECT_FALSE(in.msg.malformed());
        EXPECT_EQ(in.msg.position(), 4u);
        transfer(in.msg, names);  // past the end now
        EXPECT_TRUE(names.empty());
    }
}

TEST(MessageEncoding, WithNeitherFlagTransfersChangeNothing) {
    message out(0);
    int32_t id = 30;
    transfer(out, id);
    out.storing = false;
    std::string s = "text";
    std::vector<uint16_t> seq = {9};
    bool flag = true;
    transfer(transfer(transfer(transfer(out, id), s), seq), flag);
    EXPECT_EQ(out.position(), 4u);
    EXPECT_EQ(body_of(out, 8), (std::vector<uint8_t>{30, 0, 0, 0, 0, 0, 0, 0}));

    Received in(kAllTypesWire);
    in.msg.loading = false;
    AllTypes v = all_types_value();
    v.i32 = 5;
    v.names = {"keep"};
    AllTypes before = v;
    transfer(in.msg, v);
    EXPECT_EQ(v, before);
    EXPECT_EQ(in.msg.position(), 0u);
    EXPECT_FALSE(in.msg.malformed());
}

TEST(MessageEncoding, AnyNonZeroByteReadsAsTrue) {
    Received in({0x00, 0x02, 0xFF});
    bool a = true, b = false, c = false;
    transfer(transfer(transfer(in.msg, a), b), c);
    EXPECT_FALSE(a);
    EXPECT_TRUE(b);
    EXPECT_TRUE(c);
}

}  // namespace
