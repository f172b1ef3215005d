// The update engine against an update server on loopback: the list's lines, a pass over the
// writer's list, failed and resumed downloads, free space, the posted messages and stopping.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <ctime>
#include <map>
#include <thread>
#include <tuple>

#include "config/text_table.h"
#include "devserver/update_server.h"
#include "pack/checksum_writer.h"
#include "patch/checksum_list.h"
#include "patch/resume_part.h"
#include "platform/process.h"
#include "platform/window_messages.h"
#include "support/log_recorder.h"
#include "support/message_box_recorder.h"
#include "support/small_tmpfs.h"
#include "support/test_support.h"
#include "update_fixture.h"

namespace {

using namespace quend::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Kind = patch::FileOutcome::Kind;
using Faults = devserver::CUpdateServer::Faults;

// "正在检查文件…" as the status line carries it (GBK).
constexpr char kCheckingGbk[] = "\xd5\xfd\xd4\xda\xbc\xec\xb2\xe9\xce\xc4\xbc\xfe\xa1\xad";
constexpr std::intptr_t kBlock = 327680;
constexpr std::intptr_t kBar = 10000;  // the overall bar's range

TEST(ChecksumListTest, LinesReadAsTheTokenizerAndTheLocalDate) {
    ::setenv("TZ", "CST-8", 1);  // the list's dates are local time
    ::tzset();
    // The line, then the fields it gives.
    using S = std::string;
    std::vector<std::tuple<S, S, S, S, std::int64_t, std::int64_t>> cases = {
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
    patch::_filelist e;
    for (const auto& [line, name, extra, md5, time, size] : cases) {
        e.modifiedTime = 7;
        ASSERT_EQ(patch::ParseChecksumLine(line, e), 1) << line;
        EXPECT_EQ(std::tie(e.fileName, e.extra, e.md5, e.modifiedTime, e.fileSize),
                  std::tie(name, extra, md5, time, size))
            << line;
    }
    // An empty line is no entry and leaves the working entry alone.
    EXPECT_EQ(patch::ParseChecksumLine("", e), 0);
    EXPECT_EQ(e.fileName, "f");
}

TEST(ChecksumListTest, ListNamesFromVersions) {
    const std::uint32_t v123 = (1u << 28) | (2u << 14) | 3u;
    const std::uint32_t highest = (15u << 28) | (16383u << 14) | 16383u;
    const std::tuple<std::uint32_t, std::uint32_t, const char*> cases[] = {
        {v123, v123, "checksum_1_2_3.md5"},
        {v123, highest, "checksum_all.md5"},
        {highest, highest, "checksum_15_16383_16383.md5"},
        {0, 0, "checksum_0_0_0.md5"},
    };
    for (const auto& [local, server, name] : cases) {
        EXPECT_EQ(patch::ChecksumListName(local, server), name);
        EXPECT_TRUE(patch::IsChecksumListName(name)) << name;
    }
    EXPECT_EQ(patch::ChecksumListNameOf("1.02.3"), "checksum_1_2_3.md5");
    for (const char* name : {"checksum_1_02_3.md5", "checksum_16_0_0.md5", "checksum_1_2.md5"})
        EXPECT_FALSE(patch::IsChecksumListName(name)) << name;
}

// An engine against a loopback server of Served(), with the server's log.
class UpdateTest : public UpdateFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        m_url = "http://127.0.0.1:" + std::to_string(m_server.Port()) + "/patch";
        m_manager.StartDownloadThread();
    }

    fs::path Served(std::string_view name) const { return m_root / "server" / "patch" / name; }
    std::intptr_t LastDone() const { return m_target.messages().back().wParam; }
    // The part file of `name` listed with the digest of `bytes`, relative to the game folder.
    std::string Part(std::string name, std::string_view bytes) const {
        const fs::path file = Game(name);
        std::replace(name.begin(), name.end(), '/', '\\');
        return fs::relative(patch::ResumePartPath(file.string(), Entry(name, bytes)), m_gameDir);
    }
    static struct stat Stat(const fs::path& path) {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return info;
    }

