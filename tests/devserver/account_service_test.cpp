// The dev account service's session rules, which the login tests rely on without seeing.

#include <string>

#include "account/account_urls.h"
#include "patch/md5.h"
#include "platform/codepage.h"
#include "platform/http_client.h"
#include "support/account_fixture.h"

namespace {

using namespace quend::test;
constexpr char kSent[] = "验证码已通过短信发送到138 0000+5678,请查收\n";

class AccountServiceTest : public AccountTest {
protected:
    // The reply read back as UTF-8.
    std::string Get(platform::HttpClient& http, const std::string& url) {
        std::string body;
        EXPECT_TRUE(http.GetText(url, body));
        return platform::AnsiToUtf8(body);
    }
    std::string Second(platform::HttpClient& http, const std::string& digits) {
        return Get(http, account::MakeSecondLoginUrl(Domain(), digits));
    }
    platform::HttpClient m_http{"Launcher"};
};

// The session logs in once; a client without it gets no login. (A wrong code and a code asked
// without a session are shown with the login's own suite.)
TEST_F(AccountServiceTest, ACodeBelongsToTheSessionOfTheFirstLogin) {
    const std::string hash = patch::CMD5().GetStringMD5("hunter22");
    ASSERT_EQ(Get(m_http, account::MakeLoginUrl(Domain(), "bobby", hash)), "138 0000+5678\n");
    platform::HttpClient stranger("Launcher");
    EXPECT_EQ(Second(m_http, "123456"), "error|请先获取验证码\n");
    EXPECT_EQ(Get(m_http, account::MakeSmsCodeUrl(Domain(), "138 0000+5678")), kSent);
    const std::string sent = LastCode();
    EXPECT_EQ(Second(stranger, sent), "error|登录已失效,请重新登录\n");
    EXPECT_EQ(Get(m_http, account::MakeSmsCodeUrl(Domain(), "138 0000 5678")),
              "error| 手机号码不符\n");
    EXPECT_EQ(Second(m_http, sent), "succeed|userName|10002|OTP|kb0b\n");
    EXPECT_EQ(Second(m_http, sent), "error|登录已失效,请重新登录\n") << "a session logs in once";
}

}  // namespace
