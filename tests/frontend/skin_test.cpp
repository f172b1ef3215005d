// Skin.ini values, rectangles and image paths, and the order a window reads its layout in (a
// missing file reports it key by key). A button's image by state is painted in tests/ui.
#include "frontend/skin.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/message_box_recorder.h"
#include "support/test_support.h"

namespace {

using namespace quend::test;
using frontend::SkinRect;
using Texts = std::vector<std::string>;

TEST(SkinTest, ValuesFollowTheFileRules) {
    MessageBoxRecorder messages;
    TempDir dir;
    const std::string ini = dir.dir() + "Skin.ini";
    writeFile(ini,
              "[Size]\r\nGameButton_x=12px\r\nGameButton_y=top\r\nGameButton_height=  -7\r\n"
              "Tree_x=99999999999\r\nTree_y=5\r\nTree_width=2147483647\r\nTree_height=+30\r\n"
              "[skin]\r\nMAINDIALOG=\\main.bmp\r\nGlued=btn.bmp\r\nEmpty=\r\nLong=" +
                  std::string(300, 'x') + "\r\n");
    const frontend::CSkin skin(ini, "Res\\Chs");

    EXPECT_EQ(skin.GetSkinImagePath("MainDialog"), "Res\\Chs\\main.bmp");
    EXPECT_EQ(skin.GetSkinImagePath("Glued"), "Res\\Chsbtn.bmp") << "nothing added between";
    EXPECT_EQ(skin.GetSkinValue("Skin", "Long"), std::string(259, 'x'));
    EXPECT_TRUE(messages.texts().empty());

    EXPECT_EQ(skin.GetSkinImagePath("Empty"), "");
    EXPECT_EQ(skin.GetSkinRect("GameButton"), (SkinRect{12, 0, 12, -7}));
    EXPECT_EQ(messages.texts(),
              (Texts{"无法从" + ini + "中读取Empty", "无法从" + ini + "中读取GameButton_width"}));
    // Numbers beyond int stay at its limits instead of overflowing.
    EXPECT_EQ(skin.GetSkinRect("Tree"), (SkinRect{2147483647, 5, 2147483647, 35}));
}

// Without Skin.ini every key of the layout is reported, in the order a window reads them.
TEST(SkinTest, AMissingSkinReportsEveryKeyOfTheLayoutInOrder) {
    MessageBoxRecorder messages;
    const frontend::CSkin skin("/nonexistent/Skin.ini", "Res");
    const frontend::SkinLayout layout = skin.ReadLayout();
    Texts expected;
    const auto missing = [&](const std::string& key, std::vector<const char*> suffixes) {
        for (const char* suffix : suffixes)
            expected.push_back("无法从/nonexistent/Skin.ini中读取" + key + suffix);
    };
    const std::vector<const char*> rect = {"_x", "_y", "_width", "_height"};
    for (const char* name : {"GameButton", "DownProgress", "TotalProgress", "CashItem", "Notice",
                             "OneLineNotice", "Home", "Help", "Exit", "UserName", "Password"})
        missing(name, rect);
    missing("TextBox", {"", ""});
    for (const char* name : {"LSVRTree", "RSVRTree", "FileView"})
        missing(name, rect);
    for (const char* set : {"Start", "Home", "Help", "Exit"})
        missing(set, {"Normal", "Over", "Push", "Disable"});
    EXPECT_EQ(messages.take(), expected);
    EXPECT_EQ(layout.gameButton, SkinRect{});
    EXPECT_EQ(layout.start.normal, "");
}

}  // namespace
