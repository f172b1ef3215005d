#include "account/account_login.h"

#include "account/account_urls.h"
#include "config/text_table.h"
#include "patch/md5.h"
#include "platform/codepage.h"
#include "platform/http_client.h"
#include "platform/message_box.h"

namespace {

constexpr std::size_t kMinLength = 4;

// Texts of the service are ANSI; the message seam takes UTF-8.
void ShowServiceText(const std::string& ansi) {
    platform::ShowMessage(platform::AnsiToUtf8(ansi));
}

}  // namespace

int CAccountLogin::Login() {
    if (m_owner.IsBusy())
        return 0;
    if (m_owner.FillGameDir() == -1) {
        ShowText("VersionNeedInstall", 'E');
        return 0;
    }
    if (m_owner.CheckSelection() == 0)
        return 0;

    // One client for the whole attempt: the second factor rides on its cookies.
    platform::HttpClient http(platform::MessageCaption());
    const std::string user = platform::Utf8ToAnsi(m_owner.UserNameText());
    const std::string password = platform::Utf8ToAnsi(m_owner.PasswordText());
    if (user.size() < kMinLength || password.size() < kMinLength) {
        platform::ShowMessage("用户名和密码长度不能小于4");
        return 0;
    }

    const GameInfo* game = m_owner.SelectedGame();
    const std::string domain = game != nullptr ? game->authDomain : std::string();
    const std::string digest = CMD5().GetStringMD5(password);
    std::optional<CReplyLine> reply = CReplyLine::Fetch(http, MakeLoginUrl(domain, user, digest));
    if (!reply) {
        platform::ShowMessage("连接登录服务器失败");
        return 0;
    }
    if (reply->Empty()) {
        platform::ShowMessage("服务器内部错误");
        return 0;
    }
    if (reply->Search("succeed|") < 0) {
        const int e = reply->Search("error|");
        if (e >= 0) {
            ShowServiceText(reply->Part(e + 6));
            return 0;
        }
        reply = SecondFactor(http, domain, reply->Text());
        if (!reply)
            return 0;
    }

    // A second-login reply without "succeed|" is taken as one, as the service has always been.
    const LoginCredentials credentials = reply->Credentials(reply->Search("succeed|"));
    m_owner.StoreSession(credentials.userId, credentials.userKey, "0");
    return 1;
}

std::optional<CReplyLine> CAccountLogin::SecondFactor(platform::HttpClient& http,
                                                      const std::string& domain,
                                                      const std::string& mobile) {
    // The same prompt each round, so its code box and countdown carry over.
    const std::unique_ptr<SmsCodePrompt> prompt = m_owner.MakeSmsCodePrompt(domain, mobile, http);
    while (prompt) {
        const std::optional<std::string> code = prompt->Run();
        if (!code)
            return std::nullopt;
        std::optional<CReplyLine> reply =
            CReplyLine::Fetch(http, MakeSecondLoginUrl(domain, *code));
        if (!reply) {
            platform::ShowMessage(http.LastError());
            return std::nullopt;
        }
        const int e = reply->Search("error|");
        if (e < 0)
            return reply;
        ShowServiceText(reply->Part(e + 6));
    }
    return std::nullopt;
}
