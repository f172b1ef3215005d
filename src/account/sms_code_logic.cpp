#include "account/sms_code_logic.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "account/account_urls.h"
#include "account/reply_line.h"
#include "platform/codepage.h"
#include "platform/http_client.h"
#include "platform/message_box.h"

namespace account {

namespace {

constexpr std::size_t kCodeLength = 6;
constexpr const char* kFirstButtonText = "点击获取验证码";
constexpr const char* kReadyButtonText = "点击获取短信验证码";

}  // namespace

CSmsCodeLogic::CSmsCodeLogic(std::string domain, std::string mobile, platform::HttpClient& http)
    : m_domain(std::move(domain)), m_mobile(std::move(mobile)), m_pHttp(&http) {
    BeginDisplay();
}

std::string CSmsCodeLogic::IntroText() const {
    return "您的账号开启了安全登陆功能,本次登陆需要安全手机:" + platform::AnsiToUtf8(m_mobile) +
           "进行验证(短信验证码每天上限为5次,此后为语音验证码).\n"
           "请点击下面的按钮来获取验证码进行验证:";
}

void CSmsCodeLogic::BeginDisplay() {
    m_button = {true, kFirstButtonText};
    m_bTimer = false;
}

bool CSmsCodeLogic::RequestCode() {
    if (!m_button.enabled)
        return false;
    const std::optional<CReplyLine> reply =
        CReplyLine::Fetch(*m_pHttp, MakeSmsCodeUrl(m_domain, m_mobile));
    if (!reply) {
        platform::ShowMessage(m_pHttp->LastError());
        return false;
    }
    const int e = reply->Search("error|");
    if (e < 0) {
        platform::ShowMessage(platform::AnsiToUtf8(reply->Text()));
    } else {
        // The one character right behind the marker is not shown.
        platform::ShowMessage("获取验证码失败:" + platform::AnsiToUtf8(reply->Part(e + 7)));
    }
    m_button.enabled = false;
    m_bTimer = true;
    return true;
}

void CSmsCodeLogic::Tick() {
    if (!m_bTimer)
        return;
    const int n = m_nCountdown--;
    if (n > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "%d秒后重新获取验证码", m_nCountdown);
        m_button.text = text;
        return;
    }
    m_bTimer = false;
    m_nCountdown = kCountdownStart;
    m_button = {true, kReadyButtonText};
}

bool CSmsCodeLogic::Accept(std::string_view boxText) {
    std::string code = platform::Utf8ToAnsi(boxText);
    if (code.size() != kCodeLength) {
        platform::ShowMessage("验证码必须为6位数字");
        return false;
    }
    m_strCode = std::move(code);
    m_bTimer = false;
    return true;
}

}  // namespace account
