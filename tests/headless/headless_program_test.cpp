// The launcher's command-line mode as a script meets it: the real Launcher program run from a
// temporary installation with no display, against the launcher and update servers on loopback;
// its exit status, its standard output and error, and what it leaves in the game folder.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QCoreApplication>

#include "app/instance_lock.h"
#include "devserver/launcher_server.h"
#include "devserver/update_server.h"
#include "pack/checksum_writer.h"
#include "patch/resume_part.h"
#include "platform/codepage.h"
#include "platform/process.h"
#include "protocol/version.h"
#include "support/installation.h"
#include "support/log_recorder.h"
#include "support/program_support.h"
#include "support/small_tmpfs.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace quend::test;
using testing::_;
using testing::FieldsAre;
using testing::HasSubstr;
using testing::Not;

constexpr auto kSlow = std::chrono::seconds(60);  // sanitizer builds
const std::string kMap = "Data\\地图.map";        // a listed name with Chinese characters

struct Outcome {
    int status = -1;
    std::string out, err;
    friend void PrintTo(const Outcome& o, std::ostream* os) {
        *os << o.status << ", out \"" << o.out << "\", err \"" << o.err << '"';
    }
};

class HeadlessProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            unsetEnv(display);  // so that a window would fail
        copyProgram(QUEND_LAUNCHER, m_install.launcherDir / "Launcher");
        writeFile(m_served / "Data" / "a.txt", "new text");
        writeFile(m_served / "Data" / "b.pak", randomBytes(900 * 1024, 3));
        writeFile(m_served / "Data" / "地图.map", "map of the north");
        writeFile(m_served / "Bin" / "Qnd.ini", "[Game]\r\n");
        pack::CChecksumWriter(m_served.path(), m_served.path()).Run("");
        ASSERT_TRUE(m_updates.Start());
        StartLauncherServer({Game("Quendalor", "Quendalor")});
        WriteLauncherIni("");
    }

    protocol::GameRecord Game(const std::string& name, const std::string& key) const {
        const auto version = static_cast<int32_t>(protocol::pack_version(1, 0, 1));
        return {name, key, version, 0, 1, UpdateUrl(), "", 0};
    }

    std::string UpdateUrl() const { return "http://127.0.0.1:" + std::to_string(m_updates.Port()); }

    void StartLauncherServer(std::vector<protocol::GameRecord> games) {
        m_server.emplace(devserver::LauncherServerConfig{
            .trailer = "", .games = std::move(games), .groups = {}});
        ASSERT_TRUE(m_server->Start());
    }

    // Quendalor installed at 1.0.0, so the list is checksum_all.md5.
    void WriteLauncherIni(const std::string& currentGame, const std::string& treeServer = "") {
        const std::string server =
            treeServer.empty() ? "127.0.0.1:" + std::to_string(m_server->Port()) : treeServer;
        m_install.WriteLauncherIni({{"TREE_SERVER", server}, {"CURRENT_GAME", currentGame}},
                                   "Quendalor", "1.0.0");
    }

    // The game folder as the update server has it.
    void MakeCurrent() {
        for (const char* name : {"Data/a.txt", "Data/b.pak", "Data/地图.map", "Bin/Qnd.ini"}) {
            fs::create_directories((m_install.gameDir / name).parent_path());
            fs::copy_file(m_served / name, m_install.gameDir / name,
                          fs::copy_options::overwrite_existing);
        }
    }

    // Starts the program in the temporary folder, not its own (a script may start it anywhere),
    // its output into out.txt and its errors into err.txt; the shell gives way to it.
    pid_t Start(std::vector<std::string> args) {
        args.insert(args.begin(), {"-c", "exec \"$0\" \"$@\" >out.txt 2>err.txt",
                                   (m_install.launcherDir / "Launcher").string()});
        platform::ProcessId pid = -1;
        EXPECT_TRUE(platform::StartProcess("/bin/sh", args, m_install.temp.path().string(), &pid));
        return pid;
    }

    Outcome RunLauncher(const std::vector<std::string>& args) {
        const int status = Child(Start(args)).Wait(kSlow);
        return {status, readFile(m_install.temp / "out.txt"), readFile(m_install.temp / "err.txt")};
    }

    // The listed files of the game folder that differ from the update server's.
    std::vector<std::string> StaleFiles() const {
        std::vector<std::string> stale;
        for (const char* name : {"Data/a.txt", "Data/b.pak", "Data/地图.map"})
            if (!fs::exists(m_install.gameDir / name) ||
                readFile(m_install.gameDir / name) != readFile(m_served / name))
                stale.push_back(name);
        return stale;
    }

    Installation m_install;
    TempDir m_served;
    LogRecorder m_log;
    devserver::CUpdateServer m_updates{m_served.path(), m_log.logger()};
    std::optional<devserver::CLauncherServer> m_server;
};

