#include "account/sms_code_logic.h"

#include "account/account_urls.h"
#include "account_fixture.h"
#include "patch/md5.h"
#include "platform/http_client.h"

namespace {

using Texts = std::vector<std::string>;

// Bobby's first login is done, so the client holds the session the code request needs.
class SmsCodeLogicTest : public quend::test::AccountTest {
protected:
    void SetUp() override {
        AccountTest::SetUp();
        std::string body;
        ASSERT_TRUE(
            m_http.GetText(MakeLoginUrl(Domain(), "bobby", CMD5().GetStringMD5("hunter22")), body));
        ASSERT_EQ(body, "138 0000+5678\n");
        m_logic.emplace(Domain(), "138 0000+5678", m_http);
    }
    platform::HttpClient m_http{"Launcher"};
    std::optional<CSmsCodeLogic> m_logic;
};

TEST_F(SmsCodeLogicTest, PressLocksTheButtonForSixtyOneTicksAndDisplaysKeepTheCountdown) {
    EXPECT_NE(m_logic->IntroText().find("安全手机:138 0000+5678进行验证"), std::string::npos);
    ASSERT_TRUE(m_logic->RequestCode());
    EXPECT_EQ(m_messages.take(), Texts{"验证码已通过短信发送到138 0000+5678,请查收"});
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

}  // namespace
