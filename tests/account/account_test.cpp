// The login and second factor against the real account service: refusals before any request, the
// service's texts, the first-line rules on odd replies, the code prompt's rounds and its logic.

#include "account/account_login.h"

#include <functional>
#include <tuple>

#include "account/account_urls.h"
#include "account/sms_code_logic.h"
#include "patch/md5.h"
#include "platform/http_client.h"
#include "support/account_fixture.h"

namespace {

using namespace quend::test;
using account::CAccountLogin;
using account::CSmsCodeLogic;
using account::LoginSession;
using account::MakeLoginUrl;
using account::SmsCodePrompt;
using Texts = std::vector<std::string>;
using Canned = devserver::CAccountService::CannedReply;
constexpr char kSent[] = "验证码已通过短信发送到138 0000+5678,请查收";

// The code dialog without its window: each display runs the test's script on the real logic.
struct ScriptedPrompt final : SmsCodePrompt {
    using Script = std::function<std::optional<std::string>(CSmsCodeLogic&, int display)>;
    ScriptedPrompt(CSmsCodeLogic logic, Script script)
        : logic(std::move(logic)), script(std::move(script)) {}
    std::optional<std::string> Run() override {
        logic.BeginDisplay();
        return script(logic, displays++);
    }
    CSmsCodeLogic logic;
    Script script;
    int displays = 0;
};

// One attempt at a time from the values the window would give, prompts scripted by the test.
class LoginTest : public AccountTest {
protected:
    // 1 and the session stored, or 0; what the last attempt stored and prompted is forgotten.
    int Login(const std::string& user, const std::string& password) {
        session.clear();
        promptMobiles.clear();
        const auto makePrompt = [this](const std::string& domain, const std::string& mobile,
                                       platform::HttpClient& http) {
            promptMobiles.push_back(mobile);
            return std::make_unique<ScriptedPrompt>(CSmsCodeLogic(domain, mobile, http), script);
        };
        const std::optional<LoginSession> stored =
            CAccountLogin({user, password, authDomain.empty() ? Domain() : authDomain}, makePrompt)
                .Login();
        if (stored)
            session = {stored->userId, stored->userKey, stored->underage};
        return stored ? 1 : 0;
    }

