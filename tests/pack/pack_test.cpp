// The publisher's tool: checksum lists of a game folder in the launcher's format and order,
// Launcher.ini values the launcher reads back, refusals of what it could not use, and the exit
// status of the quend-pack program that a publishing script sees.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "config/launcher_config.h"
#include "pack/checksum_writer.h"
#include "pack/ini_encoder.h"
#include "pack/pack_error.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using quend::test::readFile;
using quend::test::TempDir;
using quend::test::writeFile;

// Writes a file dated 2020-05-01 10:00:00 local time.
void Add(const fs::path& file, const std::string& bytes) {
    writeFile(file, bytes);
    std::tm local{};
    ::strptime("2020-05-01 10:00:00", "%Y-%m-%d %H:%M:%S", &local);
    local.tm_isdst = -1;
    const std::time_t time = std::mktime(&local);
    const timespec times[2] = {{time, 0}, {time, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

TEST(ChecksumWriterTest, ListsEveryRegularFileOnceButNotExcludedOnesOrItsOwnLists) {
    TempDir game;
    std::string binary;
    for (int i = 0; i < 400000; ++i)
        binary += static_cast<char>(i * 7);
    Add(game / "Bin/Qnd.exe", binary);
    Add(game / "资料/中文.txt", "中文\n");
    Add(game / "readme.txt", "");
    Add(game / "publish/notes.txt", "published too");
    Add(game / "publish/.checksum_all.md5.a1B2c3", "left by an interrupted run");
    Add(game / "Bin/Qnd.ini", "excluded by its path");
    Add(game / "Logs/1.txt", "excluded by its folder's name");
    Add(game / "Data/Logs", "excluded by its name");
    fs::create_symlink("readme.txt", game / "link.txt");

    // MD5 digests from md5sum; names in GBK, sorted byte-wise.
    const std::string expected =
        "Bin\\Qnd.exe|0|e7bea6ac59646b870bd1816b36b176ab|2020-05-01 10:00:00|400000\r\n"
        "publish\\notes.txt|0|2a3f07df2c9b8327794f3b04c1a5dd89|2020-05-01 10:00:00|13\r\n"
        "readme.txt|0|d41d8cd98f00b204e9800998ecf8427e|2020-05-01 10:00:00|0\r\n"
        "\xD7\xCA\xC1\xCF\\\xD6\xD0\xCE\xC4.txt|0|cd72089b706440b8258e050ebf3f0074|"
        "2020-05-01 10:00:00|7\r\n";
    for (int run = 0; run < 2; ++run) {
        CChecksumWriter writer(game.path(), game / "publish");
        writer.Exclude("Logs");
        writer.Exclude("Bin\\Qnd.ini");
        std::size_t reported = 0;
        writer.SetProgress([&](std::size_t done, std::size_t total, const std::string&) {
            EXPECT_EQ(total, 4u);
            reported = done;
        });
        EXPECT_EQ(writer.Run("1.02.3"), 4u);
        EXPECT_EQ(reported, 4u);
        EXPECT_EQ(writer.Skipped(), std::vector<std::string>{"link.txt"});
        // The second run finds the first one's lists in the game folder and leaves them out.
        EXPECT_EQ(readFile(game / "publish/checksum_all.md5"), expected) << run;
        EXPECT_EQ(readFile(game / "publish/checksum_1_2_3.md5"), expected) << run;
    }
}

TEST(ChecksumWriterTest, RefusesNamesAndVersionsTheLauncherCannotUse) {
    TempDir out;
    // "亅" is 0x81 0x7C in GBK: its second byte is "|".
    for (const std::string name : {"a|b.txt", "亅.txt", "😀.txt", "back\\slash.txt"}) {
        TempDir game;
        writeFile(game / "Bin" / name, "x");
        try {
            CChecksumWriter(game.path(), out.path()).Run("");
            ADD_FAILURE() << name << " listed";
        } catch (const PackError& e) {
            EXPECT_NE(std::string(e.what()).find((game / "Bin" / name).string()), std::string::npos)
                << e.what();
        }
        EXPECT_FALSE(fs::exists(out / "checksum_all.md5"));
    }
    EXPECT_EQ(ChecksumListName(""), "checksum_all.md5");
    EXPECT_EQ(ChecksumListName("15.16383.0"), "checksum_15_16383_0.md5");
    for (const char* version : {"1.2", "1.2.3.4", "16.0.0", "1.16384.0", "1.x.3", "1..3", "-1.2.3"})
        EXPECT_THROW(ChecksumListName(version), PackError) << version;
}

const std::string kGbkGameName = "\xD6\xD0\xCE\xC4\xD3\xCE\xCF\xB7";  // "中文游戏" in GBK

TEST(HexEncodeTest, InvertsHexDecodeForEveryByte) {
    for (const auto& [plain, encoded] : std::vector<std::pair<std::string, std::string>>{
             {"0", "03"}, {"A", "14"}, {"1.2.3", "13E223E233"}, {"\xA0\xFF", "0AFF"}, {"", ""}})
        EXPECT_EQ(HexEncode(plain), encoded) << plain;
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += static_cast<char>(byte);
    const std::string encoded = HexEncode(all);
    EXPECT_EQ(encoded.find_first_not_of("0123456789ABCDEF"), std::string::npos) << encoded;
    EXPECT_EQ(HexDecode(encoded), all);
}

TEST(EncodeIniFileTest, LauncherReadsBackThePlainValues) {
    TempDir dir;
    writeFile(
        dir / "plain.ini",
        "\xEF\xBB\xBF; source of Launcher.ini\n[Launcher]\nCOMPANY=Quendalor Works\n"
        "TREE_SERVER=127.0.0.1:7000 ; the test server\nHOMEPAGE=http://e.test/?a=b&c=d\n"
        "NOTICE=" +
            std::string(123, 'x') +
            "\n\n"
            "[Gamelist]\r\nCOUNT=2\r\ngame1=中文游戏\r\ngame2=Alpha\r\n"
            "[中文游戏]\nVERSION=1.2.3\nAUTH_DOMAIN=auth.example.test\n[Alpha]\nVERSION=0.9.12\n");
    EncodeIniFile((dir / "plain.ini").string(), (dir / "Launcher.ini").string());

    LauncherConfig config;
    ASSERT_TRUE(ReadLauncherConfig((dir / "Launcher.ini").string(), config));
    EXPECT_EQ(config.company, "Quendalor Works");
    EXPECT_EQ(config.treeServer, "127.0.0.1:7000 ");
    EXPECT_EQ(config.homePage, "http://e.test/?a=b&c=d");
    EXPECT_EQ(config.notice, std::string(123, 'x'));  // the longest value a line can carry
    EXPECT_EQ(config.games,
              (std::map<std::string, GameInfo>{{"Alpha", {"0.9.12", ""}},
                                               {kGbkGameName, {"1.2.3", "auth.example.test"}}}));

    // Order, comments and blank lines stay; names stay plain; every line ends in CR LF.
    const std::string written = readFile(dir / "Launcher.ini");
    EXPECT_TRUE(written.starts_with("; source of Launcher.ini\r\n[Launcher]\r\nCOMPANY="));
    EXPECT_NE(written.find("7303030302; the test server\r\nHOMEPAGE="), std::string::npos);
    EXPECT_NE(written.find("\r\n\r\n[Gamelist]\r\nCOUNT=23\r\n"), std::string::npos);
    EXPECT_NE(written.find("\r\n[" + kGbkGameName + "]\r\nVERSION=13E223E233\r\n"),
              std::string::npos);
    EXPECT_TRUE(written.ends_with("[Alpha]\r\nVERSION=03E293E21323\r\n"));
}

struct Outcome {
    int status;
    std::string out, err;
};

Outcome RunPack(const TempDir& dir, const std::vector<std::string>& args) {
    std::string command = QUEND_PACK_PROGRAM;
    for (const std::string& arg : args)
        command += " '" + arg + "'";  // none holds a quote
    command += " >" + (dir / "stdout").string() + " 2>" + (dir / "stderr").string();
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(dir / "stdout"),
            readFile(dir / "stderr")};
}

TEST(PackProgramTest, ExitStatusTellsUsageErrorsFromFailuresNamingTheirPlace) {
    TempDir dir;
    const Outcome encoded = RunPack(dir, {"encode", "中A"});
    EXPECT_EQ(encoded.status, 0);
    EXPECT_EQ(encoded.out, "6D0D14\n");
    EXPECT_EQ(RunPack(dir, {"encode", "--raw", "\xD6\xD0"}).out, "6D0D\n");

    EXPECT_EQ(RunPack(dir, {}).status, 1);
    EXPECT_EQ(RunPack(dir, {"checksums", dir.dir(), "--out", dir.dir(), "--version", "1.2"}).status,
              1);

    const std::string missing = (dir / "missing-game").string();
    const Outcome failed = RunPack(dir, {"checksums", missing, "--out", dir.dir()});
    EXPECT_EQ(failed.status, 2);
    EXPECT_NE(failed.err.find(missing), std::string::npos) << failed.err;
    // No file; no GBK form; 2 * 124 + "NOTICE=" is 255 characters, which the launcher would cut.
    for (const auto& [text, where] : std::vector<std::pair<std::string, std::string>>{
             {"", "missing.ini"},
             {"[Launcher]\nCOMPANY=ok\nNOTICE=\xF0\x9F\x98\x80\n", "plain.ini, line 3"},
             {"[Launcher]\nNOTICE=" + std::string(124, 'x') + "\n", "plain.ini, line 2"}}) {
        if (!text.empty())
            writeFile(dir / "plain.ini", text);
        const Outcome refused =
            RunPack(dir, {"ini", (dir / (text.empty() ? "missing.ini" : "plain.ini")).string(),
                          dir.dir() + "L.ini"});
        EXPECT_EQ(refused.status, 2);
        EXPECT_NE(refused.err.find(where), std::string::npos) << refused.err;
        EXPECT_FALSE(fs::exists(dir / "L.ini"));
    }

    writeFile(dir / "game/Bin/Qnd.exe", "game");
    EXPECT_EQ(RunPack(dir, {"checksums", (dir / "game").string(), "--out", (dir / "out").string(),
                            "--version", "1.0.0", "--exclude", "none"})
                  .status,
              0);
    EXPECT_NE(readFile(dir / "out/checksum_1_0_0.md5").find("Bin\\Qnd.exe|0|"), std::string::npos);
}

}  // namespace
