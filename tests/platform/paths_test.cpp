// A path splits at its last separator of either kind; the folder keeps it.

#include "platform/paths.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(Paths, APathSplitsAtItsLastSeparator) {
    const struct {
        std::string path, folder, fileName;
    } cases[] = {
        {"/opt/game/Launcher/Launcher", "/opt/game/Launcher/", "Launcher"},
        {"D:\\Games\\Launcher\\Temp.exe", "D:\\Games\\Launcher\\", "Temp.exe"},
        {"C:\\a/b\\c.exe", "C:\\a/b\\", "c.exe"},
        {"Launcher.exe", "", "Launcher.exe"},
        {"/game/", "/game/", ""},
        {"/", "/", ""},
        {"", "", ""},
    };
    for (const auto& [path, folder, fileName] : cases) {
        EXPECT_EQ(platform::GetFolderPart(path), folder) << path;
        EXPECT_EQ(platform::GetFileNamePart(path), fileName) << path;
    }
}

}  // namespace