    LogRecorder m_log;
    devserver::CUpdateServer m_server{m_root / "server", m_log.logger()};
};

using CheckPassTest = UpdateTest;
using DownloadTest = UpdateTest;

// The writer lists a new version; the update fetches the list, then exactly the files that
// differ (Qnd.exe keeps its size) with their listed times, keeping their modes but readable by
// their owner; new programs can run. The list goes, and so do the part files of a run that ended
// mid-download; the next update asks for the list alone.
TEST_F(CheckPassTest, PublishedVersionFetchesExactlyTheFilesThatDiffer) {
    const Files newVersion = {{"Bin/Qnd.exe", "program v2"},
                              {"Bin/game", readFile(QUEND_FAKE_GAME)},
                              {"Bin/run.sh", "#!/bin/sh\necho started >\"$0.record\"\n"},
                              {"Bin/same.dll", "unchanged library"},
                              {"Data/Map/b.map", "a map that grew longer"},
                              {"Data/Map/50%25 off #1?.txt", "URL syntax is data"}};
    const auto published = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
    for (const auto& [name, bytes] : newVersion) {
        writeFile(Served(name), bytes);
        fs::last_write_time(Served(name), published);
    }
    Files game = {{"Bin/Qnd.exe", "program v1"},
                  {"Bin/same.dll", "unchanged library"},
                  {"Data/Map/b.map", "a map"},
                  {"Save/player.sav", "not listed"},
                  {".quend-part-keep", "not of our naming"}};
    for (const auto& [name, bytes] : game)
        writeFile(Game(name), bytes);
    writeFile(Game("Data/.quend-part-Ab3xYz"), "left by a run that ended");
    ::chmod(Game("Bin/Qnd.exe").c_str(), 0750);
    ::chmod(Game("Data/Map/b.map").c_str(), 0);
    ASSERT_EQ(pack::CChecksumWriter(Served(""), Served("")).Run("1.2.3"), newVersion.size());
    const auto update = [this] {
        return Pass([this] { EXPECT_TRUE(m_manager.StartListPass("checksum_1_2_3.md5")); });
    };

    EXPECT_EQ(update(), (Progress{{kCheckingGbk}, kBar}));
    for (const auto& [name, bytes] : newVersion) {
        EXPECT_EQ(Stat(Game(name)).st_mtime == Stat(Served(name)).st_mtime, game[name] != bytes)
            << name;
        game[name] = bytes;
    }
    EXPECT_EQ(GameFiles(), game);
    EXPECT_EQ(Stat(Game("Bin/Qnd.exe")).st_mode & 07777, 0750u);
    EXPECT_EQ(Stat(Game("Data/Map/b.map")).st_mode & 07777, 0400u);  // readable, or fetched forever
    EXPECT_EQ(Stat(Game("Data/Map/50%25 off #1?.txt")).st_mode & 0111, 0u);
    for (const char* program : {"Bin/game", "Bin/run.sh"}) {
        EXPECT_TRUE(platform::StartProcess(Game(program).string(), {}, Game("").string()));
        EXPECT_TRUE(waitFor([&] { return fs::exists(Game(program).string() + ".record"); }))
            << program;
    }
    // One client for the manager's life: its title as the agent, the connection kept alive.
    const Texts log = m_log.take();
    ASSERT_EQ(log.size(), 6u);
    for (const std::string& line : log)
        EXPECT_TRUE(line.starts_with(log[0].substr(0, log[0].find(' '))) &&
                    line.ends_with(std::string(" \"") + kTitle + "\""))
            << line;

    update();
    EXPECT_EQ(m_log.take().size(), 1u);
    // No list on the server: the server's failure, no pass, and the engine and the flag are
    // ready for the next try.
    EXPECT_TRUE(m_manager.StartListPass("checksum_1_0_2.md5"));
    ASSERT_TRUE(m_target.waitFor(platform::WM_LIST_FAILED, 1, std::chrono::seconds(30)));
    EXPECT_EQ(m_target.messages().back().wParam, 0);
    EXPECT_EQ(m_manager.ListFailure().kind, Kind::ServerFailed);
    EXPECT_TRUE(m_manager.ServerOk());
    EXPECT_FALSE(m_manager.IsBusy());
    EXPECT_EQ(Done(), 2u);
}

