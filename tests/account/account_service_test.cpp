#include "devserver/account_service.h"

#include <algorithm>

#include "account/account_urls.h"
#include "account_fixture.h"
#include "patch/md5.h"
#include "platform/codepage.h"
#include "platform/http_client.h"

namespace {

// Requests straight to the service, replies read back as UTF-8.
class AccountServiceTest : public quend::test::AccountTest {
protected:
    std::string Get(platform::HttpClient& http, const std::string& url) {
        std::string body;
        EXPECT_TRUE(http.GetText(url, body));
        return platform::AnsiToUtf8(body);
    }
    std::string LoginBobby(platform::HttpClient& http) {
        return Get(http, MakeLoginUrl(Domain(), "bobby", CMD5().GetStringMD5("hunter22")));
    }
    std::string Code(platform::HttpClient& http) {
        return Get(http, MakeSmsCodeUrl(Domain(), "138 0000+5678"));
    }
    std::string Second(platform::HttpClient& http, const std::string& code) {
        return Get(http, MakeSecondLoginUrl(Domain(), code));
    }
};

TEST_F(AccountServiceTest, SecondLoginBelongsToTheSessionOfTheFirst) {
    platform::HttpClient player("Launcher"), stranger("Launcher");
    EXPECT_EQ(LoginBobby(player), "138 0000+5678\n");
    EXPECT_EQ(Second(player, "123456"), "error|请先获取验证码\n");
    EXPECT_EQ(Code(player), "验证码已通过短信发送到138 0000+5678,请查收\n");
    const std::string code = LastCode();
    EXPECT_EQ(Second(stranger, code), "error|登录已失效,请重新登录\n");
    EXPECT_EQ(Code(stranger), "error| 登录已失效,请重新登录\n");
    EXPECT_EQ(Get(player, MakeSmsCodeUrl(Domain(), "138 0000 5678")), "error| 手机号码不符\n");
    EXPECT_EQ(Second(player, code == "999999" ? "000000" : "999999"), "error|验证码错误\n");
    EXPECT_EQ(Second(player, code), "succeed|userName|10002|OTP|kb0b\n");
    EXPECT_EQ(Second(player, code), "error|登录已失效,请重新登录\n") << "a session logs in once";
}

TEST_F(AccountServiceTest, SixthCodeOfTheDayGoesByVoiceCall) {
    platform::HttpClient player("Launcher");
    LoginBobby(player);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Code(player), "验证码已通过短信发送到138 0000+5678,请查收\n");
    LoginBobby(player);
    EXPECT_EQ(Code(player), "今日短信验证码已达5次上限,验证码将通过语音电话告知138 0000+5678\n");
    const std::vector<std::string> log = Log();
    const std::string sent = "voice call code " + LastCode() + " for bobby";
    EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                            [&](const std::string& line) { return line.starts_with(sent); }));
    EXPECT_EQ(Second(player, LastCode()), "succeed|userName|10002|OTP|kb0b\n");
}

}  // namespace
