// The SMS code dialog's widgets around its logic, against the account service on loopback.
#include "ui/sms_code_dlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "account/account_urls.h"
#include "patch/md5.h"
#include "platform/http_client.h"
#include "support/account_fixture.h"

namespace {

using Texts = std::vector<std::string>;
using SmsCodeDlgTest = quend::test::AccountTest;
const std::string kSent = "验证码已通过短信发送到138 0000+5678,请查收";

// Bobby's first login is done, so the client holds the session a code request needs. Dialog units
// of the template's font become pixels as the window system rounds them. Two modal displays follow:
// the first takes digits only, refuses four of them and accepts six by Return (OK is the default)
// with the button locked; the second starts ready with the code in the box and is cancelled.
TEST_F(SmsCodeDlgTest, TheWidgetsShowTheCodeLogicAcrossDisplays) {
    platform::HttpClient http("Launcher");
    std::string body;
    ASSERT_TRUE(http.GetText(
        account::MakeLoginUrl(Domain(), "bobby", patch::CMD5().GetStringMD5("hunter22")), body));
    ui::CSmsCodeDlg dlg(Domain(), "138 0000+5678", http);
    dlg.show();
    auto* getCode = dlg.findChild<QPushButton*>("btnGetCode");
    auto* edit = dlg.findChild<QLineEdit*>("editCode");
    auto* timer = dlg.findChild<QTimer*>("timerCountdown");
    ASSERT_TRUE(getCode && edit && timer);
    // Periods of the countdown timer, as the event loop would deliver them.
    const auto tick = [&](int times) {
        for (int i = 0; i < times; ++i)
            ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout"));
    };
    const auto state = [&] {
        return getCode->text().toStdString() + (getCode->isEnabled() ? " enabled" : "") +
               (timer->isActive() ? " counting" : "");
    };

    EXPECT_EQ(dlg.size(), QSize(320, 182));
    EXPECT_EQ(edit->geometry(), QRect(30, 85, 123, 26));
    EXPECT_EQ(getCode->geometry(), QRect(164, 85, 141, 23));
    EXPECT_EQ(dlg.findChild<QWidget*>("btnCancel")->geometry(), QRect(167, 127, 75, 23));
    EXPECT_EQ(dlg.findChild<QLabel*>("staticIntro")->text().toStdString(),
              "您的账号开启了安全登陆功能,本次登陆需要安全手机:138 "
              "0000+5678进行验证(短信验证码每天上限为5次,此后为语音验证码).\n"
              "请点击下面的按钮来获取验证码进行验证:");
    QTest::mouseClick(getCode, Qt::LeftButton);
    EXPECT_EQ(m_messages.take(), Texts{kSent});
    EXPECT_EQ(state(), "点击获取验证码 counting");
    EXPECT_EQ(timer->interval(), 1000);
    tick(1);
    EXPECT_EQ(state(), "59秒后重新获取验证码 counting");
    tick(60);
    EXPECT_EQ(state(), "点击获取短信验证码 enabled");

    dlg.hide();
    QTimer::singleShot(0, &dlg, [&] {
        QTest::mouseClick(getCode, Qt::LeftButton);
        tick(15);
        QTest::keyClicks(edit, "12ab34");
        QTest::mouseClick(dlg.findChild<QPushButton*>("btnOk"), Qt::LeftButton);
        QTest::keyClicks(edit, "56");
        QTest::keyClick(edit, Qt::Key_Return);
        if (dlg.isVisible())
            dlg.reject();
    });
    EXPECT_EQ(dlg.Run(), "123456");
    EXPECT_FALSE(timer->isActive());
    std::string seen;
    QTimer::singleShot(0, &dlg, [&] {
        seen = edit->text().toStdString() + " " + state();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        if (dlg.isVisible())
            dlg.reject();
    });
    EXPECT_EQ(dlg.Run(), std::nullopt);
    EXPECT_EQ(seen, "123456 点击获取验证码 enabled");
    EXPECT_EQ(m_messages.take(), (Texts{kSent, "验证码必须为6位数字"}));
}

// A service that answers its login with an HTML page gets its page shown as text, not rendered.
TEST_F(SmsCodeDlgTest, MarkupInTheMobileTextStaysText) {
    platform::HttpClient http("Launcher");
    ui::CSmsCodeDlg dlg(Domain(), "<html><b>500</b></html>", http);
    const QLabel* intro = dlg.findChild<QLabel*>("staticIntro");
    ASSERT_TRUE(intro);
    EXPECT_TRUE(intro->text().contains(QStringLiteral("<html><b>500</b></html>")));
    EXPECT_EQ(intro->textFormat(), Qt::PlainText);
}

}  // namespace
