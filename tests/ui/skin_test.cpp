// Skin.ini values, rectangles and image paths, and image paths as local file names. The order
// in which a missing file reports its keys is checked through the main window.
#include "ui/skin.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/message_box_recorder.h"
#include "ui/skin_bitmap.h"
#include "ui_test_support.h"

namespace {

using ui::SkinRect;

TEST(SkinTest, ValuesRectanglesAndImagePathsFollowTheFileRules) {
    quend::test::MessageBoxRecorder messages;
    quend::test::TempDir dir;
    const std::string ini = dir.dir() + "Skin.ini";
    quend::test::writeFile(ini,
                           "[skin]\r\nMAINDIALOG=\\main.bmp\r\nGlued=btn.bmp\r\nEmpty=\r\n"
                           "Long=" +
                               std::string(300, 'x') +
                               "\r\n[Size]\r\nGameButton_x=12px\r\nGameButton_y=top\r\n"
                               "GameButton_height=  -7\r\nTree_x=99999999999\r\n"
                               "Tree_y=5\r\nTree_width=2147483647\r\nTree_height=+30\r\n");
    const ui::CSkin skin(ini, "Res\\Chs");

    EXPECT_EQ(skin.GetSkinImagePath("MainDialog"), "Res\\Chs\\main.bmp");
    EXPECT_EQ(skin.GetSkinImagePath("Glued"), "Res\\Chsbtn.bmp") << "nothing added between";
    EXPECT_EQ(skin.GetSkinValue("Skin", "Long"), std::string(259, 'x'));
    EXPECT_TRUE(messages.texts().empty());

    EXPECT_EQ(skin.GetSkinImagePath("Empty"), "");
    EXPECT_EQ(skin.GetSkinRect("GameButton"), (SkinRect{12, 0, 12, -7}));
    EXPECT_EQ(messages.texts(),
              (std::vector<std::string>{"无法从" + ini + "中读取Empty",
                                        "无法从" + ini + "中读取GameButton_width"}));
    // Numbers beyond int stay at its limits instead of overflowing.
    EXPECT_EQ(skin.GetSkinRect("Tree"), (SkinRect{2147483647, 5, 2147483647, 35}));
}

// Image paths are data in the ANSI code page: a GBK character whose second byte is a backslash
// stays whole when the separators are mapped.
TEST(SkinTest, PathsBecomeLocalFileNames) {
    ::setenv("QUEND_CODEPAGE", "GBK", 1);
    EXPECT_EQ(ui::SkinFileName("Res\\\x95\x5C\\Start.bmp"), QString("Res/昞/Start.bmp"));
    EXPECT_EQ(ui::SkinFileName("/abs\\Chs\\\\b.bmp"), QString("/abs/Chs/b.bmp"));
}

}  // namespace
