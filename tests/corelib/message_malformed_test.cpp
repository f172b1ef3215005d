// Received bodies that lie about their own lengths: decoding refuses them without reading past
// the body or the string scratch area, and the message stays refused.

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

std::vector<uint8_t> le32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
            static_cast<uint8_t>(u >> 24)};
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(MalformedMessage, IntegerReadPastTheEndYieldsZeroAndStopsTheCursor) {
    Received in({0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    int32_t first = 0;
    int32_t second = 99;
    transfer(transfer(in.msg, first), second);
    EXPECT_EQ(first, 0x04030201);
    EXPECT_TRUE(in.msg.malformed());
    EXPECT_EQ(second, 0);
    EXPECT_EQ(in.msg.position(), 4u);

    Received empty({});
    uint8_t b = 5;
    transfer(empty.msg, b);
    EXPECT_TRUE(empty.msg.malformed());
    EXPECT_EQ(b, 0);
}

TEST(MalformedMessage, StringLengthOutsideTheScratchAreaOrTheBodyIsRefused) {
    struct Case {
        const char* what;
        std::vector<uint8_t> body;
    };
    const std::vector<Case> cases = {
        {"length 4096", concat({le32(4096), std::vector<uint8_t>(4096, 'a')})},
        {"length -1", concat({le32(-1), std::vector<uint8_t>(16, 'a')})},
        {"most negative length", concat({le32(INT32_MIN), std::vector<uint8_t>(16, 'a')})},
        {"longer than the body", concat({le32(10), {'a', 'b', 'c'}})},
        {"length cut short", {0x05, 0x00}},
    };
    for (const auto& c : cases) {
        Received in(c.body);
        std::string s = "old";
        transfer(in.msg, s);
        EXPECT_TRUE(in.msg.malformed()) << c.what;
        EXPECT_EQ(s, "") << c.what;
        EXPECT_LE(in.msg.position(), 4u) << c.what;
    }

    // The boundary itself is fine.
    Received in(concat({le32(4095), std::vector<uint8_t>(4095, 'b')}));
    std::string s;
    transfer(in.msg, s);
    EXPECT_FALSE(in.msg.malformed());
    EXPECT_EQ(s, std::string(4095, 'b'));
}

TEST(MalformedMessage, SequenceCountTheRemainingBytesCannotHoldIsRefused) {
    {
        Received in(concat({le32(INT32_MAX), le32(1), le32(2)}));
        std::vector<uint8_t> bytes = {1};
        transfer(in.msg, bytes);
        EXPECT_TRUE(in.msg.malformed());
        EXPECT_TRUE(bytes.empty());
        EXPECT_EQ(in.msg.position(), 4u);
    }
    {
        // Three uint32 need 12 bytes; 8 are left.
        Received in(concat({le32(3), le32(1), le32(2)}));
        std::list<uint32_t> values = {7};
        transfer(in.msg, values);
        EXPECT_TRUE(in.msg.malformed());
        EXPECT_TRUE(values.empty());
    }
    {
        // Two addresses of at least 6 bytes each need 12; 11 are left.
        Received in(concat({le32(2), std::vector<uint8_t>(11, 0)}));
        std::vector<Address> addresses;
        transfer(in.msg, addresses);
        EXPECT_TRUE(in.msg.malformed());
    }
    {
        // Exactly enough is accepted.
        Received in(concat({le32(2), std::vector<uint8_t>(12, 0)}));
        std::vector<Address> addresses;
        transfer(in.msg, addresses);
        EXPECT_FALSE(in.msg.malformed());
        EXPECT_EQ(addresses.size(), 2u);
        EXPECT_EQ(in.msg.position(), 16u);
    }
}

TEST(MalformedMessage, TruncatedRecordInsideASequenceLeavesTheListEmpty) {
    // One entry whose two addresses arrive whole but whose load field is cut after one byte.
    const auto body = concat({le32(1),
                              le32(2),
                              {0x01, 0x00, 0x00, 0x7F, 0x58, 0x1B},
                              {0x02, 0x00, 0x00, 0x7F, 0x58, 0x1B, 0x01, 0x05}});
    Received in(body);
    std::vector<Entry> entries(4);
    transfer(in.msg, entries);
    EXPECT_TRUE(in.msg.malformed());
    EXPECT_TRUE(entries.empty());
    EXPECT_LE(in.msg.position(), in.msg.size());
}

TEST(MalformedMessage, EveryLaterTransferReadsNothing) {
    // A bad string length first, then perfectly good fields that must not be consumed.
    const auto body =
        concat({le32(-7), le32(1), le32(0x42), {0x05, 0x00, 0x00, 0x00, 'h', 'e', 'l', 'l', 'o'}});
    Received in(body);
    std::string bad;
    transfer(in.msg, bad);
    ASSERT_TRUE(in.msg.malformed());
    const uint32_t stopped_at = in.msg.position();

    std::vector<int32_t> seq = {5};
    int16_t i16 = 3;
    bool flag = true;
    std::string text = "keep";
    transfer(transfer(transfer(transfer(in.msg, seq), i16), flag), text);
    EXPECT_TRUE(seq.empty());
    EXPECT_EQ(i16, 0);
    EXPECT_FALSE(flag);
    EXPECT_EQ(text, "");
    EXPECT_EQ(in.msg.position(), stopped_at);
}

TEST(MalformedMessage, WritingNeverMarksAMessage) {
    message out(0);
    std::vector<std::string> many(300, std::string(100, 'w'));
    std::string huge(10000, 'h');  // longer than any reader accepts, still written
    transfer(transfer(out, many), huge);
    EXPECT_FALSE(out.malformed());
    EXPECT_EQ(out.position(), 4u + 300u * 104u + 4u + 10000u);
    EXPECT_GE(out.size(), out.position());
}

}  // namespace
