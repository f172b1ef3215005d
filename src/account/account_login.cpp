#include "account/account_login.h"

#include <utility>

#include "account/account_urls.h"
#include "patch/md5.h"
#include "platform/codepage.h"
#include "platform/http_client.h"
#include "platform/message_box.h"

namespace account {

namespace {

constexpr std::size_t kMinLength = 4;

// Texts of the service are ANSI; the message seam takes UTF-8.
void ShowServiceText(const std::string& ansi) {
    platform::ShowMessage(platform::AnsiToUtf8(ansi));
}

}  // namespace

CAccountLogin::CAccountLogin(LoginRequest request, PromptMaker makePrompt)
    : m_request(std::move(request)), m_makePrompt(std::move(makePrompt)) {}

std::optional<LoginSession> CAccountLogin::Login() {
    // One client for the whole attempt: the second factor rides on its cookies.
    platform::HttpClient http(platform::MessageCaption());
    const std::string user = platform::Utf8ToAnsi(m_request.userName);
    const std::string password = platform::Utf8ToAnsi(m_request.password);
    if (user.size() < kMinLength || password.size() < kMinLength) {
        platform::ShowMessage("用户名和密码长度不能小于4");
        return std::nullopt;
    }

    const std::string& domain = m_request.authDomain;
    const std::string digest = patch::CMD5().GetStringMD5(password);
    std::optional<CReplyLine> reply = CReplyLine::Fetch(http, MakeLoginUrl(domain, user, digest));
    if (!reply) {
        platform::ShowMessage("连接登录服务器失败");
        return std::nullopt;
    }
    if (reply->Empty()) {
        platform::ShowMessage("服务器内部错误");
        return std::nullopt;
    }
    if (reply->Search("succeed|") < 0) {
        const int e = reply->Search("error|");
        if (e >= 0) {
            ShowServiceText(reply->Part(e + 6));
            return std::nullopt;
        }
        reply = SecondFactor(http, reply->Text());
        if (!reply)
            return std::nullopt;
    }

    // A second-login reply without "succeed|" is taken as one, as the service has always been.
    const LoginCredentials credentials = reply->Credentials(reply->Search("succeed|"));
    return LoginSession{credentials.userId, credentials.userKey, "0"};
}

std::optional<CReplyLine> CAccountLogin::SecondFactor(platform::HttpClient& http,
                                                      const std::string& mobile) {
    const std::string& domain = m_request.authDomain;
    // The same prompt each round, so its code box and countdown carry over.
    const std::unique_ptr<SmsCodePrompt> prompt =
        m_makePrompt ? m_makePrompt(domain, mobile, http) : nullptr;
    while (prompt) {
        const std::optional<std::string> code = prompt->Run();
        if (!code)
            return std::nullopt;
        std::optional<CReplyLine> reply =
            CReplyLine::Fetch(http, MakeSecondLoginUrl(domain, *code));
        if (!reply) {
            platform::ShowMessage(http.LastError());
            m_bKeepStartDisabled = true;
            return std::nullopt;
        }
        const int e = reply->Search("error|");
        if (e < 0)
            return reply;
        ShowServiceText(reply->Part(e + 6));
    }
    return std::nullopt;
}

}  // namespace account
