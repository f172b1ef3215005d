// Framing over a real loopback connection: a raw peer writes frames, in pieces or several at
// once, and the channel's receive() cuts them; what the channel sends is read back raw. (A
// malformed message and a closing peer are shown with the launcher's connection.)

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "corelib/xchannel.h"
#include "corelib/xexception.h"
#include "support/raw_peer.h"
#include "support/wire_bytes.h"

using quend::test::longFrame;
using quend::test::RawPeer;
using quend::test::shortFrame;

namespace {

struct Seen {
    uint32_t version = 0;
    std::vector<uint8_t> body;
};

// Records every frame.
class RecordingChannel final : public corelib::xchannel {
public:
    explicit RecordingChannel(RawPeer& peer) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(peer.port());
        socket().create();
        if (!socket().connect(address) || !peer.accept())
            throw std::runtime_error("no loopback connection");
        on_connected();
    }

    std::vector<Seen> seen;
    bool refuse = false;

protected:
    bool on_message(corelib::message& m) override {
        seen.push_back({m.version, std::vector<uint8_t>(m.buffer(), m.buffer() + m.size())});
        return !refuse;
    }
};

std::vector<uint8_t> pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(seed * 31 + i * 7);
    return bytes;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Each header form is read as such, frames that arrive together are dispatched in order, a
// refused one ends the dispatch, and replies take the form of the peer's last frame.
TEST(XChannel, HeaderFormsFramesTogetherAndRepliesFollowThePeersLast) {
    RawPeer peer;
    RecordingChannel channel(peer);
    corelib::message out(128);
    const auto expectReply = [&](std::vector<uint8_t> header) {
        ASSERT_TRUE(channel.send_message(out));
        EXPECT_EQ(peer.read(header.size()), header);
        EXPECT_EQ(peer.read(256).size(), 256u);
    };

    peer.write(concat(longFrame(pattern(256, 1), 1), longFrame(pattern(3, 2), 0)));
    ASSERT_TRUE(channel.receive());
    ASSERT_EQ(channel.seen.size(), 2u);  // version word 0 is a long header too
    EXPECT_EQ(channel.seen[0].version, 1u);
    EXPECT_EQ(channel.seen[0].body, pattern(256, 1));
    EXPECT_EQ(channel.seen[1].version, 0u);
    EXPECT_EQ(channel.seen[1].body, pattern(3, 2));
    EXPECT_FALSE(channel.short_header());
    expectReply({0, 0, 0, 1, 0, 0, 1, 0});

    peer.write(shortFrame(pattern(2, 3)));  // first word 2: a short header
    ASSERT_TRUE(channel.receive());
    ASSERT_EQ(channel.seen.size(), 3u);
    EXPECT_EQ(channel.seen[2].version, 1u);
    EXPECT_EQ(channel.seen[2].body, pattern(2, 3));
    EXPECT_TRUE(channel.short_header());
    expectReply({0, 0, 1, 0});

    channel.refuse = true;
    peer.write(concat(longFrame(pattern(4, 1)), longFrame(pattern(4, 2))));
    EXPECT_FALSE(channel.receive());
    EXPECT_EQ(channel.seen.size(), 4u);
    EXPECT_FALSE(channel.short_header());
}

TEST(XChannel, FrameSplitInsideHeaderAndBodyIsDispatchedOnceWhole) {
    RawPeer peer;
    RecordingChannel channel(peer);
    const auto body = pattern(1000, 4);
    const auto bytes = concat(longFrame(body), shortFrame(pattern(40, 5)));
    // Cuts: inside the first word, inside the length word, inside the body, inside the next
    // frame's header.
    const std::vector<size_t> cuts = {2, 6, 500, 1010, bytes.size()};
    std::thread writer([&] {
        size_t from = 0;
        for (size_t to : cuts) {
            peer.write(std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + to));
            from = to;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    while (channel.seen.size() < 2 && channel.receive()) {
    }
    writer.join();
    ASSERT_EQ(channel.seen.size(), 2u);
    EXPECT_EQ(channel.seen[0].body, body);
    EXPECT_EQ(channel.seen[1].body, pattern(40, 5));
}

// Refused from the header alone, before any body arrives. (65536 itself passes below.)
TEST(XChannel, BodyOver65536IsRefused) {
    for (bool shortForm : {false, true}) {
        RawPeer peer;
        RecordingChannel channel(peer);
        std::vector<uint8_t> header;
        if (!shortForm)
            quend::test::appendBe32(header, 1);
        quend::test::appendBe32(header, 65537);
        peer.write(header);
        EXPECT_FALSE(channel.receive()) << "short form: " << shortForm;
        EXPECT_TRUE(channel.seen.empty());
    }
}

// Frames of every size up to the limit, written in random pieces, force the buffer to compact
// again and again; every byte must come out in order (and the sanitizer build checks that no
// read lands past the buffer).
TEST(XChannel, LongStreamSurvivesCompaction) {
    RawPeer peer;
    RecordingChannel channel(peer);
    std::mt19937 random(42);
    std::vector<std::vector<uint8_t>> bodies;
    std::vector<uint8_t> stream;
    for (uint32_t i = 0; i < 60; ++i) {
        const size_t size = i % 5 == 0 ? 65536 : 2 + random() % 70000 % 65535;
        bodies.push_back(pattern(size, i));
        const auto frame = i % 3 ? longFrame(bodies.back()) : shortFrame(bodies.back());
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    std::thread writer([&] {
        std::mt19937 pieces(7);
        for (size_t from = 0; from < stream.size();) {
            const size_t to = std::min(stream.size(), from + 1 + pieces() % 90000);
            peer.write(std::vector<uint8_t>(stream.begin() + from, stream.begin() + to));
            from = to;
        }
    });
    while (channel.seen.size() < bodies.size() && channel.receive()) {
    }
    writer.join();
    ASSERT_EQ(channel.seen.size(), bodies.size());
    for (size_t i = 0; i < bodies.size(); ++i)
        ASSERT_EQ(channel.seen[i].body, bodies[i]) << "frame " << i;
}

TEST(XSocket, SendAndReceiveRequireAValidStreamSocket) {
    const auto raised = [](const auto& call) -> std::string {
        try {
            call();
        } catch (const corelib::xwarning& e) {
            return e.what();
        }
        return "no exception";
    };
    corelib::xsocket invalid, datagram;
    datagram.attach(::socket(AF_INET, SOCK_DGRAM, 0));
    EXPECT_EQ(invalid.type(), 3);
    EXPECT_EQ(datagram.type(), SOCK_DGRAM);
    uint8_t byte = 0;
    const std::string sent = raised([&] { invalid.send(&byte, 1); });
    EXPECT_NE(sent.find("xsocket.cpp:"), std::string::npos) << sent;
    EXPECT_NE(sent.find(" send failed"), std::string::npos) << sent;
    const std::string received = raised([&] { datagram.recv(&byte, 1); });
    EXPECT_NE(received.find(" recv failed"), std::string::npos) << received;
}

}  // namespace
