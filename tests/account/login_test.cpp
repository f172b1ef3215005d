// The login against the real account service: refusals before any request, the service's texts,
// the first-line rules on odd replies, and the code prompt's rounds on the real code logic.

#include "account/account_login.h"

#include <functional>

#include "account/sms_code_logic.h"
#include "account_fixture.h"
#include "config/text_table.h"
#include "support/test_support.h"

namespace {

using quend::test::AccountTest;

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

// The fixture is the dialog and application as the login sees them.
class LoginTest : public AccountTest, public LoginOwner {
protected:
    bool IsBusy() const override { return busy; }
    int FillGameDir() override { return gameDir; }
    int CheckSelection() override { return selection; }
    std::string UserNameText() const override { return user; }
    std::string PasswordText() const override { return password; }
    const GameInfo* SelectedGame() const override { return &game; }
    std::unique_ptr<SmsCodePrompt> MakeSmsCodePrompt(const std::string& domain,
                                                     const std::string& mobile,
                                                     platform::HttpClient& http) override {
        promptMobiles.push_back(mobile);
        return std::make_unique<ScriptedPrompt>(CSmsCodeLogic(domain, mobile, http), script);
    }
    void StoreSession(const std::string& id, const std::string& key,
                      const std::string& underage) override {
        session = {id, key, underage};
    }

    int Login(const std::string& userText, const std::string& passwordText) {
        user = userText;
        password = passwordText;
        if (game.authDomain.empty())
            game.authDomain = Domain();
        return CAccountLogin(*this).Login();
    }