// An unreadable list says so and leaves the engine ready; an empty one shows no status line;
// with "-NoUpdate" nothing is compared or fetched. A full disk's text names both sizes.
// The list the Start button fetched is gone from the game folder before the pass fetches a file.
TEST_F(CheckPassTest, TheListLeavesTheGameFolderBeforeTheFirstFetch) {
    writeFile(Served("Data/a.txt"), "new");
    writeFile(Served("checksum_1_2_3.md5"), Line("Data\\a.txt", "new"));
    std::atomic<int> listThere{-1};
    // Logged before the reply goes out, while the engine waits for it.
    devserver::CUpdateServer server{m_root / "server", [&](const std::string& line) {
                                        if (line.find("a.txt") != std::string::npos)
                                            listThere = fs::exists(Game("checksum_1_2_3.md5"));
                                    }};
    ASSERT_TRUE(server.Start());
    m_url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/patch";
    Pass([this] { EXPECT_TRUE(m_manager.StartListPass("checksum_1_2_3.md5")); });
    EXPECT_EQ(listThere, 0);
    EXPECT_EQ(readFile(Game("Data/a.txt")), "new");
    server.Stop();
}

TEST_F(CheckPassTest, UnreadableAndEmptyListsNoUpdateAndTheFullDiskText) {
    config::SetTextFile((m_root / "Launcher.none").string());  // the built-in texts
    patch::UpdateResult full;
    std::tie(full.spaceNeeded, full.spaceFree) = std::make_tuple(3 << 20, 1536 * 1024);
    EXPECT_EQ(patch::DiskSpaceText(full), "磁盘空间不足：更新需要 3.0 MB，游戏所在磁盘只剩 1.5 MB");
    MessageBoxRecorder boxes;
    m_manager.LoadChecksumList((m_root / "absent.md5").string());
    EXPECT_EQ(boxes.take(), Texts{"[?Error.ChecksumOpenError_Client?]"});
    EXPECT_EQ(RunPass(""), (Progress{{}, kBar}));

    m_noUpdate = true;
    EXPECT_EQ(RunPass(Line("a.dat", "a") + Line("b.dat", "b")), (Progress{{kCheckingGbk}, kBar}));
    EXPECT_EQ(m_log.take(), Texts{});
    EXPECT_EQ(Done(), 2u);
    EXPECT_EQ(LastDone(), 0);
}

// The list's blank lines are no entries. Upper-case digests install their files but never match
// what the files give, so every pass fetches them again.
TEST_F(CheckPassTest, NotUpdateListSkipsExactNamesOnTheFirstUpdateOnly) {
    writeFile(m_root / "NotUpdateList.txt", "Bin\\Qnd.ini\r\n\r\n");
    m_manager.LoadExcludeList();
    writeFile(Served("Bin/Qnd.ini"), "server settings");
    writeFile(Served("bin/qnd.ini"), "other case");
    const auto list = [](bool upper) {
        return Line("Bin\\Qnd.ini", "server settings", "\r\n\r\n", upper) +
               Line("bin\\qnd.ini", "other case", "\n", upper);
    };

    RunPass(list(false));
    EXPECT_EQ(GameFiles(), (Files{{"bin/qnd.ini", "other case"}}));
    EXPECT_EQ(m_log.take().size(), 1u);
    m_manager.ClearExcludeList();  // what the owner does on WM_UPDATE_DONE
    RunPass(list(true));
    EXPECT_EQ(m_log.take().size(), 2u);
    EXPECT_EQ(m_manager.LastResult().failedFiles, 0);
    EXPECT_EQ(GameFiles(),
              (Files{{"Bin/Qnd.ini", "server settings"}, {"bin/qnd.ini", "other case"}}));
}

