#include "config/launcher_config.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace {

using quend::test::TempDir;
using quend::test::writeFile;

// Each byte as two digits, low four bits first; checked against hand-made pairs below.
std::string Enc(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += kDigits[byte & 0x0F];
        out += kDigits[byte >> 4];
    }
    return out;
}

TEST(HexDecodeTest, PairsCarryTheLowFourBitsFirst) {
    EXPECT_EQ(HexDecode("03"), "0");
    EXPECT_EQ(HexDecode("14"), "A");
    EXPECT_EQ(HexDecode("7616D656"), "game");
    EXPECT_EQ(HexDecode("13E223E233"), "1.2.3");
    EXPECT_EQ(HexDecode(""), "");
    EXPECT_EQ(Enc("0"), "03");
    EXPECT_EQ(Enc("A"), "14");
    EXPECT_EQ(Enc("game"), "7616D656");
    EXPECT_EQ(Enc("1.2.3"), "13E223E233");
    EXPECT_EQ(Enc("\xA0"), "0A");
}

TEST(HexDecodeTest, OddAndForeignDigitsDecodeWithoutError) {
    // An odd last digit pairs with the terminating zero.
    EXPECT_EQ(HexDecode("3"), "\x03");
    EXPECT_EQ(HexDecode("F"), "\x0F");
    EXPECT_EQ(HexDecode("031"), std::string("0\x01"));
    // Lower-case letters are not digits 10 to 15: 'a' counts 42.
    EXPECT_EQ(HexDecode("a0"), "*");
    EXPECT_EQ(HexDecode("0a"), "\xA0");
    EXPECT_EQ(HexDecode("a"), "*");
    // A blank counts -16: 0 + 16 * -16 keeps its low 8 bits, 0.
    EXPECT_EQ(HexDecode("0 "), std::string(1, '\0'));
    // Bytes from 0x80 are below 'A' (signed): 0x80 - 256 - 48 = -176, low 8 bits 0x50.
    EXPECT_EQ(HexDecode("\x80"
                        "0"),
              "P");
    // The text ends at its first NUL.
    EXPECT_EQ(HexDecode(std::string("03\0"
                                    "14",
                                    5)),
              "0");
}

class LauncherConfigTest : public ::testing::Test {
protected:
    std::string write(const std::string& bytes) {
        const auto path = m_dir / "Launcher.ini";
        writeFile(path, bytes);
        return path.string();
    }
    static std::string entry(const char* key, const std::string& value) {
        return std::string(key) + "=" + Enc(value) + "\r\n";
    }
    static std::vector<std::pair<std::string, GameInfo>> games(const LauncherConfig& config) {
        return {config.games.begin(), config.games.end()};
    }

    TempDir m_dir;
};

TEST_F(LauncherConfigTest, ReadsEveryKeyAndOrdersGamesByName) {
    const std::string path =
        write("[Launcher]\r\n" + entry("COMPANY", "Quend Works") + entry("RESOURCE_DIR", "Res\\") +
              entry("LANGUAGE", "en") + entry("CURRENT_GAME", "Beta") +
              entry("TREE_SERVER", "127.0.0.1:7000") + entry("HOMEPAGE", "http://home") +
              entry("NOTICE", "http://notice") + entry("ONELINE_NOTICE", "http://line") +
              entry("CASHITEM_LIST", "http://shop") + "\r\n[Gamelist]\r\n" + entry("COUNT", "2") +
              entry("game1", "Beta") + entry("game2", "Alpha") + "[Beta]\r\n" +
              entry("VERSION", "1.2.3") + entry("AUTH_DOMAIN", "beta.example") + "[Alpha]\r\n" +
              entry("VERSION", "4.5.6") + entry("AUTH_DOMAIN", "alpha.example"));
    LauncherConfig config;
    ASSERT_TRUE(ReadLauncherConfig(path, config));
    EXPECT_EQ(config.company, "Quend Works");
    EXPECT_EQ(config.resourceDir, "Res\\");
    EXPECT_EQ(config.language, "en");
    EXPECT_EQ(config.currentGame, "Beta");
    EXPECT_EQ(config.treeServer, "127.0.0.1:7000");
    EXPECT_EQ(config.homePage, "http://home");
    EXPECT_EQ(config.notice, "http://notice");
    EXPECT_EQ(config.onelineNotice, "http://line");
    EXPECT_EQ(config.cashItemList, "http://shop");
    const decltype(games(config)) expected = {{"Alpha", {"4.5.6", "alpha.example"}},
                                              {"Beta", {"1.2.3", "beta.example"}}};
    EXPECT_EQ(games(config), expected);
}

