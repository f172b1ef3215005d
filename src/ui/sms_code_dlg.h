#pragma once
// The SMS code dialog: the widgets of the second-factor prompt around CSmsCodeLogic, which keeps
// what lasts between displays (countdown, accepted code). Each Run is one modal display. Its
// controls carry object names for the program's tests: "editCode", "btnGetCode", "btnOk",
// "btnCancel", "staticIntro", and the countdown timer "timerCountdown". GUI thread only.

#include <optional>
#include <string>

#include <QDialog>
#include <QTimer>

#include "account/sms_code_logic.h"
#include "account/sms_code_prompt.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace platform {
class HttpClient;
}

namespace ui {

class CSmsCodeDlg final : public QDialog, public account::SmsCodePrompt {
    Q_OBJECT

public:
    // `domain` and `mobile` are ANSI texts; `http` is the login attempt's client, which the caller
    // keeps alive while the dialog exists. `owner` is the window the dialog is modal over; it
    // must outlive the dialog, which belongs to the caller (the login's prompt pointer).
    CSmsCodeDlg(std::string domain, std::string mobile, platform::HttpClient& http,
                QWidget* owner = nullptr);

    // Shows the dialog modally once: the code button ready with its first text, the code box
    // holding the code accepted before. Answers the accepted code (six ANSI bytes) on OK.
    std::optional<std::string> Run() override;

private slots:
    void OnGetCode();
    void OnTimer();
    void OnOK();

private:
    void CreateControls();
    void OnInitDialog();
    void ShowButton();

    QLineEdit* m_editCode = nullptr;
    QPushButton* m_btnGetCode = nullptr;
    QLabel* m_staticIntro = nullptr;
    QTimer m_timer;
    account::CSmsCodeLogic m_logic;
};

}  // namespace ui