// Whatever the server does wrong, and wherever the game folder will not take a file, the old file
// stays as it was and no part file is left; only the server's failures clear ServerOk, and a
// local one names its reason. (A cut transfer keeps its part: see the resume test.)
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
    constexpr Kind kServer = Kind::ServerFailed, kLocal = Kind::LocalFailed;

    // The listed name and bytes, the server's faults, how it ended, whether a request went out.
    const std::tuple<const char*, std::string, Faults, Kind, bool> cases[] = {
        {"Bin\\gone.dat", "new", {}, kServer, true},  // 404
        {"Bin\\keep.dat", fresh, {.status = 500}, kServer, true},
        {"Bin\\keep.dat", fresh, {.lengthSurplus = 100}, kServer, true},
        {"Bin\\keep.dat", fresh, {.lengthShortfall = 3096}, kServer, true},
        {"Bin\\keep.dat", fresh, {.corrupt = true}, kServer, true},
        {"Bin\\keep.dat", fresh.substr(100), {}, kServer, true},  // past the listed size
        {"Bin\\dir.dat", "file", {}, kLocal, true},
        {"Blocked\\x.dat", "x", {}, kLocal, true},
        {"..\\outside.dat", "escaped", {}, kServer, false},
        {outside.c_str(), "escaped", {}, kServer, false},
        {"\\outside.dat", "escaped", {}, kServer, false},
        {"C:\\x.dat", "drive", {}, kServer, false},
    };
    for (const auto& [name, bytes, faults, kind, requested] : cases) {
        SCOPED_TRACE(testing::Message() << name << " " << bytes.size());
        m_server.SetFaults(faults);
        const patch::FileOutcome outcome = Fetch(name, bytes);
        EXPECT_EQ(std::make_tuple(outcome.kind, outcome.reason.empty(), m_manager.ServerOk(),
                                  m_log.take().size()),
                  std::make_tuple(kind, false, kind == kLocal, requested ? 1u : 0u));
        m_manager.ResetServerOk();
    }
    EXPECT_EQ(GameFiles(), old);
    EXPECT_FALSE(fs::exists(outside));
    m_server.SetFaults({});
    const patch::FileOutcome folder = Fetch("Bin\\dir.dat", "file");
    EXPECT_EQ(std::tie(folder.path, folder.reason),
              std::make_tuple(Game("Bin/dir.dat").string(), std::string("Is a directory")));

    // A write refused halfway, blocks being digested: the reason, the old file, a part kept.
    const std::string large = randomBytes(1 << 20, 9);
    writeFile(Served("Bin/keep.dat"), large);
    // A cap on every file this process writes: writes past it fail with EFBIG, SIGXFSZ ignored.
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit capped = {256 * 1024, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &capped), 0);
    const patch::FileOutcome refused = Fetch("Bin\\keep.dat", large);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(std::tie(refused.kind, refused.reason),
              std::make_tuple(kLocal, std::string("File too large")));
    EXPECT_EQ(GameFiles(true), (Files{{Part("Bin/keep.dat", large), large.substr(0, 256 * 1024)}}));
    fs::remove(Game(Part("Bin/keep.dat", large)));
    EXPECT_TRUE(GameFiles() == old);
    m_log.take();

    // The thread goes on; a file listed without a time keeps the time of writing.
    const std::time_t before = std::time(nullptr);
    EXPECT_FALSE(Fetch("Bin\\keep.dat", large).Failed());
    EXPECT_TRUE(m_manager.ServerOk());
    EXPECT_EQ(readFile(Game("Bin/keep.dat")), large);
    EXPECT_GE(Stat(Game("Bin/keep.dat")).st_mtime, before - 1);
}

