// The update engine against the devserver as a program of its own (the CTest fixture's, a Linux
// program even under Wine): the check pass, a cut transfer resumed, a file another process holds.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "patch/resume_part.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "support/test_support.h"
#include "update_fixture.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32_support.h"
#endif

namespace {

using namespace quend::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
// An engine against the fixture's servers, in a folder of the served root of its own.
class DevServerUpdateTest : public UpdateFixture {
protected:
    // The fixture's folder holds the served root, the servers' ports and logs, or why none run.
    void SetUp() override {
        if (fs::exists(m_dir / "skip"))
            GTEST_SKIP() << readFile(m_dir / "skip");
        std::ifstream ports(m_dir / "ports");
        std::string kind;
        for (int port = 0; ports >> kind >> port;)
            m_ports[kind] = port;
        if (m_ports.size() != 2)
            GTEST_SKIP() << "no servers in " << m_dir << ": run the test through CTest";
        UseServer("plain");
        m_manager.StartDownloadThread();
    }

    // Between passes only.
    void UseServer(const std::string& kind) {
        m_kind = kind;
        m_url = "http://127.0.0.1:" + std::to_string(m_ports.at(kind)) + "/" + m_name;
    }
    fs::path Served(std::string_view name) const {
        return m_dir / "root" / m_name / platform::FsPath(std::string(name));
    }
    // The current server's request lines for this case's folder.
    Texts Requests() const {
        std::ifstream log(m_dir / (m_kind + ".log"));
        Texts lines;
        for (std::string line; std::getline(log, line);)
            if (line.find("/" + m_name + "/") != std::string::npos)
                lines.push_back(line);
        return lines;
    }
    patch::UpdateResult Result(const std::string& lines) {
        RunPass(lines);
        return m_manager.LastResult();
    }

    const fs::path m_dir = platform::FsPath(QUEND_DEVSERVER_DIR);
    std::map<std::string, int> m_ports;  // "plain", "cut"
    // A folder under the served root that no other test case running meanwhile uses.
    const std::string m_name =
        "case-" + std::to_string(std::random_device()()) + std::to_string(std::random_device()());
    std::string m_kind;
};

// The list holds GBK names with backslashes; the game folder gets them in the system's own
// names and separators. Exactly the differing files are asked for, once.
TEST_F(DevServerUpdateTest, CheckPassFetchesExactlyTheFilesThatDiffer) {
    const Files fresh = {{"Bin/Qnd.exe", "program v2"},
                         {"Data/Map/a.map", "same map"},
                         {"Data/Map/b.map", "a map that grew longer"},
                         {"数据/地图乗.map", "新的地图"}};
    for (const auto& [name, bytes] : fresh)
        writeFile(Served(name), bytes);
    Files game = {{"Bin/Qnd.exe", "program v1"},
                  {"Data/Map/a.map", "same map"},
                  {"Save/player.sav", "not listed"}};
    for (const auto& [name, bytes] : game)
        writeFile(Game(name), bytes);
    // "数据\地图乗.map" in GBK: the second byte of "乗" is a backslash and no separator.
    const std::string gbkName = "\xca\xfd\xbe\xdd\\\xb5\xd8\xcd\xbc\x81\x5c.map";
    const std::string list = Line("Bin\\Qnd.exe", fresh.at("Bin/Qnd.exe"), "\r\n") +
                             Line("Data\\Map\\a.map", "same map", "\r\n") +
                             Line("Data\\Map\\b.map", fresh.at("Data/Map/b.map"), "\r\n") +
                             Line(gbkName, fresh.at("数据/地图乗.map"), "\r\n");

    const patch::UpdateResult result = Result(list);
    EXPECT_EQ(std::tie(result.failedFiles, result.fetchedFiles, result.checkedFiles),
              std::make_tuple(0, 3, 4));
    for (const auto& [name, bytes] : fresh)
        game[name] = bytes;
    EXPECT_EQ(GameFiles(), game);
    EXPECT_EQ(Requests().size(), 3u);

    Result(list);
    EXPECT_EQ(Requests().size(), 3u);
}

// A transfer the server cuts keeps the old file and its part; the next fetch, from a server that
// sends whole files, asks only for the rest and ends with the file byte for byte.
TEST_F(DevServerUpdateTest, ACutTransferGoesOnFromItsPart) {
    const std::string fresh = randomBytes(700000, 21), old = "the old version";
    writeFile(Served("Data/big.pak"), fresh);
    writeFile(Game("Data/big.pak"), old);
    const fs::path part = platform::FsPath(patch::ResumePartPath(
        platform::PathUtf8(Game("Data/big.pak")), Entry("Data\\big.pak", fresh)));

    UseServer("cut");
    EXPECT_EQ(Fetch("Data\\big.pak", fresh).kind, patch::FileOutcome::Kind::ServerFailed);
    m_manager.ResetServerOk();
    EXPECT_EQ(GameFiles(),
              (Files{{"Data/big.pak", old},
                     {fs::relative(part, m_gameDir).generic_string(), fresh.substr(0, 300000)}}));

    UseServer("plain");
    EXPECT_FALSE(Fetch("Data\\big.pak", fresh).Failed());
    EXPECT_EQ(GameFiles(), (Files{{"Data/big.pak", fresh}}));
    const Texts asked = Requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].ends_with("\"bytes=300000-\"")) << asked[0];
}

