#pragma once
// What the SMS code dialog does, without its widgets: the intro text, the code request, the
// 60-second lock of the code button driven by the dialog's 1000 ms timer, and the code check.
// One object lives for one login attempt and outlives the dialog's displays. GUI thread only.

#include <string>
#include <string_view>

namespace platform {
class HttpClient;
}

namespace account {

class CSmsCodeLogic final {
public:
    static constexpr int kCountdownStart = 60;
    static constexpr unsigned kTimerId = 0x1002;
    static constexpr int kTimerPeriodMs = 1000;

    // The code button as the dialog shows it; the text is UTF-8.
    struct CodeButton {
        bool enabled = true;
        std::string text;
    };

    // `domain` and `mobile` are ANSI texts; `http` is the login attempt's client, kept alive by
    // the caller while this object exists.
    CSmsCodeLogic(std::string domain, std::string mobile, platform::HttpClient& http);

    // The text above the code box (UTF-8), naming the mobile text.
    std::string IntroText() const;

    // A display begins: the button is ready with its first text and no timer runs. The
    // countdown and the accepted code carry over from earlier displays.
    void BeginDisplay();

    // The code button was pressed. Asks the service for a code and shows its answer; then the
    // button is locked and the timer is to run. False, with the button left ready, when the
    // button was locked or the request could not be completed (its reason shown).
    bool RequestCode();

    // One timer period passed: counts down, and after the last second stops the timer and makes
    // the button ready again. Nothing while the timer is stopped.
    void Tick();

    // The player accepted `boxText` (UTF-8): true and kept as the code when it is exactly six
    // bytes, else the refusal is shown and the display goes on.
    bool Accept(std::string_view boxText);

    const CodeButton& Button() const { return m_button; }
    bool TimerRunning() const { return m_bTimer; }
    int Countdown() const { return m_nCountdown; }
    // The accepted code in ANSI bytes; the code box starts with it.
    const std::string& Code() const { return m_strCode; }

private:
    std::string m_domain;
    std::string m_mobile;
    platform::HttpClient* m_pHttp;
    int m_nCountdown = kCountdownStart;
    std::string m_strCode;
    CodeButton m_button;
    bool m_bTimer = false;
};

}  // namespace account