// A checksum list past the bound is refused as it arrives, whatever the server announces, and
// nothing of it stays.
TEST_F(DownloadTest, AChecksumListPastTheBoundIsRefused) {
    writeFile(Served("huge.md5"), "");
    fs::resize_file(Served("huge.md5"), patch::CFileFetcher::kMostListBytes + 1);  // sparse
    const fs::path list = m_root / "lists" / "huge.md5";
    auto done = m_manager.QueueListDownload("huge.md5", list.string());
    ASSERT_EQ(done.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    const patch::FileOutcome outcome = done.get();
    EXPECT_EQ(std::tie(outcome.kind, outcome.reason),
              std::make_tuple(
                  Kind::ServerFailed,
                  "longer than " + std::to_string(patch::CFileFetcher::kMostListBytes) + " bytes"));
    EXPECT_TRUE(fs::is_empty(list.parent_path()));
}

// A transfer cut at any point keeps its part file and the old file; the tries within the fetch
// ask for the rest with a Range request. The next fetch goes on where the part ended and ends
// with the file byte for byte, or starts over when the server sends the whole file instead.
TEST_F(DownloadTest, ACutTransferGoesOnWhereItsPartEnded) {
    const std::string fresh = randomBytes(700000, 11), old = "the old version";
    writeFile(Served("Data/big.pak"), fresh);
    const auto asks = [](const std::string& line, std::uint64_t from) {
        return line.ends_with("\"bytes=" + std::to_string(from) + "-\"");
    };
    // Where the first transfer is cut; the server's faults next time and its answer to the Range.
    const std::tuple<std::uint64_t, Faults, const char*> cases[] = {
        {1, {}, "206"},
        {kBlock, {}, "206"},
        {fresh.size() - 1, {}, "206"},
        {500000, {.ignoreRange = true}, "200"},
    };
    for (const auto& [cut, faults, status] : cases) {
        SCOPED_TRACE(cut);
        writeFile(Game("Data/big.pak"), old);
        m_server.SetFaults({.cutAfter = cut});
        EXPECT_EQ(Fetch("Data\\big.pak", fresh).kind, Kind::ServerFailed);
        EXPECT_FALSE(m_manager.ServerOk());
        m_manager.ResetServerOk();
        EXPECT_EQ(GameFiles(), (Files{{"Data/big.pak", old},
                                      {Part("Data/big.pak", fresh), fresh.substr(0, cut)}}));
        // The whole file first, then the rest twice: the two tries after a cut.
        Texts log = m_log.take();
        ASSERT_EQ(log.size(), 3u);
        EXPECT_EQ(log[0].find("bytes="), std::string::npos) << log[0];
        EXPECT_TRUE(asks(log[1], cut) && asks(log[2], cut)) << log[1] << log[2];

        m_server.SetFaults(faults);
        EXPECT_FALSE(Fetch("Data\\big.pak", fresh).Failed());
        EXPECT_EQ(GameFiles(), (Files{{"Data/big.pak", fresh}}));
        log = m_log.take();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_TRUE(asks(log[0], cut)) << log[0];
        EXPECT_NE(log[0].find(std::string("\" ") + status + " "), std::string::npos) << log[0];
    }

    // A part longer than the server's file: asked for from the start, gone at the wrong length.
    m_server.SetFaults({});
    writeFile(Served("Data/short.pak"), fresh.substr(0, 300));
    writeFile(Game(Part("Data/short.pak", fresh)), fresh.substr(0, 500));
    const patch::FileOutcome shorter = Fetch("Data\\short.pak", fresh);
    EXPECT_EQ(shorter.kind, Kind::ServerFailed) << shorter.reason;
    const Texts log = m_log.take();
    ASSERT_EQ(log.size(), 2u) << testing::PrintToString(log) << shorter.reason;
    EXPECT_TRUE(log[0].find("\" 416 ") != std::string::npos && asks(log[0], 500)) << log[0];
    EXPECT_NE(log[1].find("\" 200 300 "), std::string::npos) << log[1];
    EXPECT_EQ(GameFiles(true), Files{});
}

// In a pass a small file arrives whole in memory and is put in place beside the connection; cut
// on the way, it keeps what came in its part file like any other, and the next pass goes on from
// it. Part files of an older list (another digest) and of files that are current go.
TEST_F(CheckPassTest, APassKeepsThePartOfACutFileAndGoesOnFromItButNoOtherPart) {
    const std::string fresh = randomBytes(200000, 9), older = randomBytes(200000, 4);
    writeFile(Served("Data/a.pak"), fresh);
    writeFile(Served("Data/b.pak"), "current");
    writeFile(Game("Data/b.pak"), "current");
    const std::string list = Line("Data\\a.pak", fresh) + Line("Data\\b.pak", "current", "");
    m_server.SetFaults({.cutAfter = 120000});
    RunPass(list);
    EXPECT_EQ(m_manager.LastResult().failedFiles, 1);
    EXPECT_EQ(GameFiles(true), (Files{{Part("Data/a.pak", fresh), fresh.substr(0, 120000)}}));
    EXPECT_EQ(m_log.take().size(), 3u);

    writeFile(Game(Part("Data/a.pak", older)), older.substr(0, 1000));
    writeFile(Game(Part("Data/b.pak", "current")), "cur");
    m_server.SetFaults({});
    RunPass(list);
    EXPECT_EQ(GameFiles(), (Files{{"Data/a.pak", fresh}, {"Data/b.pak", "current"}}));
    const patch::UpdateResult result = m_manager.LastResult();
    EXPECT_EQ(
        std::tie(result.failedFiles, result.fetchedFiles, result.resumedBytes, result.fetchedBytes),
        std::make_tuple(0, 1, std::uint64_t{120000}, std::uint64_t{80000}));
    const Texts log = m_log.take();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].ends_with("\"bytes=120000-\"")) << log[0];
}

