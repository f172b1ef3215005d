#include "platform/http_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "devserver/update_server.h"
#include "support/test_support.h"

namespace {

using devserver::CUpdateServer;
using platform::EncodeUrlPath;
using platform::HttpClient;

constexpr std::size_t kBlock = 327680;
constexpr char kAgent[] = "QuendTest/1.0";

// The peers here are on loopback, which a proxy configured on the machine must not take over.
const bool kLoopbackDirect = ::setenv("no_proxy", "127.0.0.1,localhost", 1) == 0;

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 engine(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(engine());
    return bytes;
}

struct Body {
    std::string bytes;
    std::vector<long> reads;
    long last = 0;  // the Read that ended the loop: 0 or -1
};

Body ReadAll(HttpClient& client, std::size_t block = kBlock) {
    Body body;
    std::vector<char> buffer(block);
    for (;;) {
        const long count = client.Read(buffer.data(), block);
        if (count <= 0) {
            body.last = count;
            return body;
        }
        body.reads.push_back(count);
        body.bytes.append(buffer.data(), static_cast<std::size_t>(count));
    }
}

// A real update server on loopback over a temporary folder, with its log kept for inspection.
class UpdateServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_root);
        ASSERT_TRUE(m_server.Start());
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_server.Port()) + path;
    }

    std::vector<std::string> Log() {
        std::lock_guard lock(m_logMutex);
        return m_log;
    }

    // The client port of the n-th logged request.
    int ClientPort(std::size_t n) {
        const std::string line = Log().at(n);
        const std::size_t colon = line.find(':');
        return std::stoi(line.substr(colon + 1, line.find(' ') - colon - 1));
    }

    quend::test::TempDir m_temp;
    std::filesystem::path m_root = m_temp / "root";
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
    CUpdateServer m_server{m_root, [this](const std::string& line) {
                               std::lock_guard lock(m_logMutex);
                               m_log.push_back(line);
                           }};
};

TEST_F(UpdateServerTest, ServesFileInCallerSizedBlocksWithItsLength) {
    const std::string data = RandomBytes(700000, 1);
    quend::test::writeFile(m_root / "Data" / "big.bin", data);
    HttpClient client(kAgent);

    ASSERT_TRUE(client.Get(Url("/Data/big.bin"))) << client.LastError();
    EXPECT_EQ(client.Status(), 200);
    EXPECT_EQ(client.ContentLength(), 700000u);
    const Body body = ReadAll(client);
    EXPECT_EQ(body.last, 0);
    EXPECT_TRUE(body.bytes == data);
    ASSERT_GE(body.reads.size(), 3u);
    for (std::size_t i = 0; i + 1 < body.reads.size(); ++i)
        EXPECT_EQ(body.reads[i], long(kBlock));
    EXPECT_EQ(client.Read(std::vector<char>(16).data(), 16), 0);

    CUpdateServer rival(m_root);
    EXPECT_FALSE(rival.Start(m_server.Port()));

    ASSERT_EQ(Log().size(), 1u);
    EXPECT_NE(Log()[0].find("\"GET /Data/big.bin\" 200 700000 \"QuendTest/1.0\""),
              std::string::npos)
        << Log()[0];
}

TEST_F(UpdateServerTest, MissingOrEscapingPathsAre404) {
    quend::test::writeFile(m_temp / "secret.txt", "not for clients");
    quend::test::writeFile(m_root / "dir" / "inside.txt", "x");
    HttpClient client(kAgent);
    for (const char* path :
         {"/nope.bin", "/%2e%2e/secret.txt", "/dir/..%2F..%2Fsecret.txt", "/dir"}) {
        ASSERT_TRUE(client.Get(Url(path))) << client.LastError();
        EXPECT_EQ(client.Status(), 404) << path;
        const Body body = ReadAll(client);
        EXPECT_EQ(client.ContentLength(), body.bytes.size()) << path;
        EXPECT_EQ(body.bytes.find("not for clients"), std::string::npos);
        // The escaped steps reached the server as sent, and it refused them.
        EXPECT_NE(Log().back().find(std::string("\"GET ") + path + "\" 404"), std::string::npos)
            << Log().back();
    }
}

TEST_F(UpdateServerTest, ProxyFromTheEnvironmentIsUsed) {
    ASSERT_TRUE(kLoopbackDirect);
    const char* saved = std::getenv("http_proxy");
    const std::string previous = saved ? saved : "";
    ::setenv("http_proxy", Url("").c_str(), 1);
    HttpClient client(kAgent);
    const bool sent = client.Get("http://quendalor.invalid/a.bin");
    saved ? ::setenv("http_proxy", previous.c_str(), 1) : ::unsetenv("http_proxy");

    ASSERT_TRUE(sent) << client.LastError();
    // The proxy got the whole address, which no update server path matches.
    EXPECT_EQ(client.Status(), 404);
    EXPECT_NE(Log().at(0).find("\"GET http://quendalor.invalid/a.bin\" 404"), std::string::npos)
        << Log().at(0);
}

