// The second factor on a client that has done Bobby's first login, and so holds the session a
// code request needs: the code prompt's logic, and the service's ties to that session.

#include "account/sms_code_logic.h"

#include <algorithm>

#include "account/account_urls.h"
#include "account_fixture.h"
#include "patch/md5.h"
#include "platform/codepage.h"
#include "platform/http_client.h"

namespace {

using Texts = std::vector<std::string>;
constexpr char kSent[] = "验证码已通过短信发送到138 0000+5678,请查收";

class SessionTest : public quend::test::AccountTest {
protected:
    void SetUp() override {
        AccountTest::SetUp();
        ASSERT_EQ(Get(m_http, MakeLoginUrl(Domain(), "bobby", CMD5().GetStringMD5("hunter22"))),
                  "138 0000+5678\n");
        m_logic.emplace(Domain(), "138 0000+5678", m_http);
    }
    // The reply read back as UTF-8.
    std::string Get(platform::HttpClient& http, const std::string& url) {
        std::string body;
        EXPECT_TRUE(http.GetText(url, body));
        return platform::AnsiToUtf8(body);
    }
    platform::HttpClient m_http{"Launcher"};
    std::optional<CSmsCodeLogic> m_logic;
};

using SmsCodeLogicTest = SessionTest;
using AccountServiceTest = SessionTest;

TEST_F(SmsCodeLogicTest, PressLocksTheButtonForSixtyOneTicksAndDisplaysKeepTheCountdown) {
    EXPECT_NE(m_logic->IntroText().find("安全手机:138 0000+5678进行验证"), std::string::npos);
    ASSERT_TRUE(m_logic->RequestCode());
    EXPECT_EQ(m_messages.take(), Texts{kSent});
    EXPECT_FALSE(m_logic->RequestCode()) << "a locked button cannot be pressed";
    EXPECT_EQ(RequestCount(), 2u);
    m_logic->Tick();
    EXPECT_EQ(m_logic->Button().text, "59秒后重新获取验证码");
    for (int i = 1; i < 60; ++i)
        m_logic->Tick();
    EXPECT_EQ(m_logic->Button().text, "0秒后重新获取验证码");
    EXPECT_FALSE(m_logic->Button().enabled);
    m_logic->Tick();
    EXPECT_TRUE(m_logic->Button().enabled);
    EXPECT_EQ(m_logic->Button().text, "点击获取短信验证码");
    EXPECT_FALSE(m_logic->TimerRunning());

    // A display ends 15 seconds into the lock; the next one starts ready and counts on from 45.
    ASSERT_TRUE(m_logic->RequestCode());
    for (int i = 0; i < 15; ++i)
        m_logic->Tick();
    EXPECT_TRUE(m_logic->Accept("654321"));
    m_logic->BeginDisplay();
    EXPECT_TRUE(m_logic->Button().enabled);
    EXPECT_EQ(m_logic->Button().text, "点击获取验证码");
    EXPECT_EQ(m_logic->Code(), "654321");
    ASSERT_TRUE(m_logic->RequestCode());
    int ticks = 0;
    for (; m_logic->TimerRunning() && ticks < 100; ++ticks)
        m_logic->Tick();
    EXPECT_EQ(ticks, 46);
    EXPECT_EQ(m_logic->Countdown(), 60);
}

TEST_F(SmsCodeLogicTest, RefusalsShowTheirTexts) {
    EXPECT_FALSE(m_logic->Accept("12345"));
    EXPECT_FALSE(m_logic->Accept("1234567"));
    EXPECT_EQ(m_logic->Code(), "");

    platform::HttpClient stranger("Launcher");
    CSmsCodeLogic noSession(Domain(), "138 0000+5678", stranger);
    ASSERT_TRUE(noSession.RequestCode());
    EXPECT_FALSE(noSession.Button().enabled) << "locked after a refusal too";

    m_service.SetCannedReply("/account/getSmsCode",
                             devserver::CAccountService::CannedReply{200, "xerror|:abc\ndef"});
    EXPECT_TRUE(m_logic->RequestCode());
    EXPECT_EQ(m_messages.take(),
              (Texts{"验证码必须为6位数字", "验证码必须为6位数字",
                     "获取验证码失败:登录已失效,请重新登录", "获取验证码失败:abc"}));

    m_service.Stop();
    CSmsCodeLogic unreachable(Domain(), "138 0000+5678", m_http);
    EXPECT_FALSE(unreachable.RequestCode());
    EXPECT_TRUE(unreachable.Button().enabled);
    EXPECT_FALSE(unreachable.TimerRunning());
    EXPECT_EQ(m_messages.take(), Texts{m_http.LastError()});
}

// A code and the second login belong to the session of the first login, which logs in once; the
// sixth code of a day goes by voice call.
TEST_F(AccountServiceTest, TheSecondFactorBelongsToTheSessionOfTheFirstLogin) {
    platform::HttpClient stranger("Launcher");
    const auto code = [&](platform::HttpClient& http, const char* mobile = "138 0000+5678") {
        return Get(http, MakeSmsCodeUrl(Domain(), mobile));
    };
    const auto second = [&](platform::HttpClient& http, const std::string& digits) {
        return Get(http, MakeSecondLoginUrl(Domain(), digits));
    };
    EXPECT_EQ(second(m_http, "123456"), "error|请先获取验证码\n");
    EXPECT_EQ(code(m_http), std::string(kSent) + "\n");
    const std::string sent = LastCode();
    EXPECT_EQ(second(stranger, sent), "error|登录已失效,请重新登录\n");
    EXPECT_EQ(code(stranger), "error| 登录已失效,请重新登录\n");
    EXPECT_EQ(code(m_http, "138 0000 5678"), "error| 手机号码不符\n");
    EXPECT_EQ(second(m_http, sent == "999999" ? "000000" : "999999"), "error|验证码错误\n");
    EXPECT_EQ(second(m_http, sent), "succeed|userName|10002|OTP|kb0b\n");
    EXPECT_EQ(second(m_http, sent), "error|登录已失效,请重新登录\n") << "a session logs in once";

    // A new session counts on with the day's codes.
    Get(m_http, MakeLoginUrl(Domain(), "bobby", CMD5().GetStringMD5("hunter22")));
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(code(m_http), std::string(kSent) + "\n");
    EXPECT_EQ(code(m_http), "今日短信验证码已达5次上限,验证码将通过语音电话告知138 0000+5678\n");
    const std::vector<std::string> log = Log();
    const std::string voice = "voice call code " + LastCode() + " for bobby";
    EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                            [&](const std::string& line) { return line.starts_with(voice); }));
    EXPECT_EQ(second(m_http, LastCode()), "succeed|userName|10002|OTP|kb0b\n");
}

}  // namespace
