// The publisher's list and the launcher's check pass together: a new version listed by the
// checksum writer and served over HTTP brings an old game folder up to date by fetching exactly
// the files that differ, with their listed times, and leaves everything else alone.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "pack/checksum_writer.h"
#include "platform/window_messages.h"
#include "update_fixture.h"

namespace {

using quend::test::readFile;
using quend::test::waitFor;
using quend::test::writeFile;

namespace fs = std::filesystem;

// "数据\地图.txt" as the list carries it (GBK).
constexpr char kMapNameGbk[] = "\xca\xfd\xbe\xdd\\\xb5\xd8\xcd\xbc.txt";
constexpr char kList[] = "checksum_1_2_3.md5";

std::time_t ModifiedTime(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mtime;
}

class RoundTripTest : public quend::test::UpdateTest {
protected:
    // The files below the update address that the server was asked for, in order, with "/"
    // between folders; every request must have found its file.
    std::vector<std::string> Requested() {
        std::vector<std::string> files;
        for (const std::string& line : Log()) {
            const std::size_t start = line.find("\"GET ") + 5;
            const std::string target = line.substr(start, line.find('"', start) - start);
            const auto path = devserver::CUpdateServer::MapTarget(m_serverRoot, target);
            EXPECT_TRUE(path.has_value()) << line;
            EXPECT_NE(line.find("\" 200 "), std::string::npos) << line;
            if (path)
                files.push_back(path->lexically_relative(Files()).generic_string());
        }
        std::lock_guard lock(m_logMutex);
        m_log.clear();
        return files;
    }

    // Fetches the list, runs the pass over it and waits for its end.
    void Update() {
        const std::size_t done = m_owner.target.count(platform::WM_UPDATE_DONE);
        ASSERT_TRUE(m_manager.FetchChecksumList(kList));
        ASSERT_TRUE(waitFor(
            [&] {
                return !m_manager.IsCheckThreadRunning() &&
                       m_owner.target.count(platform::WM_UPDATE_DONE) == done + 1;
            },
            std::chrono::seconds(30)));
        EXPECT_EQ(m_manager.m_bServerOk, 1);
    }
};

TEST_F(RoundTripTest, CheckPassFetchesExactlyTheFilesThatDiffer) {
    // The new version, published with its own times, and the game as the last version left it.
    const std::map<std::string, std::string> newVersion = {
        {"Bin/Qnd.exe", "program v2"},        {"Bin/same.dll", "unchanged library"},
        {"Data/Map/a.map", "same map"},       {"Data/Map/b.map", "a map that grew longer"},
        {"数据/地图.txt", "新的地图"},        {"数据/说明.txt", "unchanged notes"},
        {"readme.txt", "new in this version"}};
    const auto published = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
    for (const auto& [name, bytes] : newVersion) {
        writeFile(Files() / name, bytes);
        fs::last_write_time(Files() / name, published);
    }
    const std::map<std::string, std::string> oldVersion = {
        {"Bin/Qnd.exe", "program v1"},  // same size, other bytes
        {"Bin/same.dll", "unchanged library"}, {"Data/Map/a.map", "same map"},
        {"Data/Map/b.map", "a map"},           {"数据/说明.txt", "unchanged notes"},
        {"Save/player.sav", "not listed"}};
    for (const auto& [name, bytes] : oldVersion)
        writeFile(Game(name), bytes);

    CChecksumWriter writer(Files(), Files());
    ASSERT_EQ(writer.Run("1.2.3"), newVersion.size());
    ASSERT_NE(readFile(Files() / kList).find(std::string(kMapNameGbk) + "|0|"), std::string::npos);

    Update();
    EXPECT_EQ(Requested(), (std::vector<std::string>{kList, "Bin/Qnd.exe", "Data/Map/b.map",
                                                     "readme.txt", "数据/地图.txt"}));
    const std::set<std::string> fetched = {"Bin/Qnd.exe", "Data/Map/b.map", "readme.txt",
                                           "数据/地图.txt"};
    for (const auto& [name, bytes] : newVersion) {
        EXPECT_EQ(readFile(Game(name)), bytes) << name;
        if (fetched.count(name))  // the list's time, to the second
            EXPECT_EQ(ModifiedTime(Game(name)), ModifiedTime(Files() / name)) << name;
        else
            EXPECT_NE(ModifiedTime(Game(name)), ModifiedTime(Files() / name)) << name;
    }
    EXPECT_EQ(readFile(Game("Save/player.sav")), "not listed");
    EXPECT_FALSE(fs::exists(Game(kList)));
    std::size_t files = 0;
    for (const auto& item : fs::recursive_directory_iterator(Game("")))
        files += item.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, newVersion.size() + 1);  // no part file left behind

    // Up to date now: the next update asks for the list alone.
    Update();
    EXPECT_EQ(Requested(), std::vector<std::string>{kList});
}

}  // namespace
