#include "win32ui/sms_code_dlg.h"

#include <utility>

#include "platform/codepage.h"
#include "win32ui/resource_ids.h"
#include "win32ui/window_text.h"

namespace win32ui {

CSmsCodeDlg::CSmsCodeDlg(std::string domain, std::string mobile, platform::HttpClient& http,
                         HWND owner)
    : m_hOwner(owner), m_logic(std::move(domain), std::move(mobile), http) {}

std::optional<std::string> CSmsCodeDlg::Run() {
    const INT_PTR result =
        ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SMS_CODE_DIALOG),
                          m_hOwner, &CSmsCodeDlg::DialogProc, reinterpret_cast<LPARAM>(this));
    if (result != IDOK)
        return std::nullopt;
    return m_logic.Code();
}

INT_PTR CALLBACK CSmsCodeDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<CSmsCodeDlg*>(lParam)->m_hWnd = window;
    }
    auto* dialog = reinterpret_cast<CSmsCodeDlg*>(::GetWindowLongPtrW(window, DWLP_USER));
    return dialog != nullptr ? dialog->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CSmsCodeDlg::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return FALSE;  // the focus is set
        case WM_TIMER:
            if (wParam != account::CSmsCodeLogic::kTimerId)
                return FALSE;
            OnTimer();
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_GET_CODE:
                    if (HIWORD(wParam) == BN_CLICKED)
                        OnGetCode();
                    return TRUE;
                case IDOK:
                    OnOK();
                    return TRUE;
                case IDCANCEL:
                    ::EndDialog(m_hWnd, IDCANCEL);
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_DESTROY:
            // Neither the timer nor the button's lock outlives a display.
            ::KillTimer(m_hWnd, account::CSmsCodeLogic::kTimerId);
            ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
            m_hWnd = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

void CSmsCodeDlg::OnInitDialog() {
    m_logic.BeginDisplay();
    SetWindowTextUtf8(::GetDlgItem(m_hWnd, IDC_INTRO), m_logic.IntroText());
    const HWND code = ::GetDlgItem(m_hWnd, IDC_CODE);
    SetWindowTextUtf8(code, platform::AnsiToUtf8(m_logic.Code()));
    ::SetFocus(code);
    ShowButton();
}

void CSmsCodeDlg::OnGetCode() {
    if (m_logic.RequestCode())
        ::SetTimer(m_hWnd, account::CSmsCodeLogic::kTimerId, account::CSmsCodeLogic::kTimerPeriodMs,
                   nullptr);
    ShowButton();
}

void CSmsCodeDlg::OnTimer() {
    m_logic.Tick();
    if (!m_logic.TimerRunning())
        ::KillTimer(m_hWnd, account::CSmsCodeLogic::kTimerId);
    ShowButton();
}

void CSmsCodeDlg::OnOK() {
    if (m_logic.Accept(GetWindowTextUtf8(::GetDlgItem(m_hWnd, IDC_CODE))))
        ::EndDialog(m_hWnd, IDOK);
}

void CSmsCodeDlg::ShowButton() const {
    const account::CSmsCodeLogic::CodeButton& state = m_logic.Button();
    const HWND button = ::GetDlgItem(m_hWnd, IDC_GET_CODE);
    // A locked button cannot keep the focus: the code box takes it, ready for the code.
    if (!state.enabled && ::GetFocus() == button)
        ::SendMessageW(m_hWnd, WM_NEXTDLGCTL,
                       reinterpret_cast<WPARAM>(::GetDlgItem(m_hWnd, IDC_CODE)), TRUE);
    ::EnableWindow(button, state.enabled ? TRUE : FALSE);
    SetWindowTextUtf8(button, state.text);
}

}  // namespace win32ui