    std::string authDomain;  // empty: the running service
    ScriptedPrompt::Script script = [](CSmsCodeLogic&, int) { return std::nullopt; };
    Texts promptMobiles;
    Texts session;
};

// URL syntax in names and passwords, and GBK texts, arrive intact (two Chinese characters: 4 B).
TEST_F(LoginTest, EveryAnswerOfTheServiceReachesThePlayer) {
    // User, password, the session stored, the texts shown.
    const std::tuple<const char*, const char*, Texts, Texts> cases[] = {
        {"alice", "secret1", {"alice", "x7k", "0"}, {}},
        {"a&b c", "p&ss w=rd", {"30003", "kamp", "0"}, {}},
        {"张三", "密码口令", {"40004", "kzs", "0"}, {}},
        {"alice", "secret2", {}, {"密码错误"}},
        {"carol", "secret1", {}, {"账号不存在"}},
    };
    for (const auto& [name, secret, stored, shown] : cases) {
        const int result = Login(name, secret);
        EXPECT_EQ(std::make_tuple(result, session, m_messages.take()),
                  std::make_tuple(stored.empty() ? 0 : 1, stored, shown))
            << name;
    }
    EXPECT_NE(Log().at(0).find("\"Launcher\""), std::string::npos) << "title as user agent";
}

TEST_F(LoginTest, ShortNamesOrPasswordsAreRefusedBeforeAnyRequest) {
    EXPECT_EQ(Login("ali", "a long password"), 0);
    EXPECT_EQ(Login("alice", "sec"), 0);
    EXPECT_EQ(Login("张a", "secret1"), 0) << "three bytes in GBK, four in UTF-8";
    EXPECT_EQ(m_messages.take(), Texts(3, "用户名和密码长度不能小于4"));
    EXPECT_EQ(Log(), Texts{});
}

TEST_F(LoginTest, AWrongCodeReopensThePromptWithItsState) {
    std::string wrong;
    script = [&](CSmsCodeLogic& logic, int display) -> std::optional<std::string> {
        if (display == 0) {
            EXPECT_TRUE(logic.RequestCode());
            wrong = LastCode() == "000000" ? "111111" : "000000";
        } else if (display == 1) {
            EXPECT_EQ(logic.Code(), wrong);  // the same prompt again
        } else {
            return std::nullopt;  // the right code was refused: give up rather than loop
        }
        EXPECT_TRUE(logic.Accept(display == 0 ? wrong : LastCode()));
        return logic.Code();
    };
    EXPECT_EQ(Login("bobby", "hunter22"), 1);
    EXPECT_EQ(promptMobiles, Texts{"138 0000+5678"});
    EXPECT_EQ(session, (Texts{"10002", "kb0b", "0"}));
    EXPECT_EQ(m_messages.take(), (Texts{kSent, "验证码错误"}));

    script = [](CSmsCodeLogic&, int) { return std::nullopt; };
    EXPECT_EQ(Login("bobby", "hunter22"), 0) << "cancelled prompt";
    EXPECT_EQ(m_messages.take(), Texts{});
}

TEST_F(LoginTest, FirstLineRulesOnOddReplies) {
    const auto reply = [&](const std::string& body, int status = 200) {
        m_service.SetCannedReply("/account/gameLogin", Canned{status, body});
        return Login("alice", "secret1");
    };
    EXPECT_EQ(reply("\nsucceed|userName|alice|OTP|x7k\n"), 0);
    EXPECT_EQ(reply("  error|boom|\r\nsucceed|"), 0);
    EXPECT_EQ(m_messages.take(), (Texts{"服务器内部错误", "boom|\r"}));

    EXPECT_EQ(reply("succeed|userName|alice#OTP|x7k\r\nnext"), 1);
    EXPECT_EQ(session, (Texts{"alice", "x7k\r", "0"})) << "the carriage return stays";

    EXPECT_EQ(reply("userName|alice#OTP|x7k", 500), 0);
    EXPECT_EQ(promptMobiles, Texts{"userName|alice#OTP|x7k"});
    m_service.SetCannedReply("/account/gameLogin", std::nullopt);
    authDomain = Domain() + "/missing";
    EXPECT_EQ(Login("alice", "secret1"), 0);
    EXPECT_EQ(promptMobiles, Texts{"<html><head><title>404 Not Found</title></head>"});
    EXPECT_EQ(m_messages.take(), Texts{});

    // A second-login reply without markers counts as a success, read from position 8 on.
    authDomain.clear();
    m_service.SetCannedReply("/account/secondLogin", Canned{200, "userName|bob#OTP|kb"});
    script = [](CSmsCodeLogic&, int display) {
        return display == 0 ? std::optional<std::string>("123456") : std::nullopt;
    };
    EXPECT_EQ(Login("bobby", "hunter22"), 1);
    EXPECT_EQ(session, (Texts{"|bob", "kb", "0"}));
}

TEST_F(LoginTest, UnreachableServiceFailsTheAttempt) {
    script = [this](CSmsCodeLogic&, int) {
        m_service.Stop();
        return std::optional<std::string>("123456");
    };
    EXPECT_EQ(Login("bobby", "hunter22"), 0);
    const Texts shown = m_messages.take();
    EXPECT_TRUE(shown.size() == 1 && !shown[0].empty()) << "the client's own reason";
    EXPECT_EQ(Login("alice", "secret1"), 0);
    EXPECT_EQ(m_messages.take(), Texts{"连接登录服务器失败"});
}

// A client that has done Bobby's first login, and so holds the session a code request needs.
class SmsCodeLogicTest : public AccountTest {
protected:
    void SetUp() override {
        AccountTest::SetUp();
        std::string body;
        ASSERT_TRUE(m_http.GetText(
            MakeLoginUrl(Domain(), "bobby", patch::CMD5().GetStringMD5("hunter22")), body));
        ASSERT_EQ(body, "138 0000+5678\n");
        m_logic.emplace(Domain(), "138 0000+5678", m_http);
    }
    // The code button and whether the countdown runs.
    std::tuple<bool, std::string, bool> Button() const {
        return {m_logic->Button().enabled, m_logic->Button().text, m_logic->TimerRunning()};
    }
    platform::HttpClient m_http{"Launcher"};
    std::optional<CSmsCodeLogic> m_logic;
};

TEST_F(SmsCodeLogicTest, APressLocksTheButtonAcrossDisplays) {
    ASSERT_TRUE(m_logic->RequestCode());
    EXPECT_FALSE(m_logic->RequestCode()) << "a locked button cannot be pressed";
    EXPECT_EQ(Log().size(), 3u) << "the first login, one code request and its code";

    // A display ends 15 seconds into the lock; the next one starts ready and counts on from 45.
    // (The full 61 ticks are the code dialog's test.)
    for (int i = 0; i < 15; ++i)
        m_logic->Tick();
    m_logic->BeginDisplay();
    EXPECT_EQ(Button(), std::make_tuple(true, "点击获取验证码", false));
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
    m_service.SetCannedReply("/account/getSmsCode", Canned{200, "xerror|:abc\ndef"});
    EXPECT_TRUE(m_logic->RequestCode());
    EXPECT_TRUE(m_logic->Accept("654321") && !m_logic->TimerRunning()) << "the countdown stops";
    // A request that cannot reach the service leaves the button ready and the timer still.
    m_service.Stop();
    m_logic.emplace(Domain(), "138 0000+5678", m_http);
    EXPECT_FALSE(m_logic->RequestCode());
    EXPECT_EQ(Button(), std::make_tuple(true, "点击获取验证码", false));
    EXPECT_EQ(m_messages.take(), (Texts{"验证码必须为6位数字", "验证码必须为6位数字",
                                        "获取验证码失败:登录已失效,请重新登录",
                                        "获取验证码失败:abc", m_http.LastError()}));
}

}  // namespace
