// The Win32 half of the file services on the system's own file functions (under Wine here): the
// share modes, folder locks, a replacement refused while another holds the file, the attributes a
// replaced file hands on, times, reads at an offset, the walk, folders, removal and free space.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "platform/file.h"
#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "platform/part_file.h"
#include "platform/paths.h"
#include "platform/utf16.h"
#include "support/test_support.h"

namespace {

using platform::File;
using quend::test::TempDir;

std::string Utf8Path(const std::filesystem::path& path) {
    return platform::WideToUtf8(path.native());
}

// A handle of this process that shares nothing, as a game holds its files.
class Holder final {
public:
    explicit Holder(const std::string& path)
        : m_handle(::CreateFileW(platform::Utf8ToWide(path).c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr)) {}
    ~Holder() {
        if (m_handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_handle);
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    bool Holds() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

std::string SharingViolationText() {
    wchar_t text[256] = L"";
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     ERROR_SHARING_VIOLATION, 0, text, 256, nullptr);
    std::string utf8 = platform::WideToUtf8(text);
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' '))
        utf8.pop_back();
    return utf8;
}

TEST(FileWin32Test, AnExclusiveOpenFailsWhileAnotherHasTheFileAndKeepsOthersOut) {
    TempDir dir;
    const std::string path = Utf8Path(dir / "Qnd.exe");
    quend::test::writeFile(dir / "Qnd.exe", "MZ");
    {
        File shared = File::Open(path, File::Mode::Read);
        ASSERT_TRUE(shared.IsOpen()) << shared.Error();
        File exclusive = File::Open(path, File::Mode::Read, File::Share::None);
        EXPECT_FALSE(exclusive.IsOpen());
        EXPECT_EQ(exclusive.Error(), SharingViolationText());
        // Shared opens go together, as on Linux.
        EXPECT_TRUE(File::Open(path, File::Mode::ReadWrite).IsOpen());
    }
    File exclusive = File::Open(path, File::Mode::Read, File::Share::None);
    ASSERT_TRUE(exclusive.IsOpen()) << exclusive.Error();
    EXPECT_FALSE(File::Open(path, File::Mode::Read).IsOpen());
}

TEST(FileWin32Test, AFileHeldOpenIsNotReplacedAndTheFailureSaysItIsInUse) {
    TempDir dir;
    const std::string target = Utf8Path(dir / "Qnd.exe");
    quend::test::writeFile(dir / "Qnd.exe", "old");
    std::string partPath;
    {
        const Holder game(target);
        ASSERT_TRUE(game.Holds());
        platform::PartFile part = platform::PartFile::CreateUnique(target, ".part-");
        ASSERT_TRUE(part.IsOpen()) << part.Error();
        partPath = part.Path();
        ASSERT_TRUE(part.Write("new", 3));
        EXPECT_FALSE(part.Commit({}));
        EXPECT_EQ(part.Error(), SharingViolationText());
    }
    EXPECT_FALSE(std::filesystem::exists(platform::FsPath(partPath)));
    EXPECT_EQ(quend::test::readFile(dir / "Qnd.exe"), "old");
}