TEST_F(LauncherConfigTest, HeaderOnlyFileEmptiesTheFields) {
    LauncherConfig config;
    config.company = "old";
    config.treeServer = "old:1";
    ASSERT_TRUE(ReadLauncherConfig(write("[Launcher]\r\n"), config));
    EXPECT_EQ(config.company, "");
    EXPECT_EQ(config.treeServer, "");
    EXPECT_TRUE(config.games.empty());
}

TEST_F(LauncherConfigTest, MissingGameKeyNamesTheEmptyGame) {
    const std::string path = write(
        "[Gamelist]\r\n" + entry("COUNT", "3") + entry("game1", "One") + entry("game3", "Three") +
        "[One]\r\n" + entry("VERSION", "1.0.0") + "[]\r\n" + entry("VERSION", "9.9.9"));
    LauncherConfig config;
    ASSERT_TRUE(ReadLauncherConfig(path, config));
    const decltype(games(config)) expected = {
        {"", {"9.9.9", ""}}, {"One", {"1.0.0", ""}}, {"Three", {"", ""}}};
    EXPECT_EQ(games(config), expected);
}

TEST_F(LauncherConfigTest, DuplicateNamesGiveOneEntry) {
    const std::string path =
        write("[Gamelist]\r\n" + entry("COUNT", "2") + entry("game1", "Same") +
              entry("GAME2", "Same") + "[Same]\r\n" + entry("AUTH_DOMAIN", "same.example"));
    LauncherConfig config;
    config.games["Kept"] = {"0.0.1", "kept"};  // entries already there stay
    ASSERT_TRUE(ReadLauncherConfig(path, config));
    const decltype(games(config)) expected = {{"Kept", {"0.0.1", "kept"}},
                                              {"Same", {"", "same.example"}}};
    EXPECT_EQ(games(config), expected);
}

TEST_F(LauncherConfigTest, CountBoundsTheGameKeys) {
    // Keys beyond COUNT are ignored; a huge COUNT finds far keys and names the empty game.
    const std::string keys = entry("game1", "A") + entry("game3", "C") + entry("game01", "Z") +
                             entry("game1000000", "M") + "[A]\r\n" + entry("VERSION", "1.1.1");
    LauncherConfig small;
    ASSERT_TRUE(ReadLauncherConfig(write("[Gamelist]\r\n" + entry("COUNT", "1") + keys), small));
    EXPECT_EQ(games(small), (decltype(games(small)){{"A", {"1.1.1", ""}}}));

    LauncherConfig huge;
    ASSERT_TRUE(
        ReadLauncherConfig(write("[Gamelist]\r\n" + entry("COUNT", "2147483647") + keys), huge));
    const decltype(games(huge)) expected = {
        {"", {"", ""}}, {"A", {"1.1.1", ""}}, {"C", {"", ""}}, {"M", {"", ""}}};
    EXPECT_EQ(games(huge), expected);

    LauncherConfig none;
    ASSERT_TRUE(ReadLauncherConfig(write("[Gamelist]\r\n" + entry("COUNT", "x2") + keys), none));
    EXPECT_TRUE(none.games.empty());
}

TEST_F(LauncherConfigTest, MissingFileLeavesTheRecordUntouched) {
    LauncherConfig config;
    config.language = "en";
    config.games["Kept"] = {"1.0.0", "kept"};
    EXPECT_FALSE(ReadLauncherConfig((m_dir / "absent.ini").string(), config));
    EXPECT_EQ(config.language, "en");
    EXPECT_EQ(games(config), (decltype(games(config)){{"Kept", {"1.0.0", "kept"}}}));
}

}  // namespace
