// The HTTP client against the dev update server and a small web service on loopback.

#include "platform/http_client.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "devserver/http_listener.h"
#include "devserver/update_server.h"
#include "support/log_recorder.h"
#include "support/test_support.h"

namespace {

using platform::HttpClient;
using testing::IsSubstring;

constexpr long kBlock = 327680;
constexpr char kAgent[] = "QuendTest/1.0";

// The peers here are on loopback, which a proxy configured on the machine must not take over.
const bool kLoopbackDirect = ::setenv("no_proxy", "127.0.0.1,localhost", 1) == 0;

// Reads to the end in blocks of kBlock; answers each Read's count, the last one 0 or -1.
std::vector<long> ReadAll(HttpClient& client, std::string& bytes) {
    std::vector<long> counts;
    std::vector<char> buffer(kBlock);
    bytes.clear();
    do {
        counts.push_back(client.Read(buffer.data(), kBlock));
        bytes.append(buffer.data(), static_cast<std::size_t>(std::max(counts.back(), 0L)));
    } while (counts.back() > 0);
    return counts;
}

class UpdateServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_server.Port()) + path;
    }
    std::string LastLog() const {
        const std::vector<std::string> lines = m_log.lines();
        return lines.empty() ? "" : lines.back();
    }

    quend::test::TempDir m_temp;
    std::filesystem::path m_root = m_temp / "root";
    quend::test::LogRecorder m_log;
    devserver::CUpdateServer m_server{m_root, m_log.logger()};
};

// A body comes in the caller's blocks (curl pauses between them); one dropped does not spill.
TEST_F(UpdateServerTest, ABodyComesInTheCallersBlocksAndADroppedOneDoesNotSpill) {
    const std::string data = quend::test::randomBytes(700000, 1);
    quend::test::writeFile(m_root / "Data" / "big.bin", data);
    HttpClient client(kAgent);
    std::string got(1000, '\0');
    ASSERT_TRUE(client.Get(Url("/Data/big.bin"))) << client.LastError();
    ASSERT_EQ(client.Read(got.data(), 1000), 1000);
    client.Close();
    ASSERT_TRUE(client.Get(Url("/Data/big.bin"))) << client.LastError();
    EXPECT_EQ(client.Status(), 200);
    EXPECT_EQ(client.ContentLength(), 700000u);
    EXPECT_EQ(ReadAll(client, got), (std::vector<long>{kBlock, kBlock, 44640, 0}));
    EXPECT_TRUE(got == data);
    EXPECT_EQ(client.Read(got.data(), 16), 0);
    quend::test::writeFile(m_root / "empty.bin", "");
    ASSERT_TRUE(client.Get(Url("/empty.bin"))) << client.LastError();
    EXPECT_EQ(client.ContentLength(), 0u);

    // Shorter than announced: the whole file arrives, then -1.
    m_server.SetFaults({.lengthSurplus = 5000});
    ASSERT_TRUE(client.Get(Url("/Data/big.bin"))) << client.LastError();
    EXPECT_EQ(ReadAll(client, got), (std::vector<long>{kBlock, kBlock, 44640, -1}));
    EXPECT_FALSE(client.LastError().empty());
    EXPECT_TRUE(got == data);
}

TEST_F(UpdateServerTest, ProxyFromTheEnvironmentIsUsed) {
    ASSERT_TRUE(kLoopbackDirect);
    const char* saved = std::getenv("http_proxy");
    const std::string previous = saved ? saved : "";  // an empty one means none as well
    ::setenv("http_proxy", Url("").c_str(), 1);
    HttpClient client(kAgent);
    const bool sent = client.Get("http://quendalor.invalid/a.bin");
    ::setenv("http_proxy", previous.c_str(), 1);
    ASSERT_TRUE(sent) << client.LastError();
    // The proxy got the whole address, which no update server path matches.
    EXPECT_PRED_FORMAT2(IsSubstring, "\"GET http://quendalor.invalid/a.bin\" 404", LastLog());
}

TEST(HttpClientErrors, RefusedOrMalformedRequestsFail) {
    HttpClient client(kAgent);
    const std::string refused = "http://127.0.0.1:1/x";
    EXPECT_FALSE(client.Get(refused));
    EXPECT_EQ(client.Status(), 0);
    char byte = 0;
    EXPECT_EQ(client.Read(&byte, 1), -1);
    std::string body;
    EXPECT_FALSE(client.GetText(refused, body));
    for (const char* bad : {"", "http://", "/Data/a.map", "ftp://127.0.0.1/x"}) {
        EXPECT_FALSE(client.Get(bad)) << bad;
        EXPECT_FALSE(client.LastError().empty()) << bad;
    }
}

// A small web service: a cookie echo that sets one and sends no length, and redirects.
TEST(WebService, ACookieStaysWithItsClientAndRedirectsEndAfterTen) {
    devserver::CHttpListener service{{}};
    ASSERT_TRUE(service.Start(0, "127.0.0.1", [](httplib::Server& server) {
        server.Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
            const std::string text = "cookie=" + req.get_header_value("Cookie");
            res.set_header("Set-Cookie", "session=abc123; Path=/");
            res.set_chunked_content_provider("text/plain", [text](size_t, httplib::DataSink& sink) {
                sink.write(text.data(), text.size());
                sink.done();
                return true;
            });
        });
        server.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            const int left = std::stoi(req.matches[1]);
            if (left == 0)
                return res.set_content("arrived", "text/plain");
            res.status = 302;
            res.set_header("Location", "/hop/" + std::to_string(left - 1));
        });
    }));
    const std::string url = "http://127.0.0.1:" + std::to_string(service.Port());
    std::string body;
    HttpClient login("Launcher");
    HttpClient other("Other");
    ASSERT_TRUE(login.Get(url + "/echo")) << login.LastError();
    EXPECT_FALSE(login.ContentLength().has_value());
    ASSERT_TRUE(login.GetText(url + "/echo", body));
    EXPECT_EQ(body, "cookie=session=abc123");
    ASSERT_TRUE(other.GetText(url + "/echo", body));
    EXPECT_EQ(body, "cookie=");
    ASSERT_TRUE(other.GetText(url + "/hop/10", body)) << other.LastError();
    EXPECT_EQ(body, "arrived");
    EXPECT_FALSE(other.Get(url + "/hop/11"));
}

}  // namespace
