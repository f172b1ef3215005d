// The update manager against a real update server on loopback and a temporary game folder: the
// list's lines, the check pass over a list the publisher's writer made, and the download engine's
// blocks, names and failures.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

#include "config/text_table.h"
#include "devserver/update_server.h"
#include "pack/checksum_writer.h"
#include "patch/update_manager.h"
#include "platform/window_messages.h"
#include "support/message_box_recorder.h"
#include "support/post_recorder.h"
#include "support/test_support.h"

namespace {

using namespace quend::test;
namespace fs = std::filesystem;

// "正在检查文件…" as the status line carries it (GBK).
constexpr char kCheckingGbk[] = "\xd5\xfd\xd4\xda\xbc\xec\xb2\xe9\xce\xc4\xbc\xfe\xa1\xad";
constexpr std::size_t kBlock = 327680;

TEST(ChecksumLineTest, FieldsFollowTheTokenizerAndTheLocalDate) {
    const char* zone = std::getenv("TZ");
    const std::string savedZone = zone != nullptr ? zone : "";
    ::setenv("TZ", "CST-8", 1);  // the list's dates are local time
    ::tzset();
    struct Case {
        std::string line, name, extra, md5;
        std::int64_t time, size;
    };
    const std::string digest = "0123456789abcdef0123456789abcdef";
    std::vector<Case> cases = {
        {"Bin\\a.dll|x|" + digest + "|2020-5-1 10:00:00|1024", "Bin\\a.dll", "x", digest,
         1588298400, 1024},  // 10:00 at UTC+8
        // Fewer fields: the missing ones read empty, whatever the reused entry held before.
        {"Bin\\c.dll|z", "Bin\\c.dll", "z", "", 0, 0},
        // A doubled delimiter swallows the empty field: the later ones move up.
        {"a||b|c|d", "a", "b", "c", 0, 0},
        // A leading delimiter is skipped; a year before 1900 gives no time.
        {"|B|y|m|1899-12-31 23:59:59| +42kb", "B", "y", "m", 0, 42},
    };
    // Dates that do not read whole or lie out of range give 0; the line still counts.
    for (const char* date : {"0-0-0 0:0:0", "2020-5-1", "2020-13-1 10:00:00", "2020-5-1 24:00:00",
                             "2020-5-0 10:00:00", "2020-5-1 10:60:00"})
        cases.push_back({std::string("f|x|m|") + date + "|1", "f", "x", "m", 0, 1});
    _filelist e;
    for (const Case& c : cases) {
        e.modifiedTime = 7;
        ASSERT_EQ(CMyUpdateManager::ParseChecksumLine(c.line, e), 1) << c.line;
        EXPECT_EQ(std::tie(e.fileName, e.extra, e.md5, e.modifiedTime, e.fileSize),
                  std::tie(c.name, c.extra, c.md5, c.time, c.size))
            << c.line;
    }
    zone != nullptr ? ::setenv("TZ", savedZone.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
    // An empty line is no entry and leaves the working entry alone.
    EXPECT_EQ(CMyUpdateManager::ParseChecksumLine("", e), 0);
    EXPECT_EQ(e.fileName, "f");
}

TEST(WaitDownloadEventTest, ResetsWhatItSawAndLeavesItWhenStopped) {
    platform::ManualResetEvent event;
    std::atomic<bool> running{true};
    const auto isRunning = [&running] { return running.load(); };
    // The action comes while the wait is under way.
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

// The owner: a temporary game folder, and what the check pass showed, read once it has ended.
class TestUpdateOwner final : public UpdateOwner {
public:
    struct Progress {
        std::vector<std::string> status;
        std::pair<int, int> range{-1, -1};
        int steps = 0;
    };

    std::string GameDir() const override { return root.dir() + "game/"; }
    bool IsRunning() const override { return running; }
    std::string UpdateUrl() const override { return url; }
    std::string ModuleDir() const override { return root.dir(); }
    bool NoUpdate() const override { return noUpdate; }
    void SetStatusText(const std::string& text) override { progress.status.push_back(text); }
    void SetTotalRange(int lo, int hi) override { progress.range = {lo, hi}; }
    void StepTotal() override { ++progress.steps; }
    platform::ManualResetEvent& DownloadEvent() override { return downloadEvent; }
    void WaitDownloadEvent() override {
        WaitDownloadEventWhileRunning(downloadEvent, [this] { return running.load(); });
    }
    platform::MessageTarget& Target() override { return target; }

    TempDir root;
    std::atomic<bool> running{true};
    std::atomic<bool> noUpdate{false};
    std::string url;  // set before the threads start
    Progress progress;
    PostRecorder target;
    platform::ManualResetEvent downloadEvent;
};

// A manager with its download thread running against a server of Files() under the update
// address http://127.0.0.1:PORT/patch.
class UpdateTest : public ::testing::Test {
protected:
    static constexpr char kTitle[] = "QuendTest";

    void SetUp() override {
        ::setenv("no_proxy", "127.0.0.1,localhost", 1);
        fs::create_directories(Files());
        fs::create_directories(Game(""));
        ASSERT_TRUE(m_server.Start());
        m_owner.url = "http://127.0.0.1:" + std::to_string(m_server.Port()) + "/patch";
        m_manager.StartDownloadThread();
    }

    fs::path Files() const { return m_owner.root / "server" / "patch"; }
    fs::path Game(std::string_view name) const { return m_owner.root / "game" / name; }
    std::size_t Done() const { return m_owner.target.count(platform::WM_UPDATE_DONE); }

    // The server's log lines since the last call.
    std::vector<std::string> TakeLog() {
        std::lock_guard lock(m_logMutex);
        return std::exchange(m_log, {});
    }
    // The requests since the last call as "target status".
    std::vector<std::string> TakeRequests() {
        std::vector<std::string> requests;
        for (const std::string& line : TakeLog()) {
            const std::size_t open = line.find("\"GET ") + 5, close = line.find('"', open);
            requests.push_back(line.substr(open, close - open) + line.substr(close + 1, 4));
        }
        return requests;
    }

    // Regular files in the game folder, part files of unfinished downloads included.
    std::size_t GameFileCount() const {
        const auto files = fs::recursive_directory_iterator(Game(""));
        return std::count_if(begin(files), end(files),
                             [](const auto& f) { return f.is_regular_file(); });
    }

    // A list entry for `name` whose digest and size are those of `bytes`.
    static _filelist Entry(std::string name, std::string_view bytes, std::int64_t time = 0) {
        return {std::move(name), "x", CMD5().GetStringMD5(std::string(bytes)), time,
                static_cast<std::int64_t>(bytes.size())};
    }
    static std::string Line(const std::string& name, std::string_view bytes, bool upper = false) {
        _filelist e = Entry(name, bytes);
        if (upper)
            std::transform(e.md5.begin(), e.md5.end(), e.md5.begin(), ::toupper);
        return e.fileName + "|x|" + e.md5 + "|2020-5-1 10:00:00|" + std::to_string(e.fileSize);
    }

    // Hands one file to the download thread and waits until it is done with it.
    void Fetch(const _filelist& entry) {
        m_owner.DownloadEvent().Reset();
        m_manager.QueueDownload(entry);
        m_manager.WorkEvent().Set();
        ASSERT_TRUE(m_owner.DownloadEvent().WaitFor(std::chrono::seconds(20)));
    }

    // Waits for the check pass that `start` starts and answers what it showed.
    TestUpdateOwner::Progress Pass(const std::function<void()>& start) {
        start();
        EXPECT_TRUE(waitFor([this] { return !m_manager.IsCheckThreadRunning(); },
                            std::chrono::seconds(30)));
        EXPECT_EQ(m_manager.m_bBusy, 0);
        return std::exchange(m_owner.progress, {});
    }
    TestUpdateOwner::Progress RunPass(const std::string& lines) {
        writeFile(m_owner.root / "list.md5", lines);
        return Pass([this] { m_manager.LoadChecksumList((m_owner.root / "list.md5").string()); });
    }

    static struct stat Stat(const fs::path& path) {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return info;
    }

    TestUpdateOwner m_owner;
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
    devserver::CUpdateServer m_server{m_owner.root / "server", [this](const std::string& line) {
                                          std::lock_guard lock(m_logMutex);
                                          m_log.push_back(line);
                                      }};
    CMyUpdateManager m_manager{m_owner, kTitle};
};

using CheckPassTest = UpdateTest;
using DownloadTest = UpdateTest;

// The writer lists a new version; the update fetches the list, then exactly the files that
// differ, with their listed times, and removes the list; the next update asks for the list alone.
TEST_F(CheckPassTest, PublishedVersionFetchesExactlyTheFilesThatDiffer) {
    const std::map<std::string, std::string> newVersion = {
        {"Bin/Qnd.exe", "program v2"},  {"Bin/same.dll", "unchanged library"},
        {"Data/Map/a.map", "same map"}, {"Data/Map/b.map", "a map that grew longer"},
        {"数据/地图.txt", "新的地图"},  {"readme.txt", "new in this version"}};
    const auto published = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
    for (const auto& [name, bytes] : newVersion) {
        writeFile(Files() / name, bytes);
        fs::last_write_time(Files() / name, published);
    }
    for (const auto& [name, bytes] : std::map<std::string, std::string>{
             {"Bin/Qnd.exe", "program v1"},  // same size, other bytes
             {"Bin/same.dll", "unchanged library"},
             {"Data/Map/a.map", "same map"},
             {"Data/Map/b.map", "a map"},
             {"Save/player.sav", "not listed"}})
        writeFile(Game(name), bytes);
    ASSERT_EQ(CChecksumWriter(Files(), Files()).Run("1.2.3"), newVersion.size());
    const auto update = [this] {
        return Pass([this] { EXPECT_TRUE(m_manager.FetchChecksumList("checksum_1_2_3.md5")); });
    };

    const auto progress = update();
    EXPECT_EQ(progress.range, std::make_pair(0, 7));
    EXPECT_EQ(progress.steps, 6);
    EXPECT_EQ(progress.status, std::vector<std::string>(2, kCheckingGbk));
    EXPECT_EQ(Done(), 1u);
    EXPECT_EQ(m_manager.m_bServerOk, 1);
    // The GBK name goes out in UTF-8.
    EXPECT_EQ(TakeRequests(),
              (std::vector<std::string>{"/patch/checksum_1_2_3.md5 200", "/patch/Bin/Qnd.exe 200",
                                        "/patch/Data/Map/b.map 200", "/patch/readme.txt 200",
                                        "/patch/%E6%95%B0%E6%8D%AE/%E5%9C%B0%E5%9B%BE.txt 200"}));
    for (const auto& [name, bytes] : newVersion) {
        EXPECT_EQ(readFile(Game(name)), bytes) << name;
        const bool fetched = name != "Bin/same.dll" && name != "Data/Map/a.map";
        // A fetched file has the list's time, to the second.
        EXPECT_EQ(Stat(Game(name)).st_mtime == Stat(Files() / name).st_mtime, fetched) << name;
    }
    EXPECT_EQ(readFile(Game("Save/player.sav")), "not listed");
    EXPECT_EQ(GameFileCount(), newVersion.size() + 1);  // the list and part files are gone

    update();
    EXPECT_EQ(TakeRequests(), std::vector<std::string>{"/patch/checksum_1_2_3.md5 200"});

    // No list on the server: false, and the flag is ready for the next try.
    EXPECT_FALSE(m_manager.FetchChecksumList("checksum_1_0_2.md5"));
    EXPECT_EQ(m_manager.m_bServerOk, 1);
    EXPECT_EQ(m_manager.m_bBusy, 0);
    EXPECT_EQ(Done(), 2u);
}

TEST_F(CheckPassTest, UnreadableAndEmptyListsNoUpdateAndClosing) {
    writeFile(m_owner.root / "Launcher.CHS", "[Error]\nChecksumOpenError_Client=unreadable\n");
    SetTextFile((m_owner.root / "Launcher.CHS").string());
    {
        MessageBoxRecorder boxes;
        m_manager.LoadChecksumList((m_owner.root / "absent.md5").string());
        EXPECT_EQ(boxes.texts(), std::vector<std::string>{"unreadable"});
    }
    EXPECT_EQ(m_manager.m_bBusy, 0);  // not stuck busy: the next pass runs

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
    EXPECT_EQ(TakeLog().size(), 0u);
    EXPECT_EQ(Done(), 2u);

    // Closing during the first file's slow transfer: the pass ends there, no WM_UPDATE_DONE.
    m_owner.noUpdate = false;
    m_server.SetFaults({.blockDelay = std::chrono::milliseconds(300)});
    writeFile(m_owner.root / "list.md5", three);
    m_manager.LoadChecksumList((m_owner.root / "list.md5").string());
    ASSERT_TRUE(waitFor([this] { return TakeLog().size() == 1; }));
    m_owner.running = false;
    ASSERT_TRUE(waitFor([this] { return !m_manager.IsCheckThreadRunning(); }));
    m_manager.JoinCheckThread();
    m_manager.StopDownloadThread();
    EXPECT_EQ(Done(), 2u);
    EXPECT_LE(m_owner.progress.steps, 1);
    EXPECT_EQ(TakeLog().size(), 0u);
    EXPECT_EQ(m_manager.m_bBusy, 0);
}

// The list's blank lines are no entries; upper-case digests never match what the files give.
TEST_F(CheckPassTest, NotUpdateListSkipsExactNamesOnTheFirstUpdateOnly) {
    writeFile(m_owner.root / "NotUpdateList.txt", "Bin\\Qnd.ini\r\n\r\n");
    m_manager.LoadExcludeList();
    writeFile(Files() / "Bin/Qnd.ini", "server settings");
    writeFile(Files() / "bin/qnd.ini", "other case");
    const auto list = [](bool upper) {
        return Line("Bin\\Qnd.ini", "server settings", upper) + "\r\n\r\n" +
               Line("bin\\qnd.ini", "other case", upper) + "\n";
    };

    const auto progress = RunPass(list(false));
    EXPECT_EQ(progress.range, std::make_pair(0, 3));
    EXPECT_EQ(progress.steps, 1);  // the skipped entry does not step
    EXPECT_FALSE(fs::exists(Game("Bin/Qnd.ini")));
    EXPECT_EQ(readFile(Game("bin/qnd.ini")), "other case");

    m_manager.ClearExcludeList();  // what the owner does on WM_UPDATE_DONE
    RunPass(list(false));
    EXPECT_EQ(readFile(Game("Bin/Qnd.ini")), "server settings");
    EXPECT_EQ(TakeLog().size(), 2u);
    RunPass(list(true));
    EXPECT_EQ(TakeLog().size(), 2u);
}

TEST_F(DownloadTest, FileArrivesInBlocksWithProgressTimeAndNames) {
    const std::string big = randomBytes(700000, 7);
    writeFile(Files() / "Bin/big.dat", big);
    writeFile(Game("Bin/big.dat"), "old");
    ::chmod(Game("Bin/big.dat").c_str(), 0640);
    m_manager.m_bPostProgress = 1;
    Fetch(Entry("Bin\\big.dat", big, 1588327200));
    EXPECT_EQ(m_manager.m_bServerOk, 1);
    EXPECT_EQ(readFile(Game("Bin/big.dat")), big);
    EXPECT_EQ(Stat(Game("Bin/big.dat")).st_mtime, 1588327200);
    EXPECT_EQ(Stat(Game("Bin/big.dat")).st_mode & 07777, 0640u);  // an update keeps the mode

    // The file, its length, then the size of each read.
    const auto posted = m_owner.target.messages();
    ASSERT_GE(posted.size(), 5u);
    EXPECT_EQ(std::tie(posted[0].id, posted[0].text),
              std::make_tuple(platform::WM_DOWN_FILE, Game("Bin/big.dat").string()));
    EXPECT_EQ(std::tie(posted[1].id, posted[1].wParam),
              std::make_tuple(platform::WM_DOWN_RANGE, std::intptr_t{700000}));
    std::intptr_t sum = 0;
    for (auto read = posted.begin() + 2; read != posted.end(); sum += (read++)->wParam) {
        EXPECT_EQ(read->id, platform::WM_DOWN_PROGRESS);
        EXPECT_TRUE(read->wParam > 0 && read->wParam <= std::intptr_t{kBlock}) << read->wParam;
    }
    EXPECT_EQ(sum, 700000);

    // Into folders that do not exist yet, with time 0 leaving the time of writing. URL syntax in
    // a name is data. The list holds GBK bytes, the request and the local name are UTF-8; the
    // second byte of "\x81\x5C" is a backslash and must not split the name.
    const std::time_t before = std::time(nullptr);
    writeFile(Files() / "Data/Map/50% off #1?.txt", "odd name");
    Fetch(Entry("Data\\Map\\50% off #1?.txt", "odd name"));
    writeFile(Files() / "数据/地图乗.map", "gbk name");
    Fetch(Entry("\xCA\xFD\xBE\xDD\\\xB5\xD8\xCD\xBC\x81\x5C.map", "gbk name"));
    EXPECT_EQ(m_manager.m_bServerOk, 1);
    EXPECT_EQ(readFile(Game("Data/Map/50% off #1?.txt")), "odd name");
    EXPECT_EQ(readFile(Game("数据/地图乗.map")), "gbk name");
    const struct stat odd = Stat(Game("Data/Map/50% off #1?.txt"));
    EXPECT_GE(odd.st_mtime, before - 1);
    EXPECT_EQ(odd.st_mode & 07777, 0644u);
    EXPECT_EQ(GameFileCount(), 3u);  // no part file left

    // One client for the manager's life: its title as the agent, the connection kept alive.
    const auto log = TakeLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NE(log[0].find(std::string("\"") + kTitle + "\""), std::string::npos) << log[0];
    const auto port = [](const std::string& line) { return line.substr(0, line.find(' ')); };
    EXPECT_EQ(port(log[0]), port(log[2]));
}

TEST_F(DownloadTest, FailedFilesLeaveTheOldOneAndTheThreadGoesOn) {
    const std::string fresh(1000, 'n');
    writeFile(Files() / "Bin/keep.dat", fresh);
    writeFile(Game("Bin/keep.dat"), "old contents");
    writeFile(Game("Bin/gone.dat"), "old gone");
    writeFile(Files() / "Bin/dir.dat", "file");
    fs::create_directories(Game("Bin/dir.dat/inner"));
    writeFile(Files() / "Blocked/x.dat", "x");
    writeFile(Game("Blocked"), "a file where a folder should be");
    writeFile(Files() / "C:/x.dat", "drive");
    const auto outside = m_owner.root / "outside.dat";
    writeFile(m_owner.root / "server" / "outside.dat", "escaped");

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
        m_server.SetFaults(c.faults);
        Fetch(c.entry);
        EXPECT_EQ(m_manager.m_bServerOk, 0);
        EXPECT_EQ(TakeLog().size(), c.requested ? 1u : 0u);
        m_manager.m_bServerOk = 1;
    }
    m_server.SetFaults({});
    EXPECT_EQ(readFile(Game("Bin/keep.dat")), "old contents");
    EXPECT_EQ(readFile(Game("Bin/gone.dat")), "old gone");
    EXPECT_TRUE(fs::is_directory(Game("Bin/dir.dat/inner")));
    EXPECT_EQ(readFile(Game("Blocked")), "a file where a folder should be");
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_FALSE(fs::exists(Game("C:")));
    EXPECT_EQ(GameFileCount(), 3u);  // no part file left

    // The thread is still there for the next file.
    Fetch(Entry("Bin\\keep.dat", fresh));
    EXPECT_EQ(m_manager.m_bServerOk, 1);
    EXPECT_EQ(readFile(Game("Bin/keep.dat")), fresh);
}

}  // namespace