// A line listed twice is fetched once, so that no two connections share its part file.
TEST_F(CheckPassTest, ALineListedTwiceIsFetchedOnce) {
    const std::string fresh = randomBytes(300000, 7);
    writeFile(Served("Data/a.pak"), fresh);
    RunPass(Line("Data\\a.pak", fresh) + Line("Data\\a.pak", fresh));
    const patch::UpdateResult result = m_manager.LastResult();
    EXPECT_EQ(std::tie(result.failedFiles, result.fetchedFiles), std::make_tuple(0, 1));
    EXPECT_EQ(m_log.take().size(), 1u);
    EXPECT_EQ(GameFiles(), (Files{{"Data/a.pak", fresh}}));
}

// A pass whose files the game folder's file system cannot take fetches nothing and counts them
// all as failed, not as done; what a part file holds already counts as there.
TEST_F(CheckPassTest, RefusesFilesTheDiskCannotTakeBeforeTheFirstByte) {
    // Listed sizes whose sum passes 2^64 fit on no disk.
    fs::create_directories(m_gameDir);
    const std::string absurd =
        "|x|" + std::string(32, 'a') + "|2020-5-1 10:00:00|" + std::to_string(INT64_MAX) + "\n";
    RunPass("a.pak" + absurd + "b.pak" + absurd);
    EXPECT_TRUE(m_manager.LastResult().NoSpace());
    EXPECT_EQ(m_log.take(), Texts{});

    const SmallTmpfs small(m_root / "small", 2 << 20);
    if (!small.mounted())
        GTEST_SKIP() << small.reason();
    m_gameDir = small.path() / "game";
    fs::create_directories(m_gameDir);
    const std::string a = randomBytes(1536 * 1024, 1), b = randomBytes(1536 * 1024, 2);
    writeFile(Served("a.pak"), a);
    writeFile(Served("b.pak"), b);
    RunPass(Line("a.pak", a) + Line("b.pak", b));
    const patch::UpdateResult refused = m_manager.LastResult();
    EXPECT_EQ(std::tie(refused.failedFiles, refused.firstFailed, refused.spaceNeeded),
              std::make_tuple(2, std::string("a.pak"), std::uint64_t{3 << 20}));
    EXPECT_TRUE(refused.NoSpace());
    EXPECT_EQ(LastDone(), 2);
    EXPECT_EQ(m_log.take(), Texts{});
    EXPECT_EQ(GameFiles(), Files{});

    // With 1 MiB of a.pak in its part file, a.pak needs only the rest.
    writeFile(Game(Part("a.pak", a)), a.substr(0, 1 << 20));
    RunPass(Line("a.pak", a));
    EXPECT_EQ(GameFiles(), (Files{{"a.pak", a}}));
}