TEST(UpdateServerMapTarget, KeepsRequestsInsideTheFolder) {
    const std::filesystem::path root = "/srv/update";
    EXPECT_EQ(CUpdateServer::MapTarget(root, "/a/./b%20c.txt?v=1"), root / "a" / "b c.txt");
    EXPECT_EQ(CUpdateServer::MapTarget(root, "/%E6%95%B0//x"), root / "数" / "x");
    EXPECT_EQ(CUpdateServer::MapTarget(root, "/100%zz"), root / "100%zz");
    for (const char* bad :
         {"/a/../b", "/a%2F..%2Fb", "/..", "relative", "", "http://h/a", "/a%00b"})
        EXPECT_FALSE(CUpdateServer::MapTarget(root, bad).has_value()) << bad;
}

TEST_F(UpdateServerTest, PathsBeyondAsciiAndWithBlanksAreSentEncoded) {
    quend::test::writeFile(m_root / "数据" / "地图.map", "map bytes");
    quend::test::writeFile(m_root / "with space" / "a b.txt", "spaced");
    HttpClient client(kAgent);
    std::string body;

    ASSERT_TRUE(client.GetText(Url("/数据/地图.map"), body)) << client.LastError();
    EXPECT_EQ(client.Status(), 200);
    EXPECT_EQ(body, "map bytes");
    ASSERT_TRUE(client.GetText(Url("/with space/a b.txt"), body)) << client.LastError();
    EXPECT_EQ(client.Status(), 200);
    EXPECT_EQ(body, "spaced");

    EXPECT_NE(Log().at(0).find("GET /%E6%95%B0%E6%8D%AE/%E5%9C%B0%E5%9B%BE.map\""),
              std::string::npos);
    EXPECT_NE(Log().at(1).find("GET /with%20space/a%20b.txt\""), std::string::npos);
}

TEST_F(UpdateServerTest, ShortBodiesFailTheReadAndTheClientRecovers) {
    const std::string data = RandomBytes(700000, 2);
    quend::test::writeFile(m_root / "big.bin", data);
    HttpClient client(kAgent);

    m_server.SetFaults({.cutAfter = 100000});
    ASSERT_TRUE(client.Get(Url("/big.bin"))) << client.LastError();
    EXPECT_EQ(client.ContentLength(), 700000u);
    Body body = ReadAll(client);
    EXPECT_EQ(body.last, -1);
    EXPECT_FALSE(client.LastError().empty());
    EXPECT_TRUE(body.bytes == data.substr(0, 100000));

    m_server.SetFaults({.lengthSurplus = 5000});
    ASSERT_TRUE(client.Get(Url("/big.bin"))) << client.LastError();
    EXPECT_EQ(client.ContentLength(), 705000u);
    body = ReadAll(client);
    EXPECT_EQ(body.last, -1);
    EXPECT_TRUE(body.bytes == data);

    m_server.SetFaults({.blockDelay = std::chrono::milliseconds(20)});
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.Get(Url("/big.bin"))) << client.LastError();
    body = ReadAll(client);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_EQ(body.last, 0);
    EXPECT_TRUE(body.bytes == data);
    EXPECT_TRUE(client.LastError().empty());
}

TEST_F(UpdateServerTest, ConnectionIsKeptPerClientAndDroppedByClose) {
    const std::string data = RandomBytes(700000, 3);
    quend::test::writeFile(m_root / "big.bin", data);
    quend::test::writeFile(m_root / "small.txt", "small");
    HttpClient first(kAgent);
    HttpClient second(kAgent);
    std::string text;

    ASSERT_TRUE(first.GetText(Url("/small.txt"), text));
    ASSERT_TRUE(first.GetText(Url("/small.txt"), text));
    ASSERT_TRUE(second.GetText(Url("/small.txt"), text));
    EXPECT_EQ(ClientPort(0), ClientPort(1));
    EXPECT_NE(ClientPort(1), ClientPort(2));

    // A reply dropped half-read must not spill into the next one.
    ASSERT_TRUE(first.Get(Url("/big.bin")));
    std::vector<char> buffer(1000);
    ASSERT_EQ(first.Read(buffer.data(), buffer.size()), 1000);
    first.Close();
    ASSERT_TRUE(first.Get(Url("/big.bin")));
    EXPECT_TRUE(ReadAll(first).bytes == data);
    EXPECT_NE(ClientPort(3), ClientPort(4));
}

