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
constexpr char kMobile[] = "138 0000+5678";

// Bobby's first login is done, so the client holds the session a code request needs; the dialog
// is shown but never run modally unless a case says so.
class SmsCodeDlgTest : public quend::test::AccountTest {
protected:
    void SetUp() override {
        AccountTest::SetUp();
        std::string body;
        ASSERT_TRUE(
            m_http.GetText(MakeLoginUrl(Domain(), "bobby", CMD5().GetStringMD5("hunter22")), body));
        ASSERT_EQ(body, std::string(kMobile) + "\n");
        m_dlg.emplace(Domain(), kMobile, m_http);
        m_dlg->show();
    }

    template <class T>
    T* Child(const char* name) const {
        T* child = m_dlg->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QPushButton* GetCode() const { return Child<QPushButton>("btnGetCode"); }
    QLineEdit* Edit() const { return Child<QLineEdit>("editCode"); }
    QTimer* Timer() const { return Child<QTimer>("timerCountdown"); }
    std::string ButtonText() const { return GetCode()->text().toStdString(); }

    // One period of the countdown timer, as the event loop would deliver it.
    void Tick(int times = 1) const {
        for (int i = 0; i < times; ++i)
            ASSERT_TRUE(QMetaObject::invokeMethod(Timer(), "timeout"));
    }

    platform::HttpClient m_http{"Launcher"};
    std::optional<ui::CSmsCodeDlg> m_dlg;
};

TEST_F(SmsCodeDlgTest, TemplateTextsAndLayout) {
    EXPECT_EQ(m_dlg->windowTitle().toStdString(), "Dialog");
    EXPECT_EQ(m_dlg->size(), QSize(320, 182));
    EXPECT_EQ(Child<QLabel>("staticIntro")->text().toStdString(),
              "您的账号开启了安全登陆功能,本次登陆需要安全手机:138 "
              "0000+5678进行验证(短信验证码每天上限为5次,此后为语音验证码).\n"
              "请点击下面的按钮来获取验证码进行验证:");
    EXPECT_EQ(Edit()->geometry(), QRect(30, 85, 123, 26));
    EXPECT_EQ(GetCode()->geometry(), QRect(164, 85, 141, 23));
    EXPECT_EQ(ButtonText(), "点击获取验证码");
    EXPECT_TRUE(Child<QPushButton>("btnOk")->isDefault());
    EXPECT_EQ(Child<QPushButton>("btnCancel")->geometry(), QRect(167, 127, 75, 23));
}

TEST_F(SmsCodeDlgTest, RequestLocksTheButtonForSixtyOneTicks) {
    QTest::mouseClick(GetCode(), Qt::LeftButton);
    EXPECT_EQ(m_messages.take(), Texts{"验证码已通过短信发送到138 0000+5678,请查收"});
    EXPECT_FALSE(GetCode()->isEnabled());
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_EQ(Timer()->interval(), 1000);

    QTest::mouseClick(GetCode(), Qt::LeftButton);
    EXPECT_EQ(RequestCount(), 2u) << "a locked button sends nothing";

    Tick();
    EXPECT_EQ(ButtonText(), "59秒后重新获取验证码");
    Tick(59);
    EXPECT_EQ(ButtonText(), "0秒后重新获取验证码");
    EXPECT_FALSE(GetCode()->isEnabled());
    Tick();
    EXPECT_EQ(ButtonText(), "点击获取短信验证码");
    EXPECT_TRUE(GetCode()->isEnabled());
    EXPECT_FALSE(Timer()->isActive());

    QTest::mouseClick(GetCode(), Qt::LeftButton);
    EXPECT_EQ(RequestCount(), 3u);
    EXPECT_FALSE(GetCode()->isEnabled());
}

TEST_F(SmsCodeDlgTest, UnreachableServiceLeavesTheButtonReady) {
    m_service.Stop();
    QTest::mouseClick(GetCode(), Qt::LeftButton);
    EXPECT_FALSE(m_http.LastError().empty());
    EXPECT_EQ(m_messages.take(), Texts{m_http.LastError()});
    EXPECT_TRUE(GetCode()->isEnabled());
    EXPECT_FALSE(Timer()->isActive());
}

TEST_F(SmsCodeDlgTest, DigitsOnlyAndSixOfThem) {
    QTest::keyClicks(Edit(), "12ab34");
    EXPECT_EQ(Edit()->text().toStdString(), "1234");
    QTest::mouseClick(Child<QPushButton>("btnOk"), Qt::LeftButton);
    QTest::keyClicks(Edit(), "567");
    QTest::keyClick(Edit(), Qt::Key_Return);
    EXPECT_EQ(m_messages.take(), (Texts{"验证码必须为6位数字", "验证码必须为6位数字"}));
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_EQ(m_dlg->result(), QDialog::Rejected);
}

// Two modal displays: the first accepts a code with the button locked, the second starts ready
// with the code in the box and is cancelled.
TEST_F(SmsCodeDlgTest, EachRunIsAFreshDisplayKeepingTheCode) {
    m_dlg->hide();
    std::string seen;
    QTimer::singleShot(0, &*m_dlg, [&] {
        QTest::mouseClick(GetCode(), Qt::LeftButton);
        Tick(15);
        QTest::keyClicks(Edit(), "654321");
        QTest::mouseClick(Child<QPushButton>("btnOk"), Qt::LeftButton);
        if (m_dlg->isVisible())
            m_dlg->reject();
    });
    EXPECT_EQ(m_dlg->Run(), std::optional<std::string>("654321"));
    EXPECT_FALSE(Timer()->isActive());

    QTimer::singleShot(0, &*m_dlg, [&] {
        seen = Edit()->text().toStdString() + " " + ButtonText() + " " +
               (GetCode()->isEnabled() ? "enabled" : "disabled") + " " +
               (Timer()->isActive() ? "counting" : "still");
        QTest::keyClick(m_dlg.operator->(), Qt::Key_Escape);
        if (m_dlg->isVisible())
            m_dlg->reject();
    });
    EXPECT_EQ(m_dlg->Run(), std::nullopt);
    EXPECT_EQ(seen, "654321 点击获取验证码 enabled still");
    EXPECT_EQ(m_messages.take(), Texts{"验证码已通过短信发送到138 0000+5678,请查收"});
}

}  // namespace
