#pragma once
// The login of the Start button: checks, the login request, the SMS second factor and the
// session values, talking to the dialog only through LoginOwner. GUI thread only; each request
// blocks until its reply's first line has been read.

#include <optional>
#include <string>

#include "account/login_owner.h"
#include "account/reply_line.h"

class CAccountLogin final {
public:
    explicit CAccountLogin(LoginOwner& owner) : m_owner(owner) {}

    // 1 when the player is logged in (the session is stored), 0 in every other case; every
    // failure but a refused selection or a cancelled code prompt shows its message here.
    int Login();

private:
    // Runs the code prompt until the service takes a code; the reply holding no "error|", or
    // nothing when the player gave up or the request failed.
    std::optional<CReplyLine> SecondFactor(platform::HttpClient& http, const std::string& domain,
                                           const std::string& mobile);

    LoginOwner& m_owner;
};