TEST(HttpClientErrors, RefusedOrMalformedRequestsFail) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(probe, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    // Bound but not listening: connections to it are refused.
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x";

    HttpClient client(kAgent);
    EXPECT_FALSE(client.Get(url));
    EXPECT_FALSE(client.LastError().empty());
    EXPECT_EQ(client.Status(), 0);
    char byte = 0;
    EXPECT_EQ(client.Read(&byte, 1), -1);
    std::string body;
    EXPECT_FALSE(client.GetText(url, body));
    ::close(probe);

    for (const char* bad : {"", "http://", "/Data/a.map", "ftp://127.0.0.1/x"}) {
        EXPECT_FALSE(client.Get(bad)) << bad;
        EXPECT_FALSE(client.LastError().empty()) << bad;
    }
}

// A small web service in the test: cookies, redirects and an echo of the request headers.
class WebServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_server.Get("/set", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "session=abc123; Path=/");
            res.set_content("set", "text/plain");
        });
        m_server.Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("cookie=" + req.get_header_value("Cookie") +
                                "\nagent=" + req.get_header_value("User-Agent") +
                                "\ncache=" + req.get_header_value("Cache-Control") +
                                "\npragma=" + req.get_header_value("Pragma") + "\n",
                            "text/plain");
        });
        m_server.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            const int left = std::stoi(req.matches[1]);
            if (left == 0)
                return res.set_content("arrived", "text/plain");
            res.status = 302;
            res.set_header("Location", "/hop/" + std::to_string(left - 1));
            res.set_content("moved", "text/plain");
        });
        m_server.Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain",
                                             [](std::size_t, httplib::DataSink& sink) {
                                                 sink.write("no ", 3);
                                                 sink.write("length", 6);
                                                 sink.done();
                                                 return true;
                                             });
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        ASSERT_TRUE(quend::test::waitFor([this] { return m_server.is_running(); }));
    }
    void TearDown() override {
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

TEST_F(WebServiceTest, CookiesStayWithTheirClientAndCachingIsRefused) {
    std::string body;
    {
        HttpClient login("Launcher");
        HttpClient other("Other");
        ASSERT_TRUE(login.GetText(Url("/set"), body)) << login.LastError();
        ASSERT_TRUE(login.GetText(Url("/echo"), body));
        EXPECT_EQ(body, "cookie=session=abc123\nagent=Launcher\ncache=no-cache\npragma=no-cache\n");
        ASSERT_TRUE(other.GetText(Url("/echo"), body));
        EXPECT_EQ(body, "cookie=\nagent=Other\ncache=no-cache\npragma=no-cache\n");
    }
    HttpClient fresh("Launcher");
    ASSERT_TRUE(fresh.GetText(Url("/echo"), body));
    EXPECT_EQ(body.substr(0, 8), "cookie=\n");
}

TEST_F(WebServiceTest, ReplyWithoutLengthHasNone) {
    HttpClient client("Launcher");
    ASSERT_TRUE(client.Get(Url("/chunked"))) << client.LastError();
    EXPECT_EQ(client.Status(), 200);
    EXPECT_FALSE(client.ContentLength().has_value());
    const Body body = ReadAll(client);
    EXPECT_EQ(body.bytes, "no length");
    EXPECT_EQ(body.last, 0);
}

TEST_F(WebServiceTest, RedirectsAreFollowedUpToTen) {
    HttpClient client("Launcher");
    std::string body;
    ASSERT_TRUE(client.GetText(Url("/hop/10"), body)) << client.LastError();
    EXPECT_EQ(client.Status(), 200);
    EXPECT_EQ(body, "arrived");
    EXPECT_FALSE(client.Get(Url("/hop/11")));
    EXPECT_FALSE(client.LastError().empty());
}

TEST(EncodeUrlPath, EscapesOnlyWhatAUrlCannotCarry) {
    const std::pair<std::string, std::string> cases[] = {
        {"http://h:8080/数据/地图.map", "http://h:8080/%E6%95%B0%E6%8D%AE/%E5%9C%B0%E5%9B%BE.map"},
        {"http://h/a b/c\"d<e>f\\g^h`i{j|k}l",
         "http://h/a%20b/c%22d%3Ce%3Ef%5Cg%5Eh%60i%7Bj%7Ck%7Dl"},
        {"http://h/100%25/%4a%zz%", "http://h/100%25/%4a%25zz%25"},
        {"http://h/t\x01\t\r\n\x7f\xff", "http://h/t%01%09%0D%0A%7F%FF"},
        {"http://h/p?accName=a%26b&password=0f", "http://h/p?accName=a%26b&password=0f"},
        {"http://h/p?q=a b#frag", "http://h/p?q=a%20b#frag"},
        {"http://h", "http://h"},
        {"http://h?x= y", "http://h?x=%20y"},
        {"h:80/a b?u=http://x/y z", "h:80/a%20b?u=http://x/y%20z"},
        {"/patch/Data/Map/a.map", "/patch/Data/Map/a.map"},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(EncodeUrlPath(in), out) << in;
}

}  // namespace
