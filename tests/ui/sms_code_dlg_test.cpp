// The SMS code dialog's widgets around its logic, against the account service on loopback.
#include "ui/sms_code_dlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "account/account_fixture.h"
#include "account/account_urls.h"
#include "patch/md5.h"
#include "platform/http_client.h"

namespace {

using Texts = std::vector<std::string>;
const std::string kSent = "验证码已通过短信发送到138 0000+5678,请查收";

// Bobby's first login is done, so the client holds the session a code request needs; the dialog
// is shown but never run modally unless a case says so.
class SmsCodeDlgTest : public quend::test::AccountTest {
protected:
    void SetUp() override {
        AccountTest::SetUp();
        std::string body;
        ASSERT_TRUE(
            m_http.GetText(MakeLoginUrl(Domain(), "bobby", CMD5().GetStringMD5("hunter22")), body));
        m_dlg.emplace(Domain(), "138 0000+5678", m_http);
        m_dlg->show();
        m_getCode = m_dlg->findChild<QPushButton*>("btnGetCode");
        m_edit = m_dlg->findChild<QLineEdit*>("editCode");
        m_timer = m_dlg->findChild<QTimer*>("timerCountdown");
        ASSERT_TRUE(m_getCode && m_edit && m_timer);
    }

    // Periods of the countdown timer, as the event loop would deliver them.
    void Tick(int times) {
        for (int i = 0; i < times; ++i)
            ASSERT_TRUE(QMetaObject::invokeMethod(m_timer, "timeout"));
    }
    std::string State() const {
        return m_getCode->text().toStdString() + (m_getCode->isEnabled() ? " enabled" : "") +
               (m_timer->isActive() ? " counting" : "");
    }

    platform::HttpClient m_http{"Launcher"};
    std::optional<ui::CSmsCodeDlg> m_dlg;
    QPushButton* m_getCode = nullptr;
    QLineEdit* m_edit = nullptr;
    QTimer* m_timer = nullptr;
};

// Dialog units of the template's font become pixels as the window system rounds them.
TEST_F(SmsCodeDlgTest, LayoutAndTheCodeButtonLockedUntilTheCountdownEnds) {
    EXPECT_EQ(m_dlg->size(), QSize(320, 182));
    EXPECT_EQ(m_edit->geometry(), QRect(30, 85, 123, 26));
    EXPECT_EQ(m_getCode->geometry(), QRect(164, 85, 141, 23));
    EXPECT_EQ(m_dlg->findChild<QWidget*>("btnCancel")->geometry(), QRect(167, 127, 75, 23));
    EXPECT_EQ(m_dlg->findChild<QLabel*>("staticIntro")->text().toStdString(),
              "您的账号开启了安全登陆功能,本次登陆需要安全手机:138 "
              "0000+5678进行验证(短信验证码每天上限为5次,此后为语音验证码).\n"
              "请点击下面的按钮来获取验证码进行验证:");

    QTest::mouseClick(m_getCode, Qt::LeftButton);
    EXPECT_EQ(m_messages.take(), Texts{kSent});
    EXPECT_EQ(State(), "点击获取验证码 counting");
    EXPECT_EQ(m_timer->interval(), 1000);
    Tick(1);
    EXPECT_EQ(State(), "59秒后重新获取验证码 counting");
    Tick(60);
    EXPECT_EQ(State(), "点击获取短信验证码 enabled");

    // A request that cannot reach the service leaves the button ready and the timer still.
    m_service.Stop();
    QTest::mouseClick(m_getCode, Qt::LeftButton);
    EXPECT_FALSE(m_http.LastError().empty());
    EXPECT_EQ(m_messages.take(), Texts{m_http.LastError()});
    EXPECT_EQ(State(), "点击获取短信验证码 enabled");
}

// Two modal displays: the first takes digits only, refuses four of them and accepts six by
// Return (OK is the default) with the button locked; the second starts ready with the code in
// the box and is cancelled.
TEST_F(SmsCodeDlgTest, EachRunIsAFreshDisplayKeepingTheCode) {
    m_dlg->hide();
    QTimer::singleShot(0, &*m_dlg, [&] {
        QTest::mouseClick(m_getCode, Qt::LeftButton);
        Tick(15);
        QTest::keyClicks(m_edit, "12ab34");
        QTest::mouseClick(m_dlg->findChild<QPushButton*>("btnOk"), Qt::LeftButton);
        QTest::keyClicks(m_edit, "56");
        QTest::keyClick(m_edit, Qt::Key_Return);
        if (m_dlg->isVisible())
            m_dlg->reject();
    });
    EXPECT_EQ(m_dlg->Run(), std::optional<std::string>("123456"));
    EXPECT_FALSE(m_timer->isActive());

    std::string seen;
    QTimer::singleShot(0, &*m_dlg, [&] {
        seen = m_edit->text().toStdString() + " " + State();
        QTest::keyClick(&*m_dlg, Qt::Key_Escape);
        if (m_dlg->isVisible())
            m_dlg->reject();
    });
    EXPECT_EQ(m_dlg->Run(), std::nullopt);
    EXPECT_EQ(seen, "123456 点击获取验证码 enabled");
    EXPECT_EQ(m_messages.take(), (Texts{kSent, "验证码必须为6位数字"}));
}

}  // namespace
