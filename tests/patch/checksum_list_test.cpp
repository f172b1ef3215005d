#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <tuple>

#include "config/text_table.h"
#include "platform/message_box.h"
#include "platform/window_messages.h"
#include "update_fixture.h"

namespace {

using quend::test::readFile;
using quend::test::waitFor;
using quend::test::writeFile;

constexpr char kDigest[] = "0123456789abcdef0123456789abcdef";
// "正在检查文件…" and "数据\地图.txt" as the list and the status line carry them (GBK).
constexpr char kCheckingGbk[] = "\xd5\xfd\xd4\xda\xbc\xec\xb2\xe9\xce\xc4\xbc\xfe\xa1\xad";
constexpr char kMapNameGbk[] = "\xca\xfd\xbe\xdd\\\xb5\xd8\xcd\xbc.txt";

TEST(ChecksumLineTest, FieldsFollowTheTokenizerAndTheLocalDate) {
    const char* zone = std::getenv("TZ");
    const std::string savedZone = zone != nullptr ? zone : "";
    ::setenv("TZ", "CST-8", 1);  // the list's dates are local time
    ::tzset();
    _filelist e;
    const std::string line = std::string("Bin\\a.dll|x|") + kDigest + "|2020-5-1 10:00:00|1024";
    ASSERT_EQ(CMyUpdateManager::ParseChecksumLine(line, e), 1);
    EXPECT_EQ(std::tie(e.fileName, e.extra, e.md5), std::tie("Bin\\a.dll", "x", kDigest));
    EXPECT_EQ(e.modifiedTime, 1588298400);  // 10:00 at UTC+8
    EXPECT_EQ(e.fileSize, 1024);
    zone != nullptr ? ::setenv("TZ", savedZone.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();

    // An empty line is no entry and leaves the working entry alone.
    EXPECT_EQ(CMyUpdateManager::ParseChecksumLine("", e), 0);
    EXPECT_EQ(e.fileName, "Bin\\a.dll");

    // A doubled delimiter swallows the empty field: the later ones move up.
    ASSERT_EQ(CMyUpdateManager::ParseChecksumLine("a||b|c|d", e), 1);
    EXPECT_EQ(std::tie(e.fileName, e.extra, e.md5), std::tie("a", "b", "c"));
    EXPECT_EQ(e.modifiedTime, 0);  // "d" is no date
    EXPECT_EQ(e.fileSize, 0);

    // A leading delimiter is skipped; a year before 1900 gives no time.
    ASSERT_EQ(CMyUpdateManager::ParseChecksumLine("|B|y|m|1899-12-31 23:59:59| +42kb", e), 1);
    EXPECT_EQ(e.fileName, "B");
    EXPECT_EQ(e.modifiedTime, 0);
    EXPECT_EQ(e.fileSize, 42);

    // Dates that do not read whole or lie out of range give 0; the line still counts.
    for (const char* date : {"0-0-0 0:0:0", "2020-5-1", "2020-13-1 10:00:00", "2020-5-1 24:00:00",
                             "2020-5-0 10:00:00", "2020-5-1 10:60:00"}) {
        e.modifiedTime = 7;
        ASSERT_EQ(CMyUpdateManager::ParseChecksumLine(std::string("f|x|m|") + date + "|1", e), 1);
        EXPECT_EQ(e.modifiedTime, 0) << date;
    }

    // Fewer fields: the missing ones read empty, whatever the reused entry held before.
    ASSERT_EQ(CMyUpdateManager::ParseChecksumLine(line, e), 1);
    ASSERT_EQ(CMyUpdateManager::ParseChecksumLine("Bin\\c.dll|z", e), 1);
    EXPECT_EQ(std::tie(e.fileName, e.extra, e.md5), std::tie("Bin\\c.dll", "z", ""));
    EXPECT_EQ(e.modifiedTime + e.fileSize, 0);
}

TEST(WaitDownloadEventTest, ResetsWhatItSawAndLeavesItWhenStopped) {
    platform::ManualResetEvent event;
    std::atomic<bool> running{true};
    const auto isRunning = [&running] { return running.load(); };
    const auto later = [](auto action) {
        return std::thread([action] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            action();
        });
    };

    std::thread setter = later([&event] { event.Set(); });
    WaitDownloadEventWhileRunning(event, isRunning);
    setter.join();
    EXPECT_FALSE(event.IsSet());

    std::thread stopper = later([&running] { running = false; });
    WaitDownloadEventWhileRunning(event, isRunning);  // returns although nothing set it
    stopper.join();
    event.Set();
    WaitDownloadEventWhileRunning(event, isRunning);
    EXPECT_TRUE(event.IsSet());  // not running: not consumed
}

class CheckPassTest : public quend::test::UpdateTest {
protected:
    static std::string Line(const std::string& name, std::string_view bytes, bool upper = false) {
        _filelist e = Entry(name, bytes);
        if (upper)
            std::transform(e.md5.begin(), e.md5.end(), e.md5.begin(), ::toupper);
        return e.fileName + "|x|" + e.md5 + "|2020-5-1 10:00:00|" + std::to_string(e.fileSize);
    }
    std::size_t Requests() { return Log().size(); }
    std::size_t Done() const { return m_owner.target.count(platform::WM_UPDATE_DONE); }
};

TEST_F(CheckPassTest, FetchesEveryFileThatDiffersAndNothingElse) {
    writeFile(Files() / "Bin/same.dat", "unchanged");
    writeFile(Game("Bin/same.dat"), "unchanged");
    writeFile(Files() / "Bin/changed.dat", "new bytes");
    writeFile(Game("Bin/changed.dat"), "old bytes");  // same size, other digest
    writeFile(Files() / "数据/地图.txt", "map");      // the server keeps names in UTF-8
    const auto list = [](bool upper) {
        return Line("Bin\\same.dat", "unchanged", upper) + "\r\n" +
               Line("Bin\\changed.dat", "new bytes", upper) + "\n\n" +
               Line(kMapNameGbk, "map", upper) + "\n";
    };

    const auto progress = RunPass(list(false));
    EXPECT_EQ(progress.range, std::make_pair(0, 4));
    EXPECT_EQ(progress.steps, 3);
    EXPECT_EQ(progress.status, std::vector<std::string>{kCheckingGbk});
    EXPECT_EQ(Done(), 1u);
    EXPECT_EQ(readFile(Game("Bin/changed.dat")), "new bytes");
    EXPECT_EQ(readFile(Game("数据/地图.txt")), "map");
    ASSERT_EQ(Requests(), 2u);
    EXPECT_NE(Log()[1].find("GET /patch/%E6%95%B0%E6%8D%AE/%E5%9C%B0%E5%9B%BE.txt"),
              std::string::npos)
        << Log()[1];
    EXPECT_EQ(m_manager.m_bServerOk, 1);

    // Digests in upper case never match what the files give: all three are fetched again.
    RunPass(list(true));
    EXPECT_EQ(Requests(), 5u);
}

TEST_F(CheckPassTest, EmptyListsNoUpdateAndClosing) {
    auto progress = RunPass("");
    EXPECT_EQ(progress.range, std::make_pair(0, 1));
    EXPECT_EQ(progress.steps, 0);
    EXPECT_EQ(Done(), 1u);

    // "-NoUpdate": every entry only steps the bar; nothing is compared or fetched.
    for (const char* name : {"a.dat", "b.dat", "c.dat"})
        writeFile(Files() / name, name);
    const std::string three = Line("a.dat", "a.dat") + "\n" + Line("b.dat", "b.dat") + "\n" +
                              Line("c.dat", "c.dat") + "\n";
    m_owner.noUpdate = true;
    progress = RunPass(three);
    EXPECT_EQ(progress.steps, 3);
    EXPECT_EQ(progress.status.size(), 3u);
    EXPECT_EQ(Requests(), 0u);
    EXPECT_EQ(Done(), 2u);

    // Closing during the first file's slow transfer: the pass ends there, no WM_UPDATE_DONE.
    m_owner.noUpdate = false;
    m_server.SetFaults({.blockDelay = std::chrono::milliseconds(300)});
    writeFile(m_owner.Root() / "list.md5", three);
    m_manager.LoadChecksumList((m_owner.Root() / "list.md5").string());
    ASSERT_TRUE(waitFor([this] { return Requests() == 1; }));
    m_owner.running = false;
    ASSERT_TRUE(waitFor([this] { return !m_manager.IsCheckThreadRunning(); }));
    m_manager.JoinCheckThread();
    m_manager.StopDownloadThread();
    EXPECT_EQ(Done(), 2u);
    EXPECT_LE(m_owner.TakeProgress().steps, 1);
    EXPECT_EQ(Requests(), 1u);
    EXPECT_EQ(m_manager.m_bBusy, 0);
}

TEST_F(CheckPassTest, NotUpdateListSkipsExactNamesOnTheFirstUpdateOnly) {
    writeFile(m_owner.Root() / "NotUpdateList.txt", "Bin\\Qnd.ini\r\n\r\n");
    m_manager.LoadExcludeList();
    writeFile(Files() / "Bin/Qnd.ini", "server settings");
    writeFile(Files() / "bin/qnd.ini", "other case");
    const std::string list =
        Line("Bin\\Qnd.ini", "server settings") + "\n" + Line("bin\\qnd.ini", "other case");

    const auto progress = RunPass(list);
    EXPECT_EQ(progress.range, std::make_pair(0, 3));
    EXPECT_EQ(progress.steps, 1);  // the skipped entry does not step
    EXPECT_FALSE(std::filesystem::exists(Game("Bin/Qnd.ini")));
    EXPECT_EQ(readFile(Game("bin/qnd.ini")), "other case");

    m_manager.ClearExcludeList();  // what the owner does on WM_UPDATE_DONE
    RunPass(list);
    EXPECT_EQ(readFile(Game("Bin/Qnd.ini")), "server settings");
}

TEST_F(CheckPassTest, ChecksumListIsFetchedThenRemoved) {
    writeFile(Files() / "Bin/new.dll", "library");
    writeFile(Files() / "checksum_all.md5", Line("Bin\\new.dll", "library") + "\r\n");
    ASSERT_TRUE(m_manager.FetchChecksumList("checksum_all.md5"));
    EXPECT_FALSE(std::filesystem::exists(Game("checksum_all.md5")));
    ASSERT_TRUE(waitFor([this] { return Done() == 1; }));
    EXPECT_EQ(readFile(Game("Bin/new.dll")), "library");

    // No list on the server: false, and the flag is ready for the next try.
    EXPECT_FALSE(m_manager.FetchChecksumList("checksum_1.0.2.md5"));
    EXPECT_EQ(m_manager.m_bServerOk, 1);
    EXPECT_EQ(m_manager.m_bBusy, 0);
}

TEST_F(CheckPassTest, UnopenableListIsReportedAndLeavesTheManagerIdle) {
    const auto language = m_owner.Root() / "Launcher.CHS";
    writeFile(language, "[Error]\nChecksumOpenError_Client=list unreadable\n");
    SetTextFile(language.string());
    std::vector<std::string> shown;
    auto saved = platform::SetMessageHandler(
        [&shown](const std::string&, const std::string& text) { shown.push_back(text); });
    m_manager.LoadChecksumList((m_owner.Root() / "absent.md5").string());
    platform::SetMessageHandler(std::move(saved));
    EXPECT_EQ(shown, std::vector<std::string>{"list unreadable"});
    EXPECT_EQ(m_manager.m_bBusy, 0);

    RunPass("");  // not stuck busy
    EXPECT_EQ(Done(), 1u);
}

}  // namespace