// The switches need no display: --help describes them; a wrong command line ends with 2 at once.
TEST_F(HeadlessProgramTest, HelpAndWrongCommandLines) {
    const Outcome help = RunLauncher({"--help"});
    EXPECT_THAT(help, FieldsAre(0, _, ""));
    for (const char* word : {"--verify", "--repair", "--game NAME", "--connections N",
                             "CURRENT_GAME", "NotUpdateList.txt", "Ctrl-C", "Exit status", "130"})
        EXPECT_THAT(help.out, HasSubstr(word));

    const std::pair<std::vector<std::string>, const char*> wrong[] = {
        {{"--verify", "--repair"}, "exclude each other"},
        {{"--game", "Quendalor"}, "say --verify or --repair"},
        {{"--repair", "--connections", "0"}, "1 to 16"},
        {{"--verify", "--game"}, "--game needs a value"},
        {{"--verify", "-NoCheck"}, "unknown argument \"-NoCheck\""}};
    for (const auto& [args, says] : wrong)
        EXPECT_THAT(RunLauncher(args), FieldsAre(2, "", HasSubstr(says)));
}

// The differing files' listed names in list order, in UTF-8, status 1; NotUpdateList.txt keeps a
// file out; the game folder is left as it was, without the list. Names that cannot be written
// end the run with 2.
TEST_F(HeadlessProgramTest, VerifyNamesTheFilesThatDiffer) {
    MakeCurrent();
    writeFile(m_install.gameDir / "Data" / "a.txt", "old text");
    fs::remove(m_install.gameDir / "Data" / "地图.map");
    writeFile(m_install.gameDir / "Bin" / "Qnd.ini", "[Game]\r\nServerHost=10.0.0.5\r\n");
    writeFile(m_install.launcherDir / "NotUpdateList.txt", "Bin\\Qnd.ini\r\n");
    EXPECT_THAT(RunLauncher({"--verify"}),
                FieldsAre(1, "Data\\a.txt\n" + kMap + "\n",
                          HasSubstr("2 of 3 files differ; --repair fetches them")));
    EXPECT_EQ(readFile(m_install.gameDir / "Data" / "a.txt"), "old text");
    EXPECT_FALSE(fs::exists(m_install.gameDir / "Data" / "地图.map"));
    EXPECT_FALSE(fs::exists(m_install.gameDir / "checksum_all.md5"));
    for (const auto& entry : fs::directory_iterator(m_install.temp.path()))
        EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr("checksum")));
    const fs::path list = m_served / "checksum_all.md5";
    writeFile(list, readFile(list) + "..\\x.txt|0|" + std::string(32, 'a') +
                        "|2020-01-01 00:00:00|1\r\n");
    EXPECT_THAT(RunLauncher({"--verify"}),
                FieldsAre(1, "Data\\a.txt\n" + kMap + "\n..\\x.txt\n",
                          HasSubstr("3 of 4 files differ; --repair fetches 2 of them, not the 1 "
                                    "the checksum list places outside the game folder")));

    // Names that cannot be written are an error, not a result.
    fs::remove(m_install.temp / "out.txt");
    fs::create_symlink("/dev/full", m_install.temp / "out.txt");
    for (const char* mode : {"--verify", "--help"}) {
        EXPECT_EQ(Child(Start({mode})).Wait(kSlow), 2) << mode;
        EXPECT_THAT(readFile(m_install.temp / "err.txt"), HasSubstr("No space left on device"));
    }
}

