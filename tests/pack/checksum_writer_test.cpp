#include "pack/checksum_writer.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "pack/pack_error.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using quend::test::readFile;
using quend::test::TempDir;
using quend::test::writeFile;

std::string OpenSslMd5(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

// 2020-05-01 10:00:00 local time.
std::time_t KnownLocalTime() {
    std::tm fields{};
    fields.tm_year = 120;
    fields.tm_mon = 4;
    fields.tm_mday = 1;
    fields.tm_hour = 10;
    fields.tm_isdst = -1;
    return std::mktime(&fields);
}

void SetMtime(const fs::path& path, std::time_t time) {
    const timespec times[2] = {{time, 0}, {time, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// A game folder whose files carry a known date; `Line` gives the line a file must have.
class GameFolder {
public:
    void Add(const std::string& relative, const std::string& bytes) {
        writeFile(m_dir / relative, bytes);
        SetMtime(m_dir / relative, KnownLocalTime());
    }
    static std::string Line(const std::string& listed, const std::string& bytes) {
        return listed + "|0|" + OpenSslMd5(bytes) + "|2020-05-01 10:00:00|" +
               std::to_string(bytes.size()) + "\r\n";
    }
    fs::path operator/(const std::string& relative) const { return m_dir / relative; }
    const fs::path& path() const { return m_dir.path(); }

private:
    TempDir m_dir;
};

std::string FailureOf(CChecksumWriter& writer) {
    try {
        writer.Run("");
    } catch (const PackError& e) {
        return e.what();
    }
    return "no error";
}

TEST(ChecksumWriterTest, ListsEveryRegularFileOnceAndNotItsOwnLists) {
    GameFolder game;
    std::string binary;
    for (int i = 0; i < 400000; ++i)
        binary += static_cast<char>(i * 7);
    game.Add("Bin/Qnd.exe", binary);
    game.Add("资料/中文.txt", "中文\n");
    game.Add("readme.txt", "");
    game.Add("publish/notes.txt", "published too");
    // Left over by an interrupted run: never listed.
    game.Add("publish/.checksum_all.md5.a1B2c3", "partial");
    fs::create_symlink("readme.txt", game / "link.txt");

    const std::string expected =
        GameFolder::Line("Bin\\Qnd.exe", binary) +
        GameFolder::Line("publish\\notes.txt", "published too") +
        GameFolder::Line("readme.txt", "") +
        GameFolder::Line("\xD7\xCA\xC1\xCF\\\xD6\xD0\xCE\xC4.txt", "中文\n");
    for (int run = 0; run < 2; ++run) {
        CChecksumWriter writer(game.path(), game / "publish");
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

TEST(ChecksumWriterTest, ExcludesByNameAndByPath) {
    GameFolder game;
    game.Add("Bin/Qnd.ini", "a");
    game.Add("Bin/Qnd.exe", "b");
    game.Add("Logs/1.txt", "c");
    game.Add("Data/Logs", "d");
    TempDir out;
    CChecksumWriter writer(game.path(), out.path());
    writer.Exclude("Logs");
    writer.Exclude("Bin\\Qnd.ini");
    EXPECT_EQ(writer.Run(""), 1u);
    EXPECT_EQ(readFile(out / "checksum_all.md5"), GameFolder::Line("Bin\\Qnd.exe", "b"));
}

TEST(ChecksumWriterTest, RefusesNamesAndVersionsTheLauncherCannotUse) {
    TempDir out;
    for (const std::string name : {"a|b.txt", "亅.txt", "😀.txt", "back\\slash.txt"}) {
        GameFolder game;
        game.Add("Bin/" + name, "x");
        CChecksumWriter writer(game.path(), out.path());
        EXPECT_NE(FailureOf(writer).find((game / "Bin" / name).string()), std::string::npos)
            << name;  // "亅" is 0x81 0x7C in GBK: its second byte is "|"
        EXPECT_FALSE(fs::exists(out / "checksum_all.md5"));
    }
    CChecksumWriter missing(out / "no-such-game", out.path());
    EXPECT_NE(FailureOf(missing).find("no-such-game"), std::string::npos);

    EXPECT_EQ(ChecksumListName(""), "checksum_all.md5");
    EXPECT_EQ(ChecksumListName("15.16383.0"), "checksum_15_16383_0.md5");
    for (const char* version : {"1.2", "1.2.3.4", "16.0.0", "1.16384.0", "1.x.3", "1..3", "-1.2.3"})
        EXPECT_THROW(ChecksumListName(version), PackError) << version;
}

}  // namespace
