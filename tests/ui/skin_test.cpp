#include "ui/skin.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/message_box_recorder.h"
#include "ui/my_button.h"
#include "ui/skin_bitmap.h"
#include "ui_test_support.h"

namespace {

using quend::test::MessageBoxRecorder;
using quend::test::TempDir;
using quend::test::writeFile;
using ui::CSkin;
using ui::SkinRect;

class SkinTest : public ::testing::Test {
protected:
    std::string IniPath() const { return m_dir.dir() + "Skin.ini"; }
    std::string Missing(const std::string& key) const {
        return "无法从" + IniPath() + "中读取" + key;
    }

    TempDir m_dir;
    MessageBoxRecorder m_messages;
};

TEST_F(SkinTest, ValuesRectanglesAndImagePathsFollowTheFileRules) {
    writeFile(IniPath(),
              "[skin]\r\n"
              "MAINDIALOG=\\main.bmp\r\n"
              "Glued=btn.bmp\r\n"
              "Empty=\r\n"
              "Long=" +
                  std::string(300, 'x') +
                  "\r\n"
                  "[Size]\r\n"
                  "GameButton_x=12px\r\n"
                  "GameButton_y=top\r\n"
                  "GameButton_height=  -7\r\n"
                  "Tree_x=99999999999\r\n"
                  "Tree_y=5\r\n"
                  "Tree_width=2147483647\r\n"
                  "Tree_height=+30\r\n");
    const CSkin skin(IniPath(), "Res\\Chs");

    EXPECT_EQ(skin.GetSkinImagePath("MainDialog"), "Res\\Chs\\main.bmp");
    EXPECT_EQ(skin.GetSkinImagePath("Glued"), "Res\\Chsbtn.bmp") << "nothing added between";
    EXPECT_EQ(skin.GetSkinValue("Skin", "Long"), std::string(259, 'x'));
    EXPECT_TRUE(m_messages.texts().empty());

    EXPECT_EQ(skin.GetSkinImagePath("Empty"), "");
    EXPECT_EQ(skin.GetSkinRect("GameButton"), (SkinRect{12, 0, 12, -7}));
    EXPECT_EQ(m_messages.texts(),
              (std::vector<std::string>{Missing("Empty"), Missing("GameButton_width")}));

    // Numbers beyond int stay at its limits instead of overflowing.
    const SkinRect tree = skin.GetSkinRect("Tree");
    EXPECT_EQ(tree.left, 2147483647);
    EXPECT_EQ(tree.top, 5);
    EXPECT_EQ(tree.right, 2147483647);
    EXPECT_EQ(tree.height(), 30);
}

// Image paths are data in the ANSI code page: a GBK character whose second byte is a backslash
// stays whole when the separators are mapped.
TEST(SkinFileNameTest, PathsBecomeLocalFileNames) {
    ::setenv("QUEND_CODEPAGE", "GBK", 1);
    EXPECT_EQ(ui::SkinFileName("Res\\\x95\x5C\\Start.bmp"), QString("Res/昞/Start.bmp"));
    EXPECT_EQ(ui::SkinFileName("/abs\\Chs\\\\b.bmp"), QString("/abs/Chs/b.bmp"));
}

// Without the file every key read is reported, in the order of reading.
TEST_F(SkinTest, AMissingFileReportsEachKeyInTheOrderRead) {
    const CSkin skin(IniPath(), "Res\\Chs");
    ui::CMyButton start;

    EXPECT_EQ(skin.GetSkinImagePath("MainDialog"), "");
    EXPECT_EQ(skin.GetSkinRect("GameButton"), SkinRect{});
    start.SetImages(skin, "Start");
    EXPECT_EQ(start.CurrentImagePath(), "");

    EXPECT_EQ(m_messages.texts(),
              (std::vector<std::string>{
                  Missing("MainDialog"), Missing("GameButton_x"), Missing("GameButton_y"),
                  Missing("GameButton_width"), Missing("GameButton_height"), Missing("StartNormal"),
                  Missing("StartOver"), Missing("StartPush"), Missing("StartDisable")}));
}

}  // namespace
