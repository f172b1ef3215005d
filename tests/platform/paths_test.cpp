// Path splitting and joining, and names Windows would not store as given.

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
        {"", "", ""},
    };
    for (const auto& [path, folder, fileName] : cases) {
        EXPECT_EQ(platform::GetFolderPart(path), folder) << path;
        EXPECT_EQ(platform::GetFileNamePart(path), fileName) << path;
    }
}

#if defined(_WIN32)
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

TEST(Paths, ADataPathJoinsAFolderWithTheSystemsSeparator) {
    const struct {
        std::string folder, relative, onLinux, onWindows;
    } cases[] = {
        {"/opt/game/", "Bin\\Qnd.ini", "/opt/game/Bin/Qnd.ini", "/opt/game/Bin\\Qnd.ini"},
        {"D:\\Games\\", "\\Data//Map\\a.map", "D:\\Games\\/Data/Map/a.map",
         "D:\\Games\\Data\\Map\\a.map"},
        {"D:\\Games", "a", "D:\\Games/a", "D:\\Games\\a"},
        {"", "Bin/x", "Bin/x", "Bin\\x"},
    };
    for (const auto& [folder, relative, onLinux, onWindows] : cases)
        EXPECT_EQ(platform::JoinNativePath(folder, relative), kWindows ? onWindows : onLinux)
            << relative;
    // A network path keeps its two leading separators on Windows.
    EXPECT_EQ(platform::NativePath("\\\\host\\share//x"),
              kWindows ? "\\\\host\\share\\x" : "/host/share/x");
    // Names outside the 7-bit range survive the way into std::filesystem and back.
    const std::string name = "\xe6\x95\xb0\xe6\x8d\xae.pak";
    EXPECT_EQ(platform::PathUtf8(platform::FsPath(name)), name);
    EXPECT_EQ(platform::FsPath(name).filename().u8string().size(), name.size());
}

TEST(Paths, WindowsDevicesAndShortenedNamesAreNoPlainFiles) {
    for (const char* name : {"CON", "nul", "Aux.txt", "COM1", "lpt9.log", "PRN .x", "a.", "b "})
        EXPECT_EQ(platform::NamesNoPlainFile(name), kWindows) << name;
    for (const char* name : {"CONSOLE", "COM0", "COM10", "nul1", ".a", "Qnd.exe", "LPT"})
        EXPECT_FALSE(platform::NamesNoPlainFile(name)) << name;
}

}  // namespace
