// The skinned button's image by state, the skinned text box's look, skin paths as file names.
#include <algorithm>
#include <string>

#include <gtest/gtest.h>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include "frontend/skin.h"
#include "support/message_box_recorder.h"
#include "support/qt_support.h"
#include "ui/my_button.h"
#include "ui/my_edit.h"
#include "ui/skin_bitmap.h"

namespace {

using namespace quend::test;

// The skin's images in a temporary folder, and a shown window to put a control on.
class SkinnedControlsTest : public ::testing::Test {
protected:
    std::string Image(const std::string& name) const {
        return m_dir.dir() + "Chs/" + name + ".bmp";
    }
    void Show() {
        m_window.resize(200, 100);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    TempDir m_dir;
    MessageBoxRecorder m_messages;
    QWidget m_window;
};

// A 40x20 button whose four skin images are plain colours. That the button's caption is never
// drawn shows in the window flow, which compares the whole button with its image.
TEST_F(SkinnedControlsTest, AButtonShowsTheImageOfItsState) {
    const QColor kNormal(10, 20, 200), kOver(20, 200, 30), kPush(200, 30, 40), kDisable(90, 90, 90);
    std::string ini = "[Skin]\n";
    for (const auto& [state, colour] :
         {std::pair{"Normal", kNormal}, {"Over", kOver}, {"Push", kPush}, {"Disable", kDisable}}) {
        QImage face(40, 20, QImage::Format_RGB32);
        face.fill(colour);
        writeBitmap(Image(std::string("Start") + state), face);
        ini += std::string("Start") + state + "=/Start" + state + ".bmp\n";
    }
    writeFile(m_dir / "Skin.ini", ini);
    ui::CMyButton button(&m_window);
    button.setGeometry(50, 30, 40, 20);
    button.SetImages(frontend::CSkin(m_dir.dir() + "Skin.ini", m_dir.dir() + "Chs"), "Start");
    Show();
    const auto shown = [&] { return button.grab().toImage().pixelColor(20, 10); };

    EXPECT_EQ(shown(), kNormal);
    button.setEnabled(false);
    EXPECT_EQ(shown(), kDisable);
    button.setEnabled(true);
    QTest::mouseMove(&button, QPoint(20, 10));
    EXPECT_EQ(shown(), kOver);
    // The click handler disables the button while the mouse is still on it: hover wins.
    QObject::connect(&button, &QAbstractButton::clicked, [&] { button.setEnabled(false); });
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(shown(), kPush);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(shown(), kOver);
    QTest::mouseMove(&m_window, QPoint(150, 80));
    EXPECT_EQ(shown(), kDisable);
    button.setEnabled(true);
    EXPECT_EQ(shown(), kNormal);
    EXPECT_TRUE(m_messages.texts().empty());

    // An image twice the button's size, read at the next paint: its top-left quarter, unstretched.
    QImage big(80, 40, QImage::Format_RGB32);
    big.fill(kPush);
    QPainter(&big).fillRect(0, 0, 40, 20, kOver);
    writeBitmap(Image("StartNormal"), big);
    EXPECT_EQ(button.grab().toImage().pixelColor(39, 19), kOver);
}

// A text box on a tiled image.
TEST_F(SkinnedControlsTest, TheTextBoxIsTiledWithItsImageAndWritesInWhite) {
    QImage tile(4, 4, QImage::Format_RGB32);
    tile.fill(QColor(0, 0, 160));
    tile.setPixelColor(0, 0, QColor(200, 0, 0));
    writeBitmap(Image("TextBox"), tile);
    ui::CMyEdit edit(&m_window);
    edit.setGeometry(10, 70, 120, 24);
    edit.SetBackground(Image("TextBox"), Qt::white);
    Show();

    const QImage empty = edit.grab().toImage();
    for (const QPoint at : {QPoint(0, 0), QPoint(4, 0), QPoint(8, 12), QPoint(116, 20)})
        EXPECT_EQ(empty.pixelColor(at), QColor(200, 0, 0)) << at.x() << "," << at.y();
    EXPECT_EQ(empty.pixelColor(1, 0), QColor(0, 0, 160));
    edit.setFocus();
    QTest::keyClicks(&edit, "WWW");
    const QImage typed = edit.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto* pixels = reinterpret_cast<const QRgb*>(typed.constBits());
    EXPECT_GT(std::count(pixels, pixels + typed.sizeInBytes() / 4, qRgb(255, 255, 255)), 5)
        << "the text is drawn in white";
    ui::CMyEdit plain;
    plain.SetBackground(Image("none"), Qt::white);
    EXPECT_FALSE(plain.HasBackground());
}

// Image paths are ANSI data: a GBK character whose second byte is a backslash stays whole.
TEST_F(SkinnedControlsTest, ImagePathsBecomeLocalFileNames) {
    ::setenv("QUEND_CODEPAGE", "GBK", 1);
    EXPECT_EQ(ui::SkinFileName("Res\\\x95\x5C\\Start.bmp"), QString("Res/昞/Start.bmp"));
    EXPECT_EQ(ui::SkinFileName("/abs\\Chs\\\\b.bmp"), QString("/abs/Chs/b.bmp"));
}

}  // namespace
