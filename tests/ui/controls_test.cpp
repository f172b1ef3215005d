// The skinned button's image by state and the skinned text box's background and text colour.
#include <string>

#include <gtest/gtest.h>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include "support/message_box_recorder.h"
#include "ui/my_button.h"
#include "ui/my_edit.h"
#include "ui/skin.h"
#include "ui_test_support.h"

namespace {

using quend::test::pixelAt;
using quend::test::writeBitmap;

const QColor kNormal(10, 20, 200), kOver(20, 200, 30), kPush(200, 30, 40), kDisable(90, 90, 90);

// A shown window with one 40x20 button whose four skin images are plain colours.
class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string ini = "[Skin]\n";
        for (const auto& [state, colour] : {std::pair{"Normal", kNormal},
                                            {"Over", kOver},
                                            {"Push", kPush},
                                            {"Disable", kDisable}}) {
            writeBitmap(Image(state), QSize(40, 20), colour);
            ini += std::string("Start") + state + "=/Start" + state + ".bmp\n";
        }
        quend::test::writeFile(m_dir / "Skin.ini", ini);
        m_button.setParent(&m_window);
        m_button.setGeometry(50, 30, 40, 20);
        m_button.SetImages(ui::CSkin(m_dir.dir() + "Skin.ini", m_dir.dir() + "Chs"), "Start");
        m_window.resize(200, 100);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    std::string Image(const std::string& state) const {
        return m_dir.dir() + "Chs/Start" + state + ".bmp";
    }
    QColor Shown() { return pixelAt(m_button.grab().toImage(), 20, 10); }

    quend::test::TempDir m_dir;
    quend::test::MessageBoxRecorder m_messages;
    QWidget m_window;  // before the button, so that it goes after it
    ui::CMyButton m_button;
};

TEST_F(ButtonTest, ImageFollowsPressedThenHoverThenDisabledThenNormal) {
    EXPECT_EQ(Shown(), kNormal);
    m_button.setEnabled(false);
    EXPECT_EQ(Shown(), kDisable);
    m_button.setEnabled(true);
    QTest::mouseMove(&m_button, QPoint(20, 10));
    EXPECT_EQ(Shown(), kOver);

    // The click handler disables the button while the mouse is still on it: hover wins.
    int clicks = 0;
    QObject::connect(&m_button, &QAbstractButton::clicked, [&] {
        ++clicks;
        m_button.setEnabled(false);
    });
    QTest::mousePress(&m_button, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(Shown(), kPush);
    QTest::mouseRelease(&m_button, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(Shown(), kOver);

    QTest::mouseMove(&m_window, QPoint(150, 80));
    EXPECT_FALSE(m_button.IsHover());
    EXPECT_EQ(Shown(), kDisable);
    m_button.setEnabled(true);
    EXPECT_EQ(Shown(), kNormal);
    EXPECT_TRUE(m_messages.texts().empty());
}

// That the caption is never drawn shows in the window flow, which compares the whole button
// with its image.
TEST_F(ButtonTest, ImagesAreReadAtEachPaintAndNeverStretched) {
    EXPECT_EQ(Shown(), kNormal);
    // Twice the button's size: only the top-left quarter shows, unstretched.
    QImage big(80, 40, QImage::Format_RGB32);
    big.fill(kPush);
    QPainter(&big).fillRect(0, 0, 40, 20, kOver);
    writeBitmap(Image("Normal"), big);
    EXPECT_EQ(pixelAt(m_button.grab().toImage(), 39, 19), kOver);

    m_button.SetImagePaths(Image("Disable"), "", "", "");
    EXPECT_EQ(Shown(), kDisable);
    m_button.SetImagePaths(Image("none"), "", "", "");
    EXPECT_NE(Shown(), kNormal) << "an unreadable image draws nothing";
    EXPECT_NE(Shown(), kDisable);
}

TEST(EditTest, BackgroundIsTiledAndTextIsWhite) {
    quend::test::TempDir dir;
    QImage tile(4, 4, QImage::Format_RGB32);
    tile.fill(QColor(0, 0, 160));
    tile.setPixelColor(0, 0, QColor(200, 0, 0));
    writeBitmap(dir.dir() + "TextBox.bmp", tile);
    QWidget window;
    ui::CMyEdit plain(&window);
    ui::CMyEdit edit(&window);
    edit.setGeometry(10, 10, 120, 24);
    plain.SetBackground(dir.dir() + "none.bmp", Qt::white);
    edit.SetBackground(dir.dir() + "TextBox.bmp", Qt::white);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(plain.HasBackground());

    const QImage empty = edit.grab().toImage();
    for (const QPoint at : {QPoint(0, 0), QPoint(4, 0), QPoint(8, 12), QPoint(116, 20)})
        EXPECT_EQ(pixelAt(empty, at.x(), at.y()), QColor(200, 0, 0)) << at.x() << "," << at.y();
    EXPECT_EQ(pixelAt(empty, 1, 0), QColor(0, 0, 160));

    edit.setFocus();
    QTest::keyClicks(&edit, "WWW");
    const QImage typed = edit.grab().toImage();
    int white = 0;
    for (int y = 0; y < typed.height(); ++y) {
        for (int x = 0; x < typed.width(); ++x)
            white += pixelAt(typed, x, y) == QColor(Qt::white);
    }
    EXPECT_GT(white, 5) << "the text is drawn in white";
}

}  // namespace