// Status line, overall bar and the current file's messages come in the order the pass does its
// work, the bar only forwards, and WM_UPDATE_DONE last. The file's messages name it, give its
// length, then each read's size, of one block at most. A new file gets the usual mode.
TEST_F(CheckPassTest, PostsStatusAndProgressInTheOrderOfTheWork) {
    const std::string current = randomBytes(400000, 5), fresh = randomBytes(700000, 6);
    writeFile(Game("a.pak"), current);
    writeFile(Served("b.pak"), fresh);
    EXPECT_EQ(RunPass(Line("a.pak", current) + Line("b.pak", fresh)),
              (Progress{{kCheckingGbk}, kBar}));
    EXPECT_EQ(Stat(Game("b.pak")).st_mode & 07777, 0644u);

    std::string shape;
    std::intptr_t bar = -1, read = 0;
    for (const platform::PostedMessage& m : m_target.messages()) {
        static const std::map<unsigned, char> kLetters = {
            {platform::WM_TOTAL_PROGRESS, 'T'}, {platform::WM_UPDATE_STATUS, 'S'},
            {platform::WM_DOWN_FILE, 'F'},      {platform::WM_DOWN_RANGE, 'R'},
            {platform::WM_DOWN_PROGRESS, 'P'},  {platform::WM_UPDATE_DONE, 'D'}};
        if (shape.empty() || shape.back() != kLetters.at(m.id))
            shape += kLetters.at(m.id);
        if (m.id == platform::WM_TOTAL_PROGRESS) {
            EXPECT_EQ(m.lParam, kBar);
            EXPECT_GT(m.wParam, bar);
            bar = m.wParam;
        } else if (m.id == platform::WM_DOWN_PROGRESS) {
            EXPECT_TRUE(m.wParam > 0 && m.wParam <= kBlock) << m.wParam;
            read += m.wParam;
        } else if (m.id == platform::WM_DOWN_FILE || m.id == platform::WM_DOWN_RANGE) {
            EXPECT_EQ(m.id == platform::WM_DOWN_FILE ? m.text : std::to_string(m.wParam),
                      m.id == platform::WM_DOWN_FILE ? Game("b.pak").string() : "700000");
        }
    }
    EXPECT_EQ(read, 700000);
    // The bar at 0 and the status first; it moves as a.pak is digested and b.pak arrives.
    std::string expected = "TSTFR";  // then PT at least twice, then D
    while (expected.size() + 1 < shape.size())
        expected += "PT";
    EXPECT_TRUE(shape.size() >= 10 && shape == expected + "D") << shape;
    EXPECT_EQ(LastDone(), 0);
}

// Stopping the engine while it digests ends every thread at once, posts no end of the pass and
// leaves no part file. (Stopping while it fetches: the headless program's Ctrl-C test.)
TEST_F(CheckPassTest, StopDuringVerifyJoinsPromptly) {
    // A sparse file of the listed size: its digest would take half a minute or more.
    const patch::_filelist huge{"huge.pak", "x", std::string(32, '0'), 0, std::int64_t{16} << 30};
    writeFile(Game("huge.pak"), "");
    fs::resize_file(Game("huge.pak"), static_cast<std::uintmax_t>(huge.fileSize));
    writeFile(m_root / "list.md5", patch::FormatChecksumLine(huge));
    ASSERT_TRUE(m_manager.LoadChecksumList((m_root / "list.md5").string()));
    // Past the bar's 0: digesting.
    ASSERT_TRUE(m_target.waitFor(platform::WM_TOTAL_PROGRESS, 2, 20s));
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        m_manager.Stop();
        stopped = true;
    });
    EXPECT_TRUE(waitFor([&] { return stopped.load(); }, 10s));
    stopper.join();
    EXPECT_EQ(Done(), 0u);
    EXPECT_FALSE(m_manager.IsBusy());
    EXPECT_EQ(GameFiles(true), Files{});
}

}  // namespace