// The last-write time in the system's own terms, UTC.
std::string SystemWriteTime(const std::filesystem::path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    SYSTEMTIME t{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        !::FileTimeToSystemTime(&data.ftLastWriteTime, &t))
        return "unreadable";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

TEST(FileWin32Test, AReplacedFileHandsOnItsAttributesAndANewOneGetsNone) {
    TempDir dir;
    const std::map<std::string, DWORD> before = {
        {"ReadOnly.ini", FILE_ATTRIBUTE_READONLY},
        {"Hidden.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY},
        {"Plain.dat", FILE_ATTRIBUTE_ARCHIVE},
    };
    for (const auto& [name, attributes] : before) {
        quend::test::writeFile(dir / name, "old");
        ASSERT_TRUE(::SetFileAttributesW((dir / name).c_str(), attributes));
    }
    const std::int64_t time = 1588298400;  // 2020-05-01 02:00:00 UTC
    for (const char* name : {"ReadOnly.ini", "Hidden.dat", "Plain.dat", "New.dat"}) {
        platform::PartFile part = platform::PartFile::CreateUnique(Utf8Path(dir / name), ".p-");
        ASSERT_TRUE(part.Write("new", 3)) << part.Error();
        platform::PartFile::CommitOptions options;
        options.modifiedTime = time;
        ASSERT_TRUE(part.Commit(options)) << name << ": " << part.Error();
        EXPECT_EQ(quend::test::readFile(dir / name), "new") << name;
        const DWORD kept = ::GetFileAttributesW((dir / name).c_str()) &
                           (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        const auto was = before.find(name);
        EXPECT_EQ(kept, was == before.end() ? 0 : was->second & ~DWORD{FILE_ATTRIBUTE_ARCHIVE})
            << name;
        const auto info = platform::PathInfo(Utf8Path(dir / name));
        ASSERT_TRUE(info) << name;
        EXPECT_EQ(info->modifiedTime, time) << name;
        EXPECT_EQ(SystemWriteTime(dir / name), "2020-05-01 02:00:00") << name;
    }
    // Removal takes read-only files as Linux does, and a missing file is no failure.
    EXPECT_TRUE(platform::RemoveFile(Utf8Path(dir / "ReadOnly.ini")));
    EXPECT_FALSE(std::filesystem::exists(dir / "ReadOnly.ini"));
    EXPECT_TRUE(platform::RemoveFile(Utf8Path(dir / "ReadOnly.ini")));
}

TEST(FileWin32Test, AReadAtAnOffsetLeavesThePositionWhereItWas) {
    TempDir dir;
    quend::test::writeFile(dir / "data", "0123456789");
    File file = File::Open(Utf8Path(dir / "data"), File::Mode::ReadWrite);
    ASSERT_TRUE(file.IsOpen());
    char head[3] = {};
    ASSERT_EQ(file.Read(head, 3), 3);
    char middle[4] = {};
    EXPECT_EQ(file.ReadAt(middle, 4, 5), 4);
    EXPECT_EQ(std::string(middle, 4), "5678");
    EXPECT_EQ(file.ReadAt(middle, 4, 20), 0);
    char next[2] = {};
    ASSERT_EQ(file.Read(next, 2), 2);
    EXPECT_EQ(std::string(next, 2), "34");
    ASSERT_TRUE(file.Truncate(4));
    EXPECT_TRUE(file.Write("x", 1));
    EXPECT_EQ(file.Info()->size, 5u);
}

TEST(FileWin32Test, FoldersNamesAndSpaceWithWideCharacters) {
    TempDir dir;
    const std::string root = Utf8Path(dir.path());
    // "数据\地图" below the folder, in UTF-8.
    const std::string folder = root + "\\\xe6\x95\xb0\xe6\x8d\xae\\\xe5\x9c\xb0\xe5\x9b\xbe";
    std::string error;
    ASSERT_TRUE(platform::CreateFolders(folder, error)) << error;
    ASSERT_TRUE(platform::CreateFolders(folder + "\\", error)) << error;
    platform::PartFile part = platform::PartFile::OpenNamed(folder + "\\a.map", folder + "\\p");
    ASSERT_TRUE(part.Write("map", 3));
    ASSERT_TRUE(part.Commit({})) << part.Error();
    quend::test::writeFile(dir / "top.txt", "t");
    std::map<std::string, std::string> seen;
    platform::ForEachFile(
        root, [&seen](const std::string& path, const std::string& name) { seen[path] = name; });
    EXPECT_EQ(seen, (std::map<std::string, std::string>{{folder + "\\a.map", "a.map"},
                                                        {root + "\\top.txt", "top.txt"}}));
    // A file standing where a folder should be.
    EXPECT_FALSE(platform::CreateFolders(root + "\\top.txt\\below", error));
    EXPECT_FALSE(error.empty());
    // A folder still to be made counts on the volume of the nearest one there is.
    const auto space = platform::FreeSpace(folder + "\\not\\yet");
    ASSERT_TRUE(space);
    EXPECT_GT(space->available, 0u);
    EXPECT_GT(space->blockSize, 0u);
}

// A folder is locked through a file inside it: a second holder of the launcher's folder waits
// until the first lets go, as launchers handing over to their copy one at a time do.
TEST(FileWin32Test, AFolderLockMakesTheNextHolderWait) {
    TempDir dir;
    auto first = std::make_unique<platform::FileLock>(Utf8Path(dir.path()) + "\\",
                                                      platform::FileLock::Kind::Exclusive);
    ASSERT_TRUE(*first);
    EXPECT_TRUE(std::filesystem::exists(dir / platform::FileLock::kFolderLockName));
    std::atomic<bool> locked{false};
    std::thread next([&] {
        const platform::FileLock lock(Utf8Path(dir.path()), platform::FileLock::Kind::Exclusive);
        locked = static_cast<bool>(lock);
    });
    ::Sleep(300);
    EXPECT_FALSE(locked);
    first.reset();
    next.join();
    EXPECT_TRUE(locked);
}

}  // namespace
