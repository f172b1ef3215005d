#include "launch/common_manager.h"

#include <gtest/gtest.h>

#include "launch_test_util.h"

namespace {

using namespace quend::test;

struct GameDirRecorder final : CommonOwner {
    void SetGameDir(std::string dir) override { gameDir = std::move(dir); }
    std::string gameDir = "unset";
};

TEST(CommonManager, TheGameFolderIsTheParentOfTheWorkingFolder) {
    TempDir dir;
    std::filesystem::create_directories(dir / "Games" / "Launcher");
    GameDirRecorder owner;
    CCommonManager manager;
    manager.SetOwner(&owner);
    {
        WorkingFolder inside(dir / "Games" / "Launcher");
        EXPECT_EQ(manager.FillGameDir(), 1);
        EXPECT_EQ(owner.gameDir, std::filesystem::canonical(dir / "Games").string() + "/");
    }
    {
        WorkingFolder root("/");
        EXPECT_EQ(manager.FillGameDir(), 1);
        EXPECT_EQ(owner.gameDir, "/");
    }
    {
        // A working folder that no longer exists gives no game folder.
        WorkingFolder gone(dir / "Games" / "Launcher");
        std::filesystem::remove(dir / "Games" / "Launcher");
        EXPECT_EQ(manager.FillGameDir(), -1);
        EXPECT_EQ(owner.gameDir, "");
    }
}

}  // namespace