// The window's update without the window: every differing file fetched, over two connections,
// and a summary; a verify afterwards finds the folder current and says nothing on standard output.
TEST_F(HeadlessProgramTest, RepairFetchesWhatDiffers) {
    writeFile(m_install.gameDir / "Data" / "a.txt", "old text");
    // Not a terminal, and done within five seconds: the summary alone.
    EXPECT_THAT(RunLauncher({"--repair", "--connections", "2"}),
                FieldsAre(0, "",
                          testing::MatchesRegex("Launcher: repair: game \"Quendalor\" in " +
                                                m_install.gameDir.string() +
                                                "/: 4 files checked, 4 files fetched \\([0-9.]+ "
                                                "[KM]B received\\) in 0:0[0-9]; every file is "
                                                "current\n")));
    EXPECT_EQ(StaleFiles(), std::vector<std::string>{});
    EXPECT_THAT(RunLauncher({"--verify"}),
                FieldsAre(0, "",
                          "Launcher: verify: game \"Quendalor\" in " + m_install.gameDir.string() +
                              "/: all 4 files are current\n"));
}

// Everything that keeps a run from its answer ends it with 2 and a message that names the cause.
TEST_F(HeadlessProgramTest, ErrorsEndWithStatusTwoAndNameTheCause) {
    const std::string ini = (m_install.launcherDir / "Launcher.ini").string();
    // What goes wrong, the run it spoils, what the message says.
    const std::tuple<std::function<void()>, const char*, std::string> rows[] = {
        {[&] { fs::remove(ini); }, "--verify", "no Launcher.ini at " + ini},
        {[&] { WriteLauncherIni("", "127.0.0.1:1"); }, "--verify",
         "cannot reach the launcher server at 127.0.0.1:1"},
        {[&] { writeFile(ini, "[Launcher]\r\nTREE_SERVER=127.0.0.1:1\r\n"); }, "--verify",
         "TREE_SERVER of Launcher.ini decodes to no address: are its values encoded"},
        {[&] { fs::remove(m_served / "checksum_all.md5"); }, "--verify",
         "cannot fetch the checksum list \"checksum_all.md5\" from " + UpdateUrl() +
             ": HTTP status 404"},
        {[&] { writeFile(m_served / "checksum_all.md5", "<html>\r\n<p>Back soon</p>\r\n"); },
         "--verify",
         "the checksum list \"checksum_all.md5\" from " + UpdateUrl() +
             " is not a checksum list: its line \"<html>\" gives no MD5 of 32 hexadecimal digits"},
        // A file the server does not deliver as listed.
        {[&] {
             fs::remove(m_install.gameDir / "Data" / "b.pak");
             writeFile(m_served / "Data" / "b.pak", "other bytes");
         },
         "--repair",
         "repair: game \"Quendalor\" in " + m_install.gameDir.string() +
             "/: 1 file was not repaired, the first \"Data\\b.pak\"; the update server did "
             "not deliver it as listed (the server announced 11 bytes, the list 921600)"},
        {[&] {
             const fs::path list = m_served / "checksum_all.md5";
             writeFile(list, readFile(list) + "..\\x.txt|0|" + std::string(32, 'a') +
                                 "|2020-01-01 00:00:00|1\r\n");
         },
         "--repair",
         "repair: game \"Quendalor\" in " + m_install.gameDir.string() +
             "/: 1 file was not repaired, the first \"..\\x.txt\"; the checksum list places "
             "it outside the game folder"},
    };
    for (const auto& [fault, mode, says] : rows) {
        SCOPED_TRACE(says);
        MakeCurrent();
        WriteLauncherIni("");
        fault();
        EXPECT_THAT(RunLauncher({mode}), FieldsAre(2, "", HasSubstr("Launcher: " + says)));
        writeFile(m_served / "Data" / "b.pak", randomBytes(900 * 1024, 3));
        pack::CChecksumWriter(m_served.path(), m_served.path()).Run("");
    }
}

