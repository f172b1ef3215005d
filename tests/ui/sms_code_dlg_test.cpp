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
    }

    template <class T = QPushButton>
    T* Child(const char* name) const {
        T* child = m_dlg->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QPushButton* GetCode() const { return Child("btnGetCode"); }
    QLineEdit* Edit() const { return Child<QLineEdit>("editCode"); }
    QTimer* Timer() const { return Child<QTimer>("timerCountdown"); }
    std::string ButtonText() const { return GetCode()->text().toStdString(); }

    // Periods of the countdown timer, as the event loop would deliver them.
    void Tick(int times = 1) const {
        for (int i = 0; i < times; ++i)
            ASSERT_TRUE(QMetaObject::invokeMethod(Timer(), "timeout"));
    }

    platform::HttpClient m_http{"Launcher"};
    std::optional<ui::CSmsCodeDlg> m_dlg;
};

// Dialog units of the template's font become pixels as the window system rounds them.
TEST_F(SmsCodeDlgTest, LayoutAndTheCodeButtonLockedUntilTheCountdownEnds) {
    EXPECT_EQ(m_dlg->size(), QSize(320, 182));
    EXPECT_EQ(Edit()->geometry(), QRect(30, 85, 123, 26));
    EXPECT_EQ(GetCode()->geometry(), QRect(164, 85, 141, 23));
    EXPECT_EQ(Child("btnCancel")->geometry(), QRect(167, 127, 75, 23));
    EXPECT_EQ(Child<QLabel>("staticIntro")->text().toStdString(),
              "您的账号开启了安全登陆功能,本次登陆需要安全手机:138 "
              "0000+5678进行验证(短信验证码每天上限为5次,此后为语音验证码).\n"
              "请点击下面的按钮来获取验证码进行验证:");

    QTest::mouseClick(GetCode(), Qt::LeftButton);
    EXPECT_EQ(m_messages.take(), Texts{"验证码已通过短信发送到138 0000+5678,请查收"});
    EXPECT_FALSE(GetCode()->isEnabled());
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_EQ(Timer()->interval(), 1000);
    Tick();
    EXPECT_EQ(ButtonText(), "59秒后重新获取验证码");
    Tick(60);
    EXPECT_EQ(ButtonText(), "点击获取短信验证码");
    EXPECT_TRUE(GetCode()->isEnabled());
    EXPECT_FALSE(Timer()->isActive());

    // A request that cannot reach the service leaves the button ready and the timer still.
    m_service.Stop();
    QTest::mouseClick(GetCode(), Qt::LeftButton);
    EXPECT_FALSE(m_http.LastError().empty());
    EXPECT_EQ(m_messages.take(), Texts{m_http.LastError()});
    EXPECT_TRUE(GetCode()->isEnabled());
    EXPECT_FALSE(Timer()->isActive());
}

// Two modal displays: the first takes digits only, refuses four of them and accepts six by
// Return (OK is the default) with the button locked; the second starts ready with the code in
// the box and is cancelled.
TEST_F(SmsCodeDlgTest, EachRunIsAFreshDisplayKeepingTheCode) {
    m_dlg->hide();
    QTimer::singleShot(0, &*m_dlg, [&] {
        QTest::mouseClick(GetCode(), Qt::LeftButton);
        Tick(15);
        QTest::keyClicks(Edit(), "12ab34");
        QTest::mouseClick(Child("btnOk"), Qt::LeftButton);
        QTest::keyClicks(Edit(), "56");
        QTest::keyClick(Edit(), Qt::Key_Return);
        if (m_dlg->isVisible())
            m_dlg->reject();
    });
    EXPECT_EQ(m_dlg->Run(), std::optional<std::string>("123456"));
    EXPECT_FALSE(Timer()->isActive());

    std::string seen;
    QTimer::singleShot(0, &*m_dlg, [&] {
        seen = Edit()->text().toStdString() + " " + ButtonText() + " " +
               (GetCode()->isEnabled() ? "enabled" : "disabled") + " " +
               (Timer()->isActive() ? "counting" : "still");
        QTest::keyClick(&*m_dlg, Qt::Key_Escape);
        if (m_dlg->isVisible())
            m_dlg->reject();
    });
    EXPECT_EQ(m_dlg->Run(), std::nullopt);
    EXPECT_EQ(seen, "123456 点击获取验证码 enabled still");
    EXPECT_EQ(m_messages.take(),
              (Texts{"验证码已通过短信发送到138 0000+5678,请查收", "验证码必须为6位数字"}));
}

}  // namespace
