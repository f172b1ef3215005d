#pragma once
// The account half of the Start button's login: the length check, the login request, the SMS
// second factor and the session values it yields. It works from plain values the window read
// before (the boxes, the selected game's account service) and reaches the window only to open the
// code prompt. GUI thread only; each request blocks until its reply's first line has been read.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "account/reply_line.h"
#include "account/sms_code_prompt.h"

namespace platform {
class HttpClient;
}

namespace account {

// What one attempt starts from: the user-name and password boxes as typed (UTF-8, as the window
// holds them; the login turns them into the ANSI code page, which is what is counted, digested
// and sent), and the selected game's AUTH_DOMAIN (ANSI).
struct LoginRequest {
    std::string userName;
    std::string password;
    std::string authDomain;
};

// A successful login: the application's m_strUserId, m_strUserKey and m_strUnderage (ANSI).
struct LoginSession {
    std::string userId;
    std::string userKey;
    std::string underage;
};

class CAccountLogin final {
public:
    // Makes the code prompt of one attempt, shown again after each refused code. `domain` and
    // `mobile` are ANSI texts; all three stay alive while the prompt exists.
    using PromptMaker = std::function<std::unique_ptr<SmsCodePrompt>(
        const std::string& domain, const std::string& mobile, platform::HttpClient& http)>;

    CAccountLogin(LoginRequest request, PromptMaker makePrompt);

    // The session when the player is logged in, nothing in every other case; every failure but
    // a cancelled code prompt shows its message here.
    std::optional<LoginSession> Login();

    // The code was sent but no reply came. Unlike every other failure this one does not give
    // the Start button back: the launcher has always ended such an attempt there.
    bool KeepsStartDisabled() const { return m_bKeepStartDisabled; }

private:
    // Runs the code prompt until the service takes a code; the reply holding no "error|", or
    // nothing when the player gave up or the request failed.
    std::optional<CReplyLine> SecondFactor(platform::HttpClient& http, const std::string& mobile);

    LoginRequest m_request;
    PromptMaker m_makePrompt;
    bool m_bKeepStartDisabled = false;
};

}  // namespace account