#ifdef _WIN32
// Another program holding a file open with no sharing, as the game holds its files while it runs.
struct FileHolder final {
    FileHolder(const fs::path& file, const fs::path& ready) {
        platform::StartProcess(QUEND_FILE_HOLDER,
                               {platform::PathUtf8(file), platform::PathUtf8(ready)}, "", &pid);
        held = waitFor([&] { return fs::exists(ready); }, 20s);
    }
    ~FileHolder() { Release(); }
    void Release() {
        if (pid > 0)
            platform::EndProcess(pid, 0ms);
        pid = 0;
    }
    platform::ProcessId pid = 0;
    bool held = false;
};

// A file the game holds open cannot be replaced: named with the system's reason, counted as failed
// and left as it was, the others put in place; once let go, the next pass brings it.
TEST_F(DevServerUpdateTest, AFileAnotherProcessHoldsOpenFailsByNameAndStaysAsItWas) {
    const std::string freshPak = randomBytes(200000, 5);
    writeFile(Served("Data/held.pak"), freshPak);
    writeFile(Served("Data/free.pak"), "free v2");
    writeFile(Game("Data/held.pak"), "held v1");
    writeFile(Game("Data/free.pak"), "free v1");
    const std::string list =
        Line("Data\\held.pak", freshPak, "\r\n") + Line("Data\\free.pak", "free v2", "\r\n");

    FileHolder holder(Game("Data/held.pak"), m_root / "ready");
    ASSERT_TRUE(holder.held);
    const patch::UpdateResult result = Result(list);
    EXPECT_EQ(std::tie(result.failedFiles, result.firstFailed, result.fetchedFiles),
              std::make_tuple(1, std::string("Data\\held.pak"), 1));
    EXPECT_EQ(result.firstLocal.kind, patch::FileOutcome::Kind::LocalFailed);
    EXPECT_EQ(platform::FsPath(result.firstLocal.path), Game("Data/held.pak"));
    EXPECT_EQ(result.firstLocal.reason, platform::ErrorText(ERROR_SHARING_VIOLATION));
    holder.Release();
    EXPECT_EQ(readFile(Game("Data/held.pak")), "held v1");
    EXPECT_EQ(readFile(Game("Data/free.pak")), "free v2");

    const patch::UpdateResult again = Result(list);
    EXPECT_EQ(again.failedFiles, 0);
    EXPECT_EQ(readFile(Game("Data/held.pak")), freshPak);
}

// A pass the game folder's volume cannot take fetches nothing and names both sizes.
TEST_F(DevServerUpdateTest, RefusesFilesTheVolumeCannotTakeBeforeTheFirstByte) {
    if (fs::exists(m_dir / "small.skip"))
        GTEST_SKIP() << readFile(m_dir / "small.skip");
    m_gameDir = m_dir / "small" / m_name;
    fs::create_directories(m_gameDir);
    const std::string a = randomBytes(1536 * 1024, 1), b = randomBytes(1536 * 1024, 2);
    writeFile(Served("a.pak"), a);
    writeFile(Served("b.pak"), b);

    const patch::UpdateResult refused = Result(Line("a.pak", a, "\r\n") + Line("b.pak", b, "\r\n"));
    EXPECT_TRUE(refused.NoSpace());
    EXPECT_EQ(std::tie(refused.failedFiles, refused.firstFailed, refused.spaceNeeded),
              std::make_tuple(2, std::string("a.pak"), std::uint64_t{3 << 20}));
    EXPECT_LE(refused.spaceFree, std::uint64_t{2 << 20});
    EXPECT_EQ(Requests(), Texts{});
    EXPECT_EQ(GameFiles(), Files{});
    fs::remove_all(m_gameDir);
}
#endif

}  // namespace
