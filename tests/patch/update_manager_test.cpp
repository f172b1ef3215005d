// The update manager against a real update server on loopback and a temporary game folder: the
// list's lines, the check pass over a list the publisher's writer made, and the download engine's
// blocks, names and failures.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <thread>
#include <tuple>

#include "config/text_table.h"
#include "devserver/update_server.h"
#include "pack/checksum_writer.h"
#include "patch/update_manager.h"
#include "platform/process.h"
#include "platform/window_messages.h"
#include "support/message_box_recorder.h"
#include "support/post_recorder.h"
#include "support/test_support.h"

namespace {

using namespace quend::test;
namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using Files = std::map<std::string, std::string>;

// "正在检查文件…" as the status line carries it (GBK).
constexpr char kCheckingGbk[] = "\xd5\xfd\xd4\xda\xbc\xec\xb2\xe9\xce\xc4\xbc\xfe\xa1\xad";
constexpr std::intptr_t kBlock = 327680;
constexpr char kTitle[] = "QuendTest";

TEST(ChecksumLineTest, FieldsFollowTheTokenizerAndTheLocalDate) {
    ::setenv("TZ", "CST-8", 1);  // the list's dates are local time
    ::tzset();
    // The line, then the fields it gives.
    std::vector<
        std::tuple<std::string, std::string, std::string, std::string, std::int64_t, std::int64_t>>
        cases = {
            {"Bin\\a.dll|x|m|2020-12-31 23:59:59|1024", "Bin\\a.dll", "x", "m", 1609430399, 1024},
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
        cases.emplace_back(std::string("f|x|m|") + date + "|1", "f", "x", "m", 0, 1);
    _filelist e;
    for (const auto& [line, name, extra, md5, time, size] : cases) {
        e.modifiedTime = 7;
        ASSERT_EQ(CMyUpdateManager::ParseChecksumLine(line, e), 1) << line;
        EXPECT_EQ(std::tie(e.fileName, e.extra, e.md5, e.modifiedTime, e.fileSize),
                  std::tie(name, extra, md5, time, size))
            << line;
    }
    // An empty line is no entry and leaves the working entry alone.
    EXPECT_EQ(CMyUpdateManager::ParseChecksumLine("", e), 0);
    EXPECT_EQ(e.fileName, "f");
}

TEST(WaitDownloadEventTest, ResetsWhatItSawAndLeavesItWhenStopped) {
    platform::ManualResetEvent event;
    std::atomic<bool> running{true};
    const auto isRunning = [&running] { return running.load(); };
    // Each action comes while the wait is under way; stopped, the wait returns unset.
    const std::function<void()> actions[] = {[&] { event.Set(); }, [&] { running = false; }};
    for (const auto& action : actions) {
        std::thread later([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            action();
        });
        WaitDownloadEventWhileRunning(event, isRunning);
        later.join();
        EXPECT_FALSE(event.IsSet());
    }
    event.Set();
    WaitDownloadEventWhileRunning(event, isRunning);
    EXPECT_TRUE(event.IsSet());  // not running: not consumed
}

// What the check pass showed.
struct Progress {
    Texts status;
    std::pair<int, int> range{-1, -1};
    int steps = 0;
    bool operator==(const Progress&) const = default;
};

// The owner of a manager with its download thread running against a server of Served() under
// the update address http://127.0.0.1:PORT/patch, with a temporary game folder.
class UpdateTest : public ::testing::Test, public UpdateOwner {
protected:
    void SetUp() override {
        ::setenv("no_proxy", "127.0.0.1,localhost", 1);
        ASSERT_TRUE(m_server.Start());
        m_url = "http://127.0.0.1:" + std::to_string(m_server.Port()) + "/patch";
        m_manager.StartDownloadThread();
    }
    // The threads end while this owner is still whole, as when the dialog closes.
    void TearDown() override {
        m_running = false;
        m_manager.JoinCheckThread();
        m_manager.StopDownloadThread();
    }

    std::string GameDir() const override { return m_root.dir() + "game/"; }
    bool IsRunning() const override { return m_running; }
    std::string UpdateUrl() const override { return m_url; }
    std::string ModuleDir() const override { return m_root.dir(); }
    bool NoUpdate() const override { return m_noUpdate; }
    platform::ManualResetEvent& DownloadEvent() override { return m_downloadEvent; }
    void WaitDownloadEvent() override {
        WaitDownloadEventWhileRunning(m_downloadEvent, [this] { return m_running.load(); });
    }
    platform::MessageTarget& Target() override { return m_target; }

    fs::path Served(std::string_view name) const { return m_root / "server" / "patch" / name; }
    fs::path Game(std::string_view name) const { return m_root / "game" / name; }
    std::size_t Done() const { return m_target.count(platform::WM_UPDATE_DONE); }
    // The server's log lines since the last call.
    Texts TakeLog() {
        std::lock_guard lock(m_logMutex);
        return std::exchange(m_log, {});
    }
    // The game folder's regular files by path, part files of unfinished downloads included.
    Files GameFiles() const {
        Files files;
        for (const auto& file : fs::recursive_directory_iterator(Game("")))
            if (file.is_regular_file())
                files[fs::relative(file.path(), Game("")).string()] = readFile(file.path());
        return files;
    }

    // A list line for `name` with the digest and size of `bytes`.
    static std::string Line(const std::string& name, std::string_view bytes, bool upper = false) {
        std::string md5 = CMD5().GetStringMD5(std::string(bytes));
        if (upper)
            std::transform(md5.begin(), md5.end(), md5.begin(), ::toupper);
        return name + "|x|" + md5 + "|2020-5-1 10:00:00|" + std::to_string(bytes.size());
    }
    // Hands the file `name`, listed with the size and digest of `bytes`, to the download thread
    // and answers how it ended.
    FileOutcome Fetch(std::string name, std::string_view bytes) {
        m_downloadEvent.Reset();
        m_manager.QueueDownload({std::move(name), "x", CMD5().GetStringMD5(std::string(bytes)), 0,
                                 static_cast<std::int64_t>(bytes.size())});
        m_manager.WorkEvent().Set();
        EXPECT_TRUE(m_downloadEvent.WaitFor(std::chrono::seconds(20)));
        return m_manager.TakeOutcome();
    }

    // Waits for the check pass that `start` starts and answers what it posted for the status
    // line and the overall bar.
    Progress Pass(const std::function<void()>& start) {
        const std::size_t before = m_target.messages().size();
        start();
        EXPECT_TRUE(waitFor([this] { return !m_manager.IsCheckThreadRunning(); },
                            std::chrono::seconds(30)));
        EXPECT_EQ(m_manager.m_bBusy, 0);
        Progress progress;
        const auto posted = m_target.messages();
        for (const auto& m : std::span(posted).subspan(before)) {
            if (m.id == platform::WM_UPDATE_STATUS) {
                progress.status.push_back(m.text);
            } else if (m.id == platform::WM_TOTAL_PROGRESS) {
                progress.range = {0, static_cast<int>(m.lParam)};
                progress.steps = static_cast<int>(m.wParam);
            }
        }
        return progress;
    }
    Progress RunPass(const std::string& lines) {
        writeFile(m_root / "list.md5", lines);
        return Pass([this] { m_manager.LoadChecksumList((m_root / "list.md5").string()); });
    }

    static struct stat Stat(const fs::path& path) {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return info;
    }

    TempDir m_root;
    std::atomic<bool> m_running{true};
    std::atomic<bool> m_noUpdate{false};
    std::string m_url;  // set before the threads start
    PostRecorder m_target;
    platform::ManualResetEvent m_downloadEvent;
    std::mutex m_logMutex;
    Texts m_log;
    devserver::CUpdateServer m_server{m_root / "server", [this](const std::string& line) {
                                          std::lock_guard lock(m_logMutex);
                                          m_log.push_back(line);
                                      }};
    CMyUpdateManager m_manager{*this, kTitle};
};

using CheckPassTest = UpdateTest;
using DownloadTest = UpdateTest;

// The writer lists a new version; the update fetches the list, then exactly the files that
// differ (Qnd.exe keeps its size), with their listed times and modes, and removes the list; the
// next update asks for the list alone. The list holds GBK bytes, the requests and the local names
// are UTF-8; the second byte of "乗" (\x81\x5C) is a backslash and must not split the name. URL
// syntax in a name is data.
TEST_F(CheckPassTest, PublishedVersionFetchesExactlyTheFilesThatDiffer) {
    const Files newVersion = {{"Bin/Qnd.exe", "program v2"},
                              {"Bin/same.dll", "unchanged library"},
                              {"Data/Map/a.map", "same map"},
                              {"Data/Map/b.map", "a map that grew longer"},
                              {"Data/Map/50%25 off #1?.txt", "odd name"},
                              {"数据/地图乗.map", "新的地图"}};
    const auto published = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
    for (const auto& [name, bytes] : newVersion) {
        writeFile(Served(name), bytes);
        fs::last_write_time(Served(name), published);
    }
    Files game = {{"Bin/Qnd.exe", "program v1"},
                  {"Bin/same.dll", "unchanged library"},
                  {"Data/Map/a.map", "same map"},
                  {"Data/Map/b.map", "a map"},
                  {"Save/player.sav", "not listed"}};
    for (const auto& [name, bytes] : game)
        writeFile(Game(name), bytes);
    ::chmod(Game("Bin/Qnd.exe").c_str(), 0750);
    ASSERT_EQ(CChecksumWriter(Served(""), Served("")).Run("1.2.3"), newVersion.size());
    const auto update = [this] {
        return Pass(
            [this] { EXPECT_FALSE(m_manager.FetchChecksumList("checksum_1_2_3.md5").Failed()); });
    };

    EXPECT_EQ(update(), (Progress{Texts(2, kCheckingGbk), {0, 7}, 6}));
    EXPECT_EQ(Done(), 1u);
    for (const auto& [name, bytes] : newVersion) {
        const bool fetched = game[name] != bytes;
        EXPECT_EQ(Stat(Game(name)).st_mtime == Stat(Served(name)).st_mtime, fetched) << name;
        game[name] = bytes;
    }
    EXPECT_EQ(GameFiles(), game);  // the list and part files are gone
    EXPECT_EQ(Stat(Game("Bin/Qnd.exe")).st_mode & 07777, 0750u);
    // One client for the manager's life: its title as the agent, the connection kept alive.
    const Texts log = TakeLog();
    ASSERT_EQ(log.size(), 5u);
    for (const std::string& line : log)
        EXPECT_TRUE(line.starts_with(log[0].substr(0, log[0].find(' '))) &&
                    line.ends_with(std::string(" \"") + kTitle + "\""))
            << line;

    update();
    EXPECT_EQ(TakeLog().size(), 1u);
    // No list on the server: the server's failure, and the flag is ready for the next try.
    EXPECT_EQ(m_manager.FetchChecksumList("checksum_1_0_2.md5").kind,
              FileOutcome::Kind::ServerFailed);
    EXPECT_EQ(m_manager.m_bServerOk, 1);
    EXPECT_EQ(Done(), 2u);
}

TEST_F(CheckPassTest, UnreadableAndEmptyListsNoUpdateAndClosing) {
    SetTextFile((m_root / "Launcher.none").string());  // the message shows its key
    MessageBoxRecorder boxes;
    m_manager.LoadChecksumList((m_root / "absent.md5").string());
    EXPECT_EQ(boxes.take(), Texts{"[?Error.ChecksumOpenError_Client?]"});
    // Not left busy: the next pass runs.
    EXPECT_EQ(RunPass(""), (Progress{{}, {0, 1}, 0}));
    EXPECT_EQ(Done(), 1u);

    // "-NoUpdate": every entry only steps the bar; nothing is compared or fetched.
    std::string three;
    for (const char* name : {"a.dat", "b.dat", "c.dat"})
        three += Line(name, name) + "\n";
    m_noUpdate = true;
    EXPECT_EQ(RunPass(three), (Progress{Texts(3, kCheckingGbk), {0, 4}, 3}));
    EXPECT_EQ(TakeLog(), Texts{});
    EXPECT_EQ(Done(), 2u);

    // Closing during the first file's slow transfer: the pass ends there, no WM_UPDATE_DONE.
    m_noUpdate = false;
    writeFile(Served("a.dat"), "a.dat");
    m_server.SetFaults({.blockDelay = std::chrono::milliseconds(300)});
    const Progress closed = Pass([this] {
        m_manager.LoadChecksumList((m_root / "list.md5").string());  // still the three entries
        ASSERT_TRUE(waitFor([this] { return TakeLog().size() == 1; }));
        m_running = false;
    });
    EXPECT_LE(closed.steps, 1);
    EXPECT_EQ(TakeLog(), Texts{});
    EXPECT_EQ(Done(), 2u);
}

// The list's blank lines are no entries. Upper-case digests install their files but never match
// what the files give, so every pass fetches them again.
TEST_F(CheckPassTest, NotUpdateListSkipsExactNamesOnTheFirstUpdateOnly) {
    writeFile(m_root / "NotUpdateList.txt", "Bin\\Qnd.ini\r\n\r\n");
    m_manager.LoadExcludeList();
    writeFile(Served("Bin/Qnd.ini"), "server settings");
    writeFile(Served("bin/qnd.ini"), "other case");
    const auto list = [](bool upper) {
        return Line("Bin\\Qnd.ini", "server settings", upper) + "\r\n\r\n" +
               Line("bin\\qnd.ini", "other case", upper) + "\n";
    };

    EXPECT_EQ(RunPass(list(false)), (Progress{{}, {0, 3}, 1}));  // the skipped entry does not step
    EXPECT_EQ(GameFiles(), (Files{{"bin/qnd.ini", "other case"}}));
    m_manager.ClearExcludeList();  // what the owner does on WM_UPDATE_DONE
    RunPass(list(false));
    EXPECT_EQ(readFile(Game("Bin/Qnd.ini")), "server settings");
    EXPECT_EQ(TakeLog().size(), 2u);
    writeFile(Game("Bin/Qnd.ini"), "edited");
    RunPass(list(true));
    EXPECT_EQ(TakeLog().size(), 2u);
    EXPECT_EQ(m_manager.LastResult().failedFiles, 0);
    EXPECT_EQ(readFile(Game("Bin/Qnd.ini")), "server settings");
}

// Into a folder that does not exist yet; time 0 leaves the time of writing.
TEST_F(DownloadTest, FileArrivesInReadsOfAtMostOneBlock) {
    const std::string big = randomBytes(700000, 7);
    writeFile(Served("Bin/big.dat"), big);
    const std::time_t before = std::time(nullptr);
    m_manager.m_bPostProgress = 1;
    EXPECT_FALSE(Fetch("Bin\\big.dat", big).Failed());
    EXPECT_EQ(GameFiles(), (Files{{"Bin/big.dat", big}}));
    EXPECT_GE(Stat(Game("Bin/big.dat")).st_mtime, before - 1);
    EXPECT_EQ(Stat(Game("Bin/big.dat")).st_mode & 07777, 0644u);

    // The file, its length, then the size of each read.
    const auto posted = m_target.messages();
    ASSERT_GE(posted.size(), 2u);
    EXPECT_EQ(std::tie(posted[0].id, posted[0].text, posted[1].id, posted[1].wParam),
              std::make_tuple(platform::WM_DOWN_FILE, Game("Bin/big.dat").string(),
                              platform::WM_DOWN_RANGE, std::intptr_t{700000}));
    std::intptr_t sum = 0;
    for (const platform::PostedMessage& read : std::span(posted).subspan(2)) {
        EXPECT_TRUE(read.id == platform::WM_DOWN_PROGRESS && read.wParam > 0 &&
                    read.wParam <= kBlock)
            << read.wParam;
        sum += read.wParam;
    }
    EXPECT_EQ(sum, 700000);
}

// Whatever the server does wrong, and wherever the game folder will not take a file, the old file
// stays as it was; only the server's failures clear m_bServerOk, and a local one names its reason.
TEST_F(DownloadTest, FailedFilesLeaveTheOldOneAndTheThreadGoesOn) {
    const std::string fresh(4096, 'n');
    for (const auto& [name, bytes] : Files{{"Bin/keep.dat", fresh},
                                           {"Bin/dir.dat", "file"},
                                           {"Blocked/x.dat", "x"},
                                           {"C:/x.dat", "drive"},
                                           {"../outside.dat", "escaped"}})
        writeFile(Served(name), bytes);
    const Files old = {{"Bin/keep.dat", std::string(4096, 'o')},
                       {"Bin/gone.dat", "old gone"},
                       {"Blocked", "a file where a folder should be"}};
    for (const auto& [name, bytes] : old)
        writeFile(Game(name), bytes);
    fs::create_directories(Game("Bin/dir.dat/inner"));
    const auto outside = m_root / "outside.dat";
    using Kind = FileOutcome::Kind;
    using Faults = devserver::CUpdateServer::Faults;

    // What went wrong, the name and the bytes the list gives, the server's faults, how it ended,
    // whether a request went out.
    const std::tuple<const char*, const char*, std::string, Faults, Kind, bool> cases[] = {
        {"404", "Bin\\gone.dat", "new", {}, Kind::ServerFailed, true},
        {"500", "Bin\\keep.dat", fresh, {.status = 500}, Kind::ServerFailed, true},
        {"cut body", "Bin\\keep.dat", fresh, {.cutAfter = 500}, Kind::ServerFailed, true},
        {"announced longer",
         "Bin\\keep.dat",
         fresh,
         {.lengthSurplus = 100},
         Kind::ServerFailed,
         true},
        {"announced shorter",
         "Bin\\keep.dat",
         fresh,
         {.lengthShortfall = 3096},
         Kind::ServerFailed,
         true},
        {"wrong bytes", "Bin\\keep.dat", fresh, {.corrupt = true}, Kind::ServerFailed, true},
        {"past the listed size", "Bin\\keep.dat", fresh.substr(100), {}, Kind::ServerFailed, true},
        {"target is a folder", "Bin\\dir.dat", "file", {}, Kind::LocalFailed, true},
        {"folder cannot be made", "Blocked\\x.dat", "x", {}, Kind::LocalFailed, true},
        {"climbs out", "..\\outside.dat", "escaped", {}, Kind::ServerFailed, false},
        {"absolute", outside.c_str(), "escaped", {}, Kind::ServerFailed, false},
        {"absolute, backslash", "\\outside.dat", "escaped", {}, Kind::ServerFailed, false},
        {"drive", "C:\\x.dat", "drive", {}, Kind::ServerFailed, false},
    };
    for (const auto& [what, name, bytes, faults, kind, requested] : cases) {
        m_server.SetFaults(faults);
        const FileOutcome outcome = Fetch(name, bytes);
        EXPECT_EQ(outcome.kind, kind) << what;
        EXPECT_FALSE(outcome.reason.empty()) << what;
        EXPECT_EQ(m_manager.m_bServerOk.exchange(1), kind == Kind::LocalFailed ? 1 : 0) << what;
        EXPECT_EQ(TakeLog().size(), requested ? 1u : 0u) << what;
    }
    EXPECT_EQ(GameFiles(), old);
    EXPECT_FALSE(fs::exists(outside));
    m_server.SetFaults({});
    const FileOutcome folder = Fetch("Bin\\dir.dat", "file");
    EXPECT_EQ(std::tie(folder.path, folder.reason),
              std::make_tuple(Game("Bin/dir.dat").string(), std::string("Is a directory")));

    // The thread is still there for the next file.
    EXPECT_FALSE(Fetch("Bin\\keep.dat", fresh).Failed());
    EXPECT_EQ(m_manager.m_bServerOk, 1);
    EXPECT_EQ(readFile(Game("Bin/keep.dat")), fresh);
}

// A pass with a failed file says so and leaves it for the next pass, which fetches that file
// alone; the list is gone either way. Part files of a run that ended mid-download go with the
// next pass; new programs the patch brings can run.
TEST_F(CheckPassTest, FailedFilesAreCountedAndFetchedByTheNextPass) {
    const Files served = {{"Bin/game", readFile(QUEND_FAKE_GAME)},
                          {"Bin/run.sh", "#!/bin/sh\necho started >\"$0.record\"\n"},
                          {"Data/a.pak", "first"},
                          {"Data/b.pak", "second"}};
    std::string list;
    for (const auto& [name, bytes] : served) {
        writeFile(Served(name), bytes);
        std::string listed = name;
        std::replace(listed.begin(), listed.end(), '/', '\\');
        list += Line(listed, bytes) + "\n";
    }
    writeFile(Served("checksum_all.md5"), list);
    writeFile(Game("Data/.quend-part-Ab3xYz"), "left by a run that ended");
    writeFile(Game(".quend-part-keep"), "not of our naming");
    const auto update = [this] {
        return Pass(
            [this] { EXPECT_FALSE(m_manager.FetchChecksumList("checksum_all.md5").Failed()); });
    };

    fs::create_directories(Game("Data/b.pak/in the way"));
    update();
    const UpdateResult failed = m_manager.LastResult();
    EXPECT_EQ(std::tie(failed.failedFiles, failed.firstFailed, failed.firstLocal.path),
              std::make_tuple(1, std::string("Data\\b.pak"), Game("Data/b.pak").string()));
    EXPECT_EQ(m_target.messages().back().wParam, 1);
    EXPECT_FALSE(fs::exists(Game("checksum_all.md5")));
    EXPECT_FALSE(fs::exists(Game("Data/.quend-part-Ab3xYz")));
    EXPECT_TRUE(fs::exists(Game(".quend-part-keep")));
    TakeLog();

    fs::remove_all(Game("Data/b.pak"));
    update();
    const Texts log = TakeLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[1].find("/patch/Data/b.pak"), std::string::npos) << log[1];
    EXPECT_EQ(m_manager.LastResult().failedFiles, 0);
    EXPECT_EQ(m_target.messages().back().wParam, 0);
    EXPECT_EQ(readFile(Game("Data/b.pak")), "second");

    for (const char* program : {"Bin/game", "Bin/run.sh"}) {
        EXPECT_TRUE(platform::StartProcess(Game(program).string(), {}, Game("").string()));
        EXPECT_TRUE(waitFor([&] { return fs::exists(Game(program).string() + ".record"); }))
            << program;
    }
    EXPECT_EQ(Stat(Game("Data/a.pak")).st_mode & 0111, 0u);
}

}  // namespace
