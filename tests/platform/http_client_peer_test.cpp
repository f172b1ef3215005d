// The HTTP client against a raw-HTTP peer on loopback, so that every half of it is held alike.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "platform/http_client.h"
#include "support/raw_peer.h"

namespace {

using testing::IsSubstring;

constexpr char kAgent[] = "QuendTest/1.0";

// One request as it arrived: up to and including its empty line.
std::string ReadRequest(const quend::test::RawPeer& peer) {
    std::string request;
    while (request.find("\r\n\r\n") == std::string::npos) {
        const std::vector<uint8_t> byte = peer.read(1);
        if (byte.empty())
            break;
        request.push_back(static_cast<char>(byte[0]));
    }
    return request;
}

class HttpPeerTest : public ::testing::Test {
protected:
    std::string Url(const std::string& path) const { return "http://" + m_peer.address() + path; }

    std::future<bool> Send(const std::string& path, const std::vector<std::string>& headers = {}) {
        return std::async(std::launch::async, [=, this] { return client.Get(Url(path), headers); });
    }

    // The peer takes a request off the wire (on a new connection if `accept`) and answers it.
    std::string Answer(const std::string& reply, bool accept = true) {
        if (accept && !m_peer.accept())
            return "<no connection>";
        const std::string request = ReadRequest(m_peer);
        m_peer.write(std::vector<uint8_t>(reply.begin(), reply.end()));
        return request;
    }

    std::string Exchange(const std::string& path, const std::string& reply,
                         const std::vector<std::string>& headers = {}, bool accept = true) {
        auto sent = Send(path, headers);
        const std::string request = Answer(reply, accept);
        return sent.get() ? request : "<failed: " + client.LastError() + ">";
    }

    quend::test::RawPeer m_peer;
    platform::HttpClient client{kAgent};
};

constexpr char kTenBytes[] = "HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r\n\r\n0123456789";

// The caller's Range header goes out beside the cache bypass, the path made sendable; the body
// comes in the caller's blocks; the next request goes on the same connection without the Range.
TEST_F(HttpPeerTest, TheCallersHeadersGoOutOnceAndTheConnectionIsKept) {
    const std::string request = Exchange("/Data/a b.bin", kTenBytes, {"Range: bytes=5-"});
    EXPECT_TRUE(request.starts_with("GET /Data/a%20b.bin HTTP/1.1\r\n")) << request;
    for (const char* line : {"\r\nRange: bytes=5-\r\n", "\r\nCache-Control: no-cache\r\n",
                             "\r\nPragma: no-cache\r\n", "\r\nUser-Agent: QuendTest/1.0\r\n"})
        EXPECT_PRED_FORMAT2(IsSubstring, line, request);
    EXPECT_EQ(client.Status(), 206);
    EXPECT_EQ(client.ContentLength(), 10u);
    char block[4];
    std::string body;
    for (const long count : {4, 4, 2, 0}) {
        ASSERT_EQ(client.Read(block, sizeof block), count);
        body.append(block, static_cast<std::size_t>(count));
    }
    EXPECT_EQ(body, "0123456789");

    const std::string again =
        Exchange("/b", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", {}, false);
    EXPECT_TRUE(again.starts_with("GET /b HTTP/1.1\r\n")) << again;
    EXPECT_EQ(again.find("Range"), std::string::npos);
    EXPECT_EQ(client.Read(block, sizeof block), 2);
    EXPECT_FALSE(m_peer.pending(std::chrono::milliseconds(0))) << "a second connection";
}

TEST_F(HttpPeerTest, AHeaderWithALineBreakIsRefusedBeforeAnythingIsSent) {
    EXPECT_FALSE(client.Get(Url("/x"), {"Range: bytes=0-\r\nX-Injected: yes"}));
    EXPECT_FALSE(client.LastError().empty());
    EXPECT_FALSE(m_peer.pending(std::chrono::milliseconds(200)));
}

// A redirect is followed with the cookie its reply set.
TEST_F(HttpPeerTest, RedirectsAreFollowedWithTheCookiesTheirRepliesSet) {
    auto got = Send("/login");
    const std::string first = Answer(
        "HTTP/1.1 302 Found\r\nLocation: /home\r\nSet-Cookie: session=abc; Path=/\r\n"
        "Content-Length: 0\r\n\r\n");
    EXPECT_TRUE(first.starts_with("GET /login ")) << first;
    // The next request may come on the same connection or a new one.
    const std::string second = Answer("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nhome",
                                      m_peer.pending(std::chrono::milliseconds(300)));
    EXPECT_TRUE(second.starts_with("GET /home ")) << second;
    EXPECT_PRED_FORMAT2(IsSubstring, "\r\nCookie: session=abc\r\n", second);
    ASSERT_TRUE(got.get()) << client.LastError();
    EXPECT_EQ(client.Status(), 200);
}

// A body shorter than its Content-Length ends in -1, after what did arrive.
TEST_F(HttpPeerTest, ABodyCutShortFails) {
    Exchange("/cut", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd");
    m_peer.close();
    char body[16];
    long first = client.Read(body, sizeof body);
    if (first == 4)
        first = client.Read(body, sizeof body);
    EXPECT_EQ(first, -1);
    EXPECT_FALSE(client.LastError().empty());
}

// Cancel from another thread ends a Read inside a body, or a Get before its reply, and all after.
TEST_F(HttpPeerTest, CancelEndsAWaitingReadOrGetAtOnce) {
    Exchange("/", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd");
    char body[10];
    auto read = std::async(std::launch::async, [&] { return client.Read(body, sizeof body); });
    EXPECT_EQ(read.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    client.Cancel();
    EXPECT_EQ(read.get(), 4);  // what had arrived; the end of the body is the failure
    EXPECT_EQ(client.Read(body, sizeof body), -1);
    EXPECT_EQ(client.LastError(), "cancelled");

    platform::HttpClient waiting(kAgent);
    auto got = std::async(std::launch::async, [&] { return waiting.Get(Url("/")); });
    ASSERT_TRUE(m_peer.accept());
    ReadRequest(m_peer);
    waiting.Cancel();
    EXPECT_FALSE(got.get());
    EXPECT_FALSE(client.Get(Url("/")));
    EXPECT_EQ(client.LastError(), "cancelled");
}

}  // namespace
