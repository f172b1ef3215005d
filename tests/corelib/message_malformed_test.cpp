// Received bodies that lie about their own lengths: decoding refuses them without reading past
// the body or the string scratch area, and the message stays refused.

#include <gtest/gtest.h>

#include <climits>
#include <list>
#include <string>
#include <vector>

#include "corelib/message.h"
#include "test_records.h"

using corelib::message;
using corelib::transfer;
using namespace corelib_test;

namespace {

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
    ExpectRefused("int32 over three bytes", {0x01, 0x02, 0x03}, int32_t{99}, 0);
    ExpectRefused("byte of an empty body", {}, uint8_t{5}, 0);
    ExpectRefused("string length 4096", cat({le32(4096), Bytes(4096, 'a')}), old, 4);
    ExpectRefused("string length -1", cat({le32(-1), Bytes(16, 'a')}), old, 4);
    ExpectRefused("most negative length", cat({le32(INT32_MIN), Bytes(16, 'a')}), old, 4);
    ExpectRefused("string longer than the body", cat({le32(10), {'a', 'b', 'c'}}), old, 4);
    ExpectRefused("string length cut short", {0x05, 0x00}, old, 4);
    ExpectRefused("count INT32_MAX", cat({le32(INT32_MAX), le32(1), le32(2)}), Bytes{1}, 4);
    ExpectRefused("three uint32 in 8 bytes", cat({le32(3), le32(1), le32(2)}),
                  std::list<uint32_t>{7}, 4);
    ExpectRefused("two 6-byte addresses in 11 bytes", cat({le32(2), Bytes(11, 0)}),
                  std::vector<Address>(1), 4);
    // A whole entry, then one whose two addresses arrive but whose load is cut after one byte.
    ExpectRefused("record cut inside a sequence",
                  cat({le32(2),
                       le32(0),
                       {0x01},
                       le32(5),
                       le32(0),
                       le32(2),
                       {0x01, 0x00, 0x00, 0x7F, 0x58, 0x1B, 0x02, 0x00, 0x00, 0x7F, 0x58, 0x1B},
                       {0x01, 0x05}}),
                  std::vector<Entry>(4), 35);
}

TEST(MalformedMessage, TheLimitsThemselvesAreAcceptedAndWritingIsNeverRefused) {
    Received text(cat({le32(4095), Bytes(4095, 'b')}));
    std::string s;
    transfer(text.msg, s);
    EXPECT_FALSE(text.msg.malformed());
    EXPECT_EQ(s, std::string(4095, 'b'));

    Received exact(cat({le32(2), Bytes(12, 0)}));
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
