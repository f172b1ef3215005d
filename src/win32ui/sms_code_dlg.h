#pragma once
// The SMS code dialog on Windows: dialog template 143 around CSmsCodeLogic, which keeps what
// lasts between displays (countdown, accepted code). Each Run is one modal display over the
// owner window, with the code button's timer (0x1002, one second). GUI thread only.

#include <windows.h>

#include <optional>
#include <string>

#include "account/sms_code_logic.h"
#include "account/sms_code_prompt.h"

namespace platform {
class HttpClient;
}

namespace win32ui {

class CSmsCodeDlg final : public account::SmsCodePrompt {
public:
    // `domain` and `mobile` are ANSI texts; `http` is the login attempt's client, which the caller
    // keeps alive while the dialog exists; `owner` is the window the dialog is modal over.
    CSmsCodeDlg(std::string domain, std::string mobile, platform::HttpClient& http, HWND owner);

    // Shows the dialog modally once: the code button ready with its first text, the code box
    // holding the code accepted before. Answers the accepted code (six ANSI bytes) on OK.
    std::optional<std::string> Run() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnGetCode();
    void OnTimer();
    void OnOK();
    void ShowButton() const;

    HWND m_hWnd = nullptr;
    HWND m_hOwner;
    account::CSmsCodeLogic m_logic;
};

}  // namespace win32ui
