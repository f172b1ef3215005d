#pragma once
// What the login reads and writes of the main dialog and the application: the boxes, the selected
// game, the update and launch managers' checks, the code prompt and the session values. The main
// dialog implements it; the login calls it on the GUI thread only.

#include <memory>
#include <string>

#include "account/sms_code_prompt.h"
#include "config/launcher_config.h"

namespace platform {
class HttpClient;
}

class LoginOwner {
public:
    virtual ~LoginOwner() = default;

    // The update manager's m_bBusy: a check pass runs.
    virtual bool IsBusy() const = 0;
    // CCommonManager's fill of the game folder: 1, or -1 when the folder came out empty.
    virtual int FillGameDir() = 0;
    // The launch manager's CheckSelection: non-zero when a server is selected and fit to play;
    // on 0 it has shown its own message.
    virtual int CheckSelection() = 0;

    // The user-name and password boxes as typed, in UTF-8 as the widgets hold them; the login
    // turns them into the ANSI code page, which is what is counted, digested and sent.
    virtual std::string UserNameText() const = 0;
    virtual std::string PasswordText() const = 0;

    // The Launcher.ini entry of the selected game; its authDomain is the account service. Null
    // when no game is selected (the requests then cannot be made).
    virtual const GameInfo* SelectedGame() const = 0;

    // The code prompt of one attempt, shown again after each refused code. `domain` and `mobile`
    // are ANSI texts; all three stay alive while the prompt exists.
    virtual std::unique_ptr<SmsCodePrompt> MakeSmsCodePrompt(const std::string& domain,
                                                             const std::string& mobile,
                                                             platform::HttpClient& http) = 0;

    // A successful login: the application's m_strUserId, m_strUserKey and m_strUnderage (ANSI
    // texts) and the dialog's m_bLoggedIn.
    virtual void StoreSession(const std::string& userId, const std::string& userKey,
                              const std::string& underage) = 0;
};