// A launcher server that drops the connection after the game list is named for the groups it
// did not send, not for the list it did.
TEST_F(HeadlessProgramTest, AServerThatStopsAfterTheGameListMissesTheServerGroups) {
    m_server.emplace(devserver::LauncherServerConfig{.trailer = "",
                                                     .games = {Game("Quendalor", "Quendalor")},
                                                     .groups = {},
                                                     .close_at_groups = true});
    ASSERT_TRUE(m_server->Start());
    WriteLauncherIni("");
    EXPECT_THAT(RunLauncher({"--verify"}),
                FieldsAre(2, "",
                          HasSubstr("Launcher: the launcher server at 127.0.0.1:" +
                                    std::to_string(m_server->Port()) +
                                    " closed the connection before it sent the server groups")));
}

// Without --game, CURRENT_GAME chooses among several games, else the only one; several and no
// CURRENT_GAME ask for --game. Each game is checked against its own update address; one whose
// new version is not ready is not repaired.
TEST_F(HeadlessProgramTest, TheGameComesFromTheCommandLineOrLauncherIni) {
    MakeCurrent();
    TempDir otherServed;
    writeFile(otherServed / "Data" / "a.txt", "the classic text");
    pack::CChecksumWriter(otherServed.path(), otherServed.path()).Run("");
    devserver::CUpdateServer otherUpdates(otherServed.path());
    ASSERT_TRUE(otherUpdates.Start());
    protocol::GameRecord classic = Game(platform::Utf8ToAnsi("经典版"), "Classic");
    classic.update_url = "http://127.0.0.1:" + std::to_string(otherUpdates.Port());
    m_server->Stop();
    StartLauncherServer({Game("Quendalor", "Quendalor"), classic});

    WriteLauncherIni("");
    EXPECT_THAT(RunLauncher({"--verify"}),
                FieldsAre(2, _,
                          HasSubstr("offers several games; choose one with --game NAME: "
                                    "\"Quendalor\", \"经典版\"")));
    EXPECT_THAT(RunLauncher({"--verify", "--game", "经典版"}), FieldsAre(1, "Data\\a.txt\n", _));
    EXPECT_EQ(RunLauncher({"--verify", "--game=Classic"}).out, "Data\\a.txt\n");

    WriteLauncherIni("Quendalor");
    EXPECT_EQ(RunLauncher({"--verify"}).status, 0);

    // A game whose new version is not ready is refused, as the window refuses it.
    classic.version_not_ready = 1;
    m_server->Stop();
    StartLauncherServer({Game("Quendalor", "Quendalor"), classic});
    WriteLauncherIni("Quendalor");
    EXPECT_THAT(RunLauncher({"--repair", "--game", "Classic"}),
                FieldsAre(2, "", HasSubstr("the new version of the game \"经典版\" is not ready")));
    EXPECT_NE(readFile(m_install.gameDir / "Data" / "a.txt"), "the classic text");
}

