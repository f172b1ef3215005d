#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <numeric>
#include <random>

#include "platform/window_messages.h"
#include "update_fixture.h"

namespace {

using platform::PostedMessage;
using quend::test::readFile;
using quend::test::writeFile;

constexpr std::size_t kBlock = 327680;

std::string RandomBytes(std::size_t size) {
    std::mt19937 engine(7);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(engine());
    return bytes;
}

struct stat StatOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info;
}

// The client port of a server log line ("127.0.0.1:PORT \"GET ...").
std::string ClientPort(const std::string& line) {
    return line.substr(line.find(':') + 1, line.find(' ') - line.find(':') - 1);
}

// Whatever is left of unfinished downloads in a folder.
bool HasPartFiles(const std::filesystem::path& folder) {
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        if (item.path().filename().string().starts_with(".quend-part"))
            return true;
    }
    return false;
}

class DownloadTest : public quend::test::UpdateTest {};

TEST_F(DownloadTest, FileArrivesInBlocksWithProgressTimeAndFolders) {
    const std::string big = RandomBytes(700000);
    writeFile(Files() / "Bin/big.dat", big);
    writeFile(Game("Bin/big.dat"), "old");
    ::chmod(Game("Bin/big.dat").c_str(), 0640);
    writeFile(Files() / "Data/Map/a.map", "map bytes");
    m_manager.m_bPostProgress = 1;

    const std::int64_t listed = 1588327200;
    Fetch(Entry("Bin\\big.dat", big, listed));
    EXPECT_EQ(m_manager.m_bServerOk, 1);
    EXPECT_EQ(readFile(Game("Bin/big.dat")), big);
    const struct stat info = StatOf(Game("Bin/big.dat"));
    EXPECT_EQ(info.st_mtime, listed);
    EXPECT_EQ(info.st_mode & 07777, 0640u);  // an update keeps the file's permissions

    const auto files = m_owner.target.messages(platform::WM_DOWN_FILE);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].text, Game("Bin/big.dat").string());
    const auto ranges = m_owner.target.messages(platform::WM_DOWN_RANGE);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].wParam, 700000);
    const auto reads = m_owner.target.messages(platform::WM_DOWN_PROGRESS);
    EXPECT_GE(reads.size(), 3u);
    std::intptr_t sum = 0;
    for (const PostedMessage& read : reads) {
        EXPECT_GT(read.wParam, 0);
        EXPECT_LE(read.wParam, static_cast<std::intptr_t>(kBlock));
        sum += read.wParam;
    }
    EXPECT_EQ(sum, 700000);

    // Below an address with a path part, into folders that do not exist yet; time 0 leaves the
    // time of writing.
    const std::time_t before = std::time(nullptr);
    Fetch(Entry("Data\\Map\\a.map", "map bytes"));
    EXPECT_EQ(readFile(Game("Data/Map/a.map")), "map bytes");
    writeFile(Files() / "Data/50% off #1?.txt", "odd name");  // URL syntax in a name is data
    Fetch(Entry("Data\\50% off #1?.txt", "odd name"));
    EXPECT_EQ(readFile(Game("Data/50% off #1?.txt")), "odd name");
    // The list holds GBK bytes; the request and the local name are UTF-8. The second byte of
    // "\x81\x5C" is a backslash and must not split the name.
    writeFile(Files() / "数据/地图乗.map", "gbk name");
    Fetch(Entry("\xCA\xFD\xBE\xDD\\\xB5\xD8\xCD\xBC\x81\x5C.map", "gbk name"));
    EXPECT_EQ(m_manager.m_bServerOk, 1);
    EXPECT_EQ(readFile(Game("数据/地图乗.map")), "gbk name");
    const struct stat map = StatOf(Game("Data/Map/a.map"));
    EXPECT_GE(map.st_mtime, before - 1);
    EXPECT_EQ(map.st_mode & 07777, 0644u);
    EXPECT_FALSE(HasPartFiles(Game("Bin")) || HasPartFiles(Game("Data/Map")));

    // One client for the manager's life: its title as the agent, the connection kept alive.
    const auto log = Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_NE(log[0].find("\"GET /patch/Bin/big.dat\" 200"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find("\"GET /patch/Data/Map/a.map\" 200"), std::string::npos) << log[1];
    EXPECT_NE(log[0].find(std::string("\"") + kTitle + "\""), std::string::npos) << log[0];
    EXPECT_EQ(ClientPort(log[0]), ClientPort(log[2]));
}

TEST_F(DownloadTest, FailedFilesLeaveTheOldOneAndTheThreadGoesOn) {
    const std::string fresh(1000, 'n');
    writeFile(Files() / "Bin/keep.dat", fresh);
    writeFile(Game("Bin/keep.dat"), "old contents");
    writeFile(Game("Bin/gone.dat"), "old gone");
    writeFile(Files() / "Bin/dir.dat", "file");
    std::filesystem::create_directories(Game("Bin/dir.dat/inner"));
    writeFile(Files() / "Blocked/x.dat", "x");
    writeFile(Game("Blocked"), "a file where a folder should be");
    writeFile(Files() / "C:/x.dat", "drive");
    const auto outside = m_owner.Root() / "outside.dat";
    writeFile(m_serverRoot / "outside.dat", "escaped");

    _filelist pastSize = Entry("Bin\\keep.dat", fresh);
    pastSize.fileSize = 100;  // the server sends more than the list allows
    struct Case {
        const char* what;
        _filelist entry;
        devserver::CUpdateServer::Faults faults;
        bool requested;
    };
    const Case cases[] = {
        {"404", Entry("Bin\\gone.dat", "new"), {}, true},
        {"cut body", Entry("Bin\\keep.dat", fresh), {.cutAfter = 500}, true},
        {"short of its length", Entry("Bin\\keep.dat", fresh), {.lengthSurplus = 100}, true},
        {"past the listed size", pastSize, {}, true},
        {"target is a folder", Entry("Bin\\dir.dat", "file"), {}, true},
        {"folder cannot be made", Entry("Blocked\\x.dat", "x"), {}, true},
        {"climbs out", Entry("..\\outside.dat", "escaped"), {}, false},
        {"absolute", Entry(outside.string(), "escaped"), {}, false},
        {"absolute, backslash", Entry("\\outside.dat", "escaped"), {}, false},
        {"drive", Entry("C:\\x.dat", "drive"), {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t requestsBefore = Log().size();
        m_server.SetFaults(c.faults);
        Fetch(c.entry);
        EXPECT_EQ(m_manager.m_bServerOk, 0);
        EXPECT_EQ(Log().size(), requestsBefore + (c.requested ? 1 : 0));
        m_manager.m_bServerOk = 1;
    }
    m_server.SetFaults({});
    EXPECT_EQ(readFile(Game("Bin/keep.dat")), "old contents");
    EXPECT_EQ(readFile(Game("Bin/gone.dat")), "old gone");
    EXPECT_TRUE(std::filesystem::is_directory(Game("Bin/dir.dat/inner")));
    EXPECT_EQ(readFile(Game("Blocked")), "a file where a folder should be");
    EXPECT_FALSE(std::filesystem::exists(outside));
    EXPECT_FALSE(std::filesystem::exists(Game("C:")));
    EXPECT_FALSE(HasPartFiles(Game("Bin")));

    // The thread is still there for the next file.
    Fetch(Entry("Bin\\keep.dat", fresh));
    EXPECT_EQ(m_manager.m_bServerOk, 1);
    EXPECT_EQ(readFile(Game("Bin/keep.dat")), fresh);
}

}  // namespace
