// The publisher's tool: checksum lists in the launcher's format and order, Launcher.ini values the
// launcher reads back, refusals of what it could not use, and quend-pack's exit status.

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "config/launcher_config.h"
#include "pack/checksum_writer.h"
#include "pack/ini_encoder.h"
#include "pack/pack_error.h"
#include "platform/paths.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace quend::test;
using testing::HasSubstr;

// Writes a file dated 2020-05-01 10:00:00 local time.
void Add(const fs::path& file, const std::string& bytes) {
    writeFile(file, bytes);
    std::tm local{};
    local.tm_hour = 10;
    local.tm_mday = 1;
    local.tm_mon = 4;
    local.tm_year = 120;
    local.tm_isdst = -1;
    fs::last_write_time(file, std::chrono::file_clock::from_sys(
                                  std::chrono::system_clock::from_time_t(std::mktime(&local))));
}

TEST(ChecksumWriterTest, ListsEveryRegularFileOnceButNotExcludedOnesOrItsOwnLists) {
    TempDir game;
    Add(game / "Bin/Qnd.exe", randomBytes(400000, 7));
    Add(game / "资料/中文.txt", "中文\n");
    Add(game / "readme.txt", "");
    Add(game / "publish/notes.txt", "published too");
    Add(game / "publish/.checksum_all.md5.a1B2c3", "left by an interrupted run");
    Add(game / "Bin/Qnd.ini", "excluded by its path");
    Add(game / "Logs/1.txt", "excluded by its folder's name");
    Add(game / "Data/Logs", "excluded by its name");
#ifdef _WIN32
    const std::vector<std::string> skipped;  // making a link needs a privilege there
#else
    fs::create_symlink("readme.txt", game / "link.txt");
    const std::vector<std::string> skipped{"link.txt"};
#endif

    // MD5 digests from md5sum; names in GBK, sorted byte-wise.
    const std::string expected =
        "Bin\\Qnd.exe|0|fe004427f8adf4401299bb083faf2844|2020-05-01 10:00:00|400000\r\n"
        "publish\\notes.txt|0|2a3f07df2c9b8327794f3b04c1a5dd89|2020-05-01 10:00:00|13\r\n"
        "readme.txt|0|d41d8cd98f00b204e9800998ecf8427e|2020-05-01 10:00:00|0\r\n"
        "\xD7\xCA\xC1\xCF\\\xD6\xD0\xCE\xC4.txt|0|cd72089b706440b8258e050ebf3f0074|"
        "2020-05-01 10:00:00|7\r\n";
    for (int run = 0; run < 2; ++run) {
        pack::CChecksumWriter writer(game.path(), game / "publish");
        writer.Exclude("Logs");
        writer.Exclude("Bin\\Qnd.ini");
        std::vector<std::pair<std::size_t, std::size_t>> reported;
        writer.SetProgress([&](std::size_t done, std::size_t total, const std::string&) {
            reported.emplace_back(done, total);
        });
        EXPECT_EQ(writer.Run("1.02.3"), 4u);
        EXPECT_EQ(reported, (decltype(reported){{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
        EXPECT_EQ(writer.Skipped(), skipped);
        // The second run finds the first one's lists in the game folder and leaves them out.
        EXPECT_EQ(readFile(game / "publish/checksum_all.md5"), expected) << run;
        EXPECT_EQ(readFile(game / "publish/checksum_1_2_3.md5"), expected) << run;
    }
}

TEST(ChecksumWriterTest, RefusesNamesAndVersionsTheLauncherCannotUse) {
    TempDir out;
    // "亅" is 0x81 0x7C in GBK: its second byte is "|".
#ifdef _WIN32
    // Windows names hold neither "|" nor a backslash.
    const auto names = {"亅.txt", "😀.txt"};
#else
    const auto names = {"a|b.txt", "亅.txt", "😀.txt", "back\\slash.txt"};
#endif
    for (const std::string name : names) {
        TempDir game;
        writeFile(game / "Bin" / name, "x");
        EXPECT_THAT([&] { pack::CChecksumWriter(game.path(), out.path()).Run(""); },
                    testing::ThrowsMessage<pack::PackError>(
                        HasSubstr(platform::PathUtf8(game / "Bin" / name))));
        EXPECT_FALSE(fs::exists(out / "checksum_all.md5"));
    }
    EXPECT_EQ(pack::ChecksumListName(""), "checksum_all.md5");
    EXPECT_EQ(pack::ChecksumListName("15.16383.0"), "checksum_15_16383_0.md5");
    for (const char* version : {"1.2", "1.2.3.4", "16.0.0", "1.16384.0", "1.x.3", "1..3", "-1.2.3"})
        EXPECT_THROW(pack::ChecksumListName(version), pack::PackError) << version;
}

TEST(EncodeIniFileTest, LauncherReadsBackThePlainValues) {
    TempDir dir;
    const std::string notice(123, 'x');  // the longest value a line can carry
    writeFile(dir / "plain.ini",
              "\xEF\xBB\xBF; source of Launcher.ini\n[Launcher]\nNOTICE=" + notice +
                  "\nCOMPANY=Quendalor Works\nTREE_SERVER=127.0.0.1:7000 ; the test server\n"
                  "HOMEPAGE=http://e.test/?a=b&c=d\n\n[Gamelist]\r\nCOUNT=2\r\ngame1=中文游戏\r\n"
                  "game2=Alpha\r\n[中文游戏]\nVERSION=1.2.3\nAUTH_DOMAIN=auth.example.test\n"
                  "[Alpha]\nVERSION=0.9.12\n");
    pack::EncodeIniFile((dir / "plain.ini").string(), (dir / "Launcher.ini").string());

    config::LauncherConfig config;
    ASSERT_TRUE(config::ReadLauncherConfig((dir / "Launcher.ini").string(), config));
    EXPECT_EQ((std::vector{config.company, config.treeServer, config.homePage, config.notice}),
              (std::vector<std::string>{"Quendalor Works", "127.0.0.1:7000 ",
                                        "http://e.test/?a=b&c=d", notice}));
    const std::string gbkName = "\xD6\xD0\xCE\xC4\xD3\xCE\xCF\xB7";  // "中文游戏" in GBK
    EXPECT_EQ(config.games,
              (std::map<std::string, config::GameInfo>{{"Alpha", {"0.9.12", ""}},
                                                       {gbkName, {"1.2.3", "auth.example.test"}}}));

    // Order, comments and blank lines stay; names stay plain; every line ends in CR LF.
    const std::string written = readFile(dir / "Launcher.ini");
    EXPECT_TRUE(written.starts_with("; source of Launcher.ini\r\n[Launcher]\r\nNOTICE="));
    EXPECT_THAT(written, HasSubstr("7303030302; the test server\r\nHOMEPAGE="));
    EXPECT_THAT(written, HasSubstr("\r\n\r\n[Gamelist]\r\nCOUNT=23\r\n"));
    EXPECT_THAT(written, HasSubstr("\r\n[" + gbkName + "]\r\nVERSION=13E223E233\r\n"));
    EXPECT_TRUE(written.ends_with("[Alpha]\r\nVERSION=03E293E21323\r\n"));
}

// The program's exit status and what it wrote, standard output and error together.
std::pair<int, std::string> RunPack(const TempDir& dir, const std::vector<std::string>& args) {
#ifdef _WIN32
    // Through the command interpreter, in UTF-16 as the program's wide arguments arrive.
    std::string command = "\"" + fs::path(QUEND_PACK_PROGRAM).make_preferred().string() + "\"";
    for (const std::string& arg : args)
        command += " \"" + arg + "\"";  // none holds a quote or ends in a backslash
    command += " >\"" + platform::PathUtf8(dir / "output") + "\" 2>&1";
    const int status = ::_wsystem(platform::FsPath("\"" + command + "\"").c_str());
    // Text written there ends its lines with CR LF.
    std::string output = readFile(dir / "output");
    for (std::size_t at; (at = output.find("\r\n")) != std::string::npos;)
        output.erase(at, 1);
    return {status, output};
#else
    std::string command = QUEND_PACK_PROGRAM;
    for (const std::string& arg : args)
        command += " '" + arg + "'";  // none holds a quote
    const int status = std::system((command + " >" + dir.dir() + "output 2>&1").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(dir / "output")};
#endif
}

TEST(PackProgramTest, ExitStatusTellsUsageErrorsFromFailuresNamingTheirPlace) {
    TempDir dir;
    const std::string d = dir.dir();
    writeFile(dir / "emoji.ini", "[Launcher]\nCOMPANY=ok\nNOTICE=\xF0\x9F\x98\x80\n");
    writeFile(dir / "long.ini", "[Launcher]\nNOTICE=" + std::string(124, 'x') + "\n");
    writeFile(dir / "game/Bin/Qnd.exe", "game");
    using testing::Eq;
    const std::vector<std::tuple<std::vector<std::string>, int, testing::Matcher<std::string>>>
        runs = {
            {{"encode", "中A"}, 0, Eq("6D0D14\n")},
#ifndef _WIN32  // a Windows command line is UTF-16 text and carries no raw GBK bytes
            {{"encode", "--raw", "\xD6\xD0"}, 0, Eq("6D0D\n")},
#endif
            {{}, 1, HasSubstr("subcommand")},
            {{"checksums", d, "--out", d, "--version", "1.2"}, 1, HasSubstr("--version")},
            {{"checksums", d + "missing-game", "--out", d}, 2, HasSubstr(d + "missing-game")},
            // No file; no GBK form; 2 * 124 + "NOTICE=" is 255 characters, which the launcher cuts.
            {{"ini", d + "missing.ini", d + "L.ini"}, 2, HasSubstr("missing.ini")},
            {{"ini", d + "emoji.ini", d + "L.ini"}, 2, HasSubstr("emoji.ini, line 3")},
            {{"ini", d + "long.ini", d + "L.ini"}, 2, HasSubstr("long.ini, line 2")},
            {{"checksums", d + "game", "--out", d + "out", "--version", "1.0.0", "--exclude", "x"},
             0,
             HasSubstr("listed 1 files")},
        };
    for (const auto& [args, status, output] : runs) {
        const auto [gotStatus, gotOutput] = RunPack(dir, args);
        EXPECT_EQ(gotStatus, status) << testing::PrintToString(args);
        EXPECT_THAT(gotOutput, output) << testing::PrintToString(args);
    }
    EXPECT_FALSE(fs::exists(dir / "L.ini"));
    EXPECT_THAT(readFile(dir / "out/checksum_1_0_0.md5"), HasSubstr("Bin\\Qnd.exe|0|"));
}

}  // namespace
