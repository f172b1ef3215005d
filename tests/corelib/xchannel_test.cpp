// Framing over loopback against a raw peer, and the thread wrapper's one-at-a-time rule.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "corelib/xchannel.h"
#include "corelib/xexception.h"
#include "corelib/xthread.h"
#include "platform/manual_reset_event.h"
#include "support/raw_peer.h"
#include "support/test_support.h"
#include "support/wire_bytes.h"

using quend::test::longFrame;
using quend::test::RawPeer;
using quend::test::shortFrame;
using Bytes = std::vector<uint8_t>;

namespace {

using Seen = std::pair<uint32_t, Bytes>;  // version and body

class RecordingChannel final : public corelib::xchannel {
public:
    explicit RecordingChannel(RawPeer& peer) {
        socket().create();
        socket().connect(quend::test::loopbackAddress(peer.port()));
        peer.accept();
        on_connected();
    }

    std::vector<Seen> seen;
    bool refuse = false;

protected:
    bool on_message(corelib::message& m) override {
        seen.push_back({m.version, Bytes(m.buffer(), m.buffer() + m.size())});
        return !refuse;
    }
};

Bytes pattern(size_t n, unsigned seed) {
    const std::string bytes = quend::test::randomBytes(n, seed);
    return {bytes.begin(), bytes.end()};
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Each header form is read as such, frames that arrive together are dispatched in order, a
// refused one ends the dispatch, and replies take the form of the peer's last frame.
TEST(XChannel, RepliesTakeTheHeaderFormOfThePeersLastFrame) {
    RawPeer peer;
    RecordingChannel channel(peer);
    peer.write(concat(longFrame(pattern(256, 1), 1), longFrame(pattern(3, 2), 0)));
    ASSERT_TRUE(channel.receive());
    // Version word 0 is a long header too.
    EXPECT_EQ(channel.seen, (std::vector<Seen>{{1, pattern(256, 1)}, {0, pattern(3, 2)}}));
    EXPECT_FALSE(channel.short_header());

    peer.write(shortFrame(pattern(2, 3)));  // first word 2: a short header
    ASSERT_TRUE(channel.receive());
    EXPECT_EQ(channel.seen.back(), (Seen{1, pattern(2, 3)}));
    ASSERT_TRUE(channel.send_message(corelib::message(128)));
    EXPECT_EQ(peer.read(260), shortFrame(Bytes(256, 0)));

    channel.refuse = true;
    peer.write(concat(longFrame(pattern(4, 1)), longFrame(pattern(4, 2))));
    EXPECT_FALSE(channel.receive());
    EXPECT_EQ(channel.seen.size(), 4u);
    EXPECT_FALSE(channel.short_header());
}

// Refused from the header alone, before any body arrives. (65536 itself passes below.)
TEST(XChannel, BodyOver65536IsRefused) {
    for (const Bytes& header : {Bytes{0, 0, 0, 1, 0, 1, 0, 1}, Bytes{0, 1, 0, 1}}) {
        RawPeer peer;
        RecordingChannel channel(peer);
        peer.write(header);
        EXPECT_FALSE(channel.receive()) << header.size();
    }
}

// Frames of every size up to the limit, in random pieces ending inside headers and bodies, make
// the buffer compact again and again; every byte must come out in order (and within the buffer).
TEST(XChannel, LongStreamInPiecesSurvivesCompaction) {
    RawPeer peer;
    RecordingChannel channel(peer);
    std::mt19937 rng(42);
    std::vector<Seen> sent;
    Bytes stream;
    for (uint32_t i = 0; i < 60; ++i) {
        sent.push_back({1, pattern(i % 5 == 0 ? 65536 : 2 + rng() % 70000 % 65535, i)});
        stream =
            concat(stream, i % 3 ? longFrame(sent.back().second) : shortFrame(sent.back().second));
    }
    std::thread writer([&] {
        for (size_t from = 0, to = 0; from < stream.size(); from = to) {
            to = std::min(stream.size(), from + 1 + rng() % 90000);
            peer.write(Bytes(stream.begin() + from, stream.begin() + to));
        }
    });
    while (channel.seen.size() < sent.size() && channel.receive()) {
    }
    writer.join();
    EXPECT_TRUE(channel.seen == sent);
}

class GatedThread final : public corelib::xthread {
public:
    ~GatedThread() override {
        gate.Set();
        release();
    }
    platform::ManualResetEvent gate;
    std::atomic<int> runs{0};

protected:
    void run() override {
        ++runs;
        gate.Wait();
    }
};

// A second start while running raises and the first goes on; once it ended, start reaps it.
TEST(XThread, StartRunsOneThreadAtATime) {
    GatedThread thread;
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(quend::test::waitFor([&] { return thread.runs == 1; }));
    EXPECT_THROW(thread.start(), corelib::xwarning);
    EXPECT_TRUE(thread.running());
    thread.gate.Set();
    ASSERT_TRUE(quend::test::waitFor([&] { return !thread.running(); }));
    EXPECT_EQ(thread.runs, 1);
    EXPECT_TRUE(thread.has_thread());  // ended, not yet given back
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(quend::test::waitFor([&] { return thread.runs == 2 && !thread.running(); }));
    thread.release();
    EXPECT_FALSE(thread.has_thread());
    thread.release();  // a second release finds nothing
}

}  // namespace