    bool busy = false;
    int gameDir = 1;
    int selection = 1;
    std::string user, password;
    GameInfo game;
    ScriptedPrompt::Script script = [](CSmsCodeLogic&, int) { return std::nullopt; };
    std::vector<std::string> promptMobiles;
    std::vector<std::string> session;
};

using Texts = std::vector<std::string>;
using Session = std::vector<std::string>;

// Names and passwords with URL syntax, and GBK texts, arrive intact: two Chinese characters are
// four GBK bytes, enough.
TEST_F(LoginTest, CredentialsLogInOrShowTheServiceTextExactly) {
    struct Case {
        const char *user, *password;
        Session session;
        Texts shown;
    };
    const Case cases[] = {
        {"alice", "secret1", {"alice", "x7k", "0"}, {}},
        {"a&b c", "p&ss w=rd", {"30003", "kamp", "0"}, {}},
        {"张三", "密码口令", {"40004", "kzs", "0"}, {}},
        {"alice", "secret2", {}, {"密码错误"}},
        {"carol", "secret1", {}, {"账号不存在"}},
    };
    for (const Case& c : cases) {
        session.clear();
        EXPECT_EQ(Login(c.user, c.password), c.session.empty() ? 0 : 1) << c.user;
        EXPECT_EQ(session, c.session) << c.user;
        EXPECT_EQ(m_messages.take(), c.shown) << c.user;
    }
    EXPECT_NE(Log().at(0).find("\"Launcher\""), std::string::npos) << "title as user agent";
}

TEST_F(LoginTest, RefusalsComeBeforeAnyRequest) {
    quend::test::TempDir dir;
    quend::test::writeFile(dir / "Launcher.chs",
                           "[Error]\r\nVersionNeedInstall=\xC7\xEB\xB0\xB2\xD7\xB0\r\n");
    SetTextFile(dir.dir() + "Launcher.chs");

    busy = true;
    EXPECT_EQ(Login("alice", "secret1"), 0);
    busy = false;
    gameDir = -1;
    EXPECT_EQ(Login("alice", "secret1"), 0);
    gameDir = 1;
    selection = 0;
    EXPECT_EQ(Login("alice", "secret1"), 0);
    selection = 1;
    EXPECT_EQ(Login("ali", "a long password"), 0);
    EXPECT_EQ(Login("alice", "sec"), 0);
    EXPECT_EQ(Login("张a", "secret1"), 0) << "three bytes in GBK, four in UTF-8";

    const std::string tooShort = "用户名和密码长度不能小于4";
    EXPECT_EQ(m_messages.take(), (Texts{"请安装", tooShort, tooShort, tooShort}));
    EXPECT_EQ(RequestCount(), 0u);
    EXPECT_TRUE(session.empty());
}

TEST_F(LoginTest, WrongCodeReopensThePromptWithItsStateThenTheRightCodeLogsIn) {
    std::string wrong;
    script = [&](CSmsCodeLogic& logic, int display) -> std::optional<std::string> {
        if (display == 0) {
            EXPECT_TRUE(logic.RequestCode());
            wrong = LastCode() == "000000" ? "111111" : "000000";
            EXPECT_TRUE(logic.Accept(wrong));
            return logic.Code();
        }
        if (display > 1)
            return std::nullopt;         // the right code was refused: give up rather than loop
        EXPECT_EQ(logic.Code(), wrong);  // the same prompt again
        EXPECT_TRUE(logic.Accept(LastCode()));
        return logic.Code();
    };
    EXPECT_EQ(Login("bobby", "hunter22"), 1);
    EXPECT_EQ(promptMobiles, Texts{"138 0000+5678"});
    EXPECT_EQ(session, (Session{"10002", "kb0b", "0"}));
    EXPECT_EQ(m_messages.take(),
              (Texts{"验证码已通过短信发送到138 0000+5678,请查收", "验证码错误"}));

    session.clear();
    script = [](CSmsCodeLogic&, int) { return std::nullopt; };
    EXPECT_EQ(Login("bobby", "hunter22"), 0) << "cancelled prompt";
    EXPECT_TRUE(session.empty());
    EXPECT_TRUE(m_messages.texts().empty());
}

TEST_F(LoginTest, FirstLineRulesOnOddReplies) {
    using Canned = devserver::CAccountService::CannedReply;
    const auto reply = [&](const std::string& body, int status = 200) {
        m_service.SetCannedReply("/account/gameLogin", Canned{status, body});
        promptMobiles.clear();
        session.clear();
        return Login("alice", "secret1");
    };
    EXPECT_EQ(reply("\nsucceed|userName|alice|OTP|x7k\n"), 0);
    EXPECT_EQ(reply("  error|boom|\r\nsucceed|"), 0);
    EXPECT_EQ(m_messages.take(), (Texts{"服务器内部错误", "boom|\r"}));

    EXPECT_EQ(reply("succeed|userName|alice#OTP|x7k\r\nnext"), 1);
    EXPECT_EQ(session, (Session{"alice", "x7k\r", "0"})) << "the carriage return stays";
    EXPECT_EQ(reply("succeed|OTP|k"), 1) << "markers missing: whatever the rules give";
    EXPECT_EQ(session, (Session{"", "k", "0"}));

    EXPECT_EQ(reply("userName|alice#OTP|x7k", 500), 0);
    EXPECT_EQ(promptMobiles, Texts{"userName|alice#OTP|x7k"});
    m_service.SetCannedReply("/account/gameLogin", std::nullopt);
    promptMobiles.clear();
    game.authDomain = Domain() + "/missing";
    EXPECT_EQ(Login("alice", "secret1"), 0);
    EXPECT_EQ(promptMobiles, Texts{"<html><head><title>404 Not Found</title></head>"});
    EXPECT_TRUE(m_messages.texts().empty());

    // A second-login reply without markers counts as a success, read from position 8 on.
    game.authDomain = Domain();
    m_service.SetCannedReply("/account/secondLogin", Canned{200, "userName|bob#OTP|kb"});
    script = [](CSmsCodeLogic&, int display) {
        return display == 0 ? std::optional<std::string>("123456") : std::nullopt;
    };
    EXPECT_EQ(Login("bobby", "hunter22"), 1);
    EXPECT_EQ(session, (Session{"|bob", "kb", "0"}));
}

TEST_F(LoginTest, UnreachableServiceFailsTheAttempt) {
    script = [this](CSmsCodeLogic&, int) {
        m_service.Stop();
        return std::optional<std::string>("123456");
    };
    EXPECT_EQ(Login("bobby", "hunter22"), 0);
    EXPECT_TRUE(session.empty());
    const Texts shown = m_messages.take();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(shown[0].empty()) << "the client's own reason";

    EXPECT_EQ(Login("alice", "secret1"), 0);
    EXPECT_EQ(m_messages.take(), Texts{"连接登录服务器失败"});
}

}  // namespace