// A repair takes a launcher window's lock: refused while one runs (a verify goes on beside it);
// Ctrl-C stops a repair with 130, keeping its part, and the next repair resumes with a Range.
TEST_F(HeadlessProgramTest, RepairTakesTheWindowsLockAndStopsOnCtrlC) {
    int argc = 1;
    char name[] = "headless_program_test";
    char* argv[] = {name, nullptr};
    const QCoreApplication qt(argc, argv);  // for the lock's local server
    const std::string big = randomBytes(3 << 20, 9);
    writeFile(m_served / "Data" / "b.pak", big);
    pack::CChecksumWriter(m_served.path(), m_served.path()).Run("");
    {
        std::unique_ptr<app::CInstanceLock> window;
        ASSERT_TRUE(app::CInstanceLock::Acquire("Temp.exe", {}, window));
        EXPECT_THAT(RunLauncher({"--repair"}),
                    FieldsAre(2, _,
                              HasSubstr("a launcher window is open (or another --repair runs); "
                                        "close it and try again")));
        EXPECT_EQ(RunLauncher({"--verify"}).status, 1);
    }
    EXPECT_EQ(StaleFiles().size(), 3u);

    m_updates.SetFaults({.blockDelay = std::chrono::milliseconds(300)});
    Child child(Start({"--repair"}));
    // The big file's part ("...-<size>-..."): the small files' parts come and go at once.
    const std::string bigSize = "-" + std::to_string(big.size()) + "-";
    const auto partFile = [&]() -> std::optional<fs::path> {
        for (const auto& entry : fs::directory_iterator(m_install.gameDir / "Data")) {
            const std::string name = entry.path().filename().string();
            if (patch::IsPartFileName(name) && name.find(bigSize) != std::string::npos &&
                entry.file_size() > 0)
                return entry.path();
        }
        return std::nullopt;
    };
    ASSERT_TRUE(
        waitFor([&] { return fs::exists(m_install.gameDir / "Data") && partFile(); }, kSlow))
        << readFile(m_install.temp / "err.txt");
    std::unique_ptr<app::CInstanceLock> window;
    EXPECT_FALSE(app::CInstanceLock::Acquire("Temp.exe", {}, window));  // a window is refused
    ::kill(child.Pid(), SIGINT);
    EXPECT_EQ(child.Wait(kSlow), 130);
    EXPECT_THAT(readFile(m_install.temp / "err.txt"),
                HasSubstr("Launcher: stopped; what was fetched of a file is kept"));
    const std::optional<fs::path> part = partFile();
    ASSERT_TRUE(part);
    const std::uintmax_t kept = fs::file_size(*part);

    m_updates.SetFaults({});
    m_log.take();
    EXPECT_THAT(RunLauncher({"--repair"}), FieldsAre(0, _, HasSubstr("kept from an earlier run")));
    EXPECT_EQ(StaleFiles(), std::vector<std::string>{});
    EXPECT_THAT(m_log.take(),
                testing::Contains(HasSubstr("\"bytes=" + std::to_string(kept) + "-\"")));
}

// A repair the game folder's file system cannot take fetches nothing and names both sizes.
TEST_F(HeadlessProgramTest, TooLittleDiskSpaceStopsTheRepairBeforeTheFirstByte) {
    const SmallTmpfs small(m_install.root / "small", fs::file_size(QUEND_LAUNCHER) + (1 << 20));
    if (!small.mounted())
        GTEST_SKIP() << small.reason();
    const fs::path ini = m_install.launcherDir / "Launcher.ini";
    m_install.gameDir = small.path() / "Game";
    m_install.launcherDir = m_install.gameDir / "Launcher";
    copyProgram(QUEND_LAUNCHER, m_install.launcherDir / "Launcher");
    fs::copy_file(ini, m_install.launcherDir / "Launcher.ini");
    writeFile(m_served / "Data" / "b.pak", randomBytes(4 << 20, 4));
    pack::CChecksumWriter(m_served.path(), m_served.path()).Run("");

    EXPECT_THAT(
        RunLauncher({"--repair"}),
        FieldsAre(
            2, _,
            testing::ContainsRegex(
                "Launcher: not enough disk space for the repair in " + m_install.gameDir.string() +
                "/: it needs 4\\.0 MB, [0-9.]+ [KM]B are free; nothing was fetched")));
    EXPECT_EQ(StaleFiles().size(), 3u);
    EXPECT_THAT(m_log.take(), Not(testing::Contains(HasSubstr("b.pak"))));
}

}  // namespace
