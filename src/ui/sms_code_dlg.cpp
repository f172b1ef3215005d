#include "ui/sms_code_dlg.h"

#include <utility>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include "platform/codepage.h"

namespace ui {
namespace {

// Dialog units of an 8-point "MS Shell Dlg" dialog to pixels at 96 dpi: the font's average
// character is 6 x 13 pixels, a dialog unit a quarter of its width and an eighth of its height.
// Rounds half away from zero, as the window system's conversion does.
constexpr int DluToPixels(int units, int charPixels, int unitsPerChar) {
    return (units * charPixels * 2 + unitsPerChar) / (unitsPerChar * 2);
}
constexpr int DluX(int units) {
    return DluToPixels(units, 6, 4);
}
constexpr int DluY(int units) {
    return DluToPixels(units, 13, 8);
}

QRect DluRect(int x, int y, int w, int h) {
    return QRect(DluX(x), DluY(y), DluX(w), DluY(h));
}

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

CSmsCodeDlg::CSmsCodeDlg(std::string domain, std::string mobile, platform::HttpClient& http,
                         QWidget* owner)
    : QDialog(owner), m_timer(this), m_logic(std::move(domain), std::move(mobile), http) {
    setWindowTitle(QStringLiteral("Dialog"));
    setFixedSize(DluX(213), DluY(112));
    CreateControls();
    m_timer.setObjectName(QStringLiteral("timerCountdown"));
    m_timer.setInterval(account::CSmsCodeLogic::kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &CSmsCodeDlg::OnTimer);
    OnInitDialog();
}

void CSmsCodeDlg::CreateControls() {
    m_staticIntro = new QLabel(this);
    m_staticIntro->setObjectName(QStringLiteral("staticIntro"));
    m_staticIntro->setGeometry(DluRect(17, 15, 189, 35));
    m_staticIntro->setWordWrap(true);
    // It holds the service's mobile text: markup in it stays text.
    m_staticIntro->setTextFormat(Qt::PlainText);
    m_staticIntro->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Digits only, as typed or pasted; the length is checked when the code is accepted, so a box
    // of any length is fine.
    m_editCode = new QLineEdit(this);
    m_editCode->setObjectName(QStringLiteral("editCode"));
    m_editCode->setGeometry(DluRect(20, 52, 82, 16));
    m_editCode->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_editCode));

    m_btnGetCode = new QPushButton(this);
    m_btnGetCode->setObjectName(QStringLiteral("btnGetCode"));
    m_btnGetCode->setGeometry(DluRect(109, 52, 94, 14));
    connect(m_btnGetCode, &QPushButton::clicked, this, &CSmsCodeDlg::OnGetCode);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("btnOk"));
    ok->setGeometry(DluRect(41, 78, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CSmsCodeDlg::OnOK);

    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    cancel->setGeometry(DluRect(111, 78, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<std::string> CSmsCodeDlg::Run() {
    OnInitDialog();
    const int result = exec();
    // Neither the timer nor the button's lock outlives a display.
    m_timer.stop();
    if (result != QDialog::Accepted)
        return std::nullopt;
    return m_logic.Code();
}

void CSmsCodeDlg::OnInitDialog() {
    m_timer.stop();
    m_logic.BeginDisplay();
    m_staticIntro->setText(FromUtf8(m_logic.IntroText()));
    m_editCode->setText(FromUtf8(platform::AnsiToUtf8(m_logic.Code())));
    m_editCode->setFocus();
    ShowButton();
}

void CSmsCodeDlg::OnGetCode() {
    if (m_logic.RequestCode())
        m_timer.start();
    ShowButton();
}

void CSmsCodeDlg::OnTimer() {
    m_logic.Tick();
    if (!m_logic.TimerRunning())
        m_timer.stop();
    ShowButton();
}

void CSmsCodeDlg::OnOK() {
    if (m_logic.Accept(m_editCode->text().toStdString()))
        accept();
}

void CSmsCodeDlg::ShowButton() {
    const account::CSmsCodeLogic::CodeButton& button = m_logic.Button();
    m_btnGetCode->setEnabled(button.enabled);
    m_btnGetCode->setText(FromUtf8(button.text));
}

}  // namespace ui
