// The account-service role of the real quend-devserver program: accounts come from the JSON
// file, a login over HTTP succeeds or is refused, the log names each request, and a mistaken
// account entry is refused with the field named.

#include <gtest/gtest.h>

#include <string>

#include "account/account_urls.h"
#include "devserver/devserver_config.h"
#include "devserver_process.h"
#include "patch/md5.h"
#include "platform/http_client.h"
#include "support/test_support.h"

namespace {

constexpr char kListening[] = "account service listening on ";

TEST(AccountProgram, LogsInAccountsFromTheFileAndLogsEachRequest) {
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);
    quend::test::TempDir dir;
    quend::test::writeFile(dir / "devserver.json", R"({"account": {"port": 0, "accounts": [
        {"name": "player1", "password": "quendalor", "user_id": "10001", "user_key": "k1"}]}})");
    quend::test::DevServerProcess process(
        {"--config", (dir / "devserver.json").string(), "--role", "account"});
    const std::string ready = process.readLine();
    ASSERT_EQ(ready.rfind(kListening, 0), 0u) << ready;
    const std::string domain = ready.substr(sizeof kListening - 1);

    platform::HttpClient http("test");
    std::string reply;
    const std::string digest = CMD5().GetStringMD5("quendalor");
    ASSERT_TRUE(http.GetText(MakeLoginUrl(domain, "player1", digest), reply));
    EXPECT_EQ(reply.rfind("succeed|", 0), 0u) << reply;
    EXPECT_NE(reply.find("10001"), std::string::npos) << reply;
    ASSERT_TRUE(http.GetText(MakeLoginUrl(domain, "player1", CMD5().GetStringMD5("x")), reply));
    EXPECT_EQ(reply.rfind("error|", 0), 0u) << reply;

    EXPECT_NE(process.readLine().find("account "), std::string::npos);
    EXPECT_EQ(process.finish(), 0);
}

TEST(AccountProgram, MistakenAccountsNameTheField) {
    const auto errorOf = [](const std::string& account) -> std::string {
        try {
            devserver::DevServerConfig::Parse(R"({"account": )" + account + "}");
        } catch (const devserver::ConfigError& e) {
            return e.what();
        }
        return "accepted";
    };
    EXPECT_EQ(errorOf(R"({"port": 1, "accounts": []})"), "accepted");
    EXPECT_EQ(errorOf(R"({"accounts": []})"), R"(account: missing "port")");
    EXPECT_EQ(errorOf(R"({"port": 1, "accounts": [{"name": "a", "password": "b"}]})"),
              R"(account.accounts[0]: missing "user_id")");
    EXPECT_EQ(errorOf(R"({"port": 1, "accounts": [], "users": []})"),
              R"(account: unknown key "users")");
}

}  // namespace
