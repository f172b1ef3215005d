// Launcher.ini read into the launcher's record, and the digit pairs its values are kept in.

#include "config/launcher_config.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "pack/ini_encoder.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using Games = std::map<std::string, config::GameInfo>;

// Digits that no encoder writes still decode: an odd last digit pairs with the end; lower-case
// 'a' counts 42, a blank -16 and 0x80 (signed, below 'A') -176, each kept to its low 8 bits; the
// text ends at its first NUL. (Every byte's standard pair is checked with the encoder.)
TEST(HexDecodeTest, ForeignDigitsDecodeAnyway) {
    const std::pair<std::string, std::string> odd[] = {{"F", "\x0F"},     {"031", "0\x01"},
                                                       {"0a", "\xA0"},    {"0 ", "\0"s},
                                                       {"\x80\x30", "P"}, {"03\00014"s, "0"}};
    for (const auto& [encoded, text] : odd)
        EXPECT_EQ(config::HexDecode(encoded), text) << encoded;
}

class LauncherConfigTest : public ::testing::Test {
protected:
    std::string write(const std::string& bytes) {
        quend::test::writeFile(m_dir / "Launcher.ini", bytes);
        return (m_dir / "Launcher.ini").string();
    }
    static std::string entry(const char* key, const std::string& value) {
        return std::string(key) + "=" + pack::HexEncode(value) + "\r\n";
    }

    quend::test::TempDir m_dir;
};

TEST_F(LauncherConfigTest, EveryKeyIsReadAndDecoded) {
    const char* const keys[] = {"COMPANY",      "RESOURCE_DIR",   "LANGUAGE",
                                "CURRENT_GAME", "TREE_SERVER",    "HOMEPAGE",
                                "NOTICE",       "ONELINE_NOTICE", "CASHITEM_LIST"};
    std::string file = "[Launcher]\r\n";
    for (const char* key : keys)
        file += entry(key, key + " \\1"s);
    file += "\r\n[Gamelist]\r\n" + entry("COUNT", "2") + entry("game1", "Beta") +
            entry("game2", "Alpha") + "[Beta]\r\n" + entry("VERSION", "1.2.3") +
            entry("AUTH_DOMAIN", "beta.example") + "[Alpha]\r\n" + entry("VERSION", "4.5.6") +
            entry("AUTH_DOMAIN", "alpha.example");
    config::LauncherConfig config;
    ASSERT_TRUE(config::ReadLauncherConfig(write(file), config));
    const std::string fields[] = {config.company,     config.resourceDir,   config.language,
                                  config.currentGame, config.treeServer,    config.homePage,
                                  config.notice,      config.onelineNotice, config.cashItemList};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(fields[i], keys[i] + " \\1"s) << keys[i];
    EXPECT_EQ(config.games,
              (Games{{"Alpha", {"4.5.6", "alpha.example"}}, {"Beta", {"1.2.3", "beta.example"}}}));
}

TEST_F(LauncherConfigTest, CountAndGameKeysMakeTheEntries) {
    const std::string keys = entry("game1", "A") + entry("game3", "C") + entry("game01", "Z") +
                             entry("game1000000", "M") + "[A]\r\n" + entry("VERSION", "1.1.1") +
                             "[]\r\n" + entry("VERSION", "9.9.9");
    const std::pair<std::string, Games> cases[] = {
        // game2 is missing: the empty name, read from the section with the empty name.
        {entry("COUNT", "3") + keys, {{"", {"9.9.9", ""}}, {"A", {"1.1.1", ""}}, {"C", {"", ""}}}},
        {entry("COUNT", "2147483647") + keys,
         {{"", {"9.9.9", ""}}, {"A", {"1.1.1", ""}}, {"C", {"", ""}}, {"M", {"", ""}}}},
        {entry("COUNT", "x2") + keys, {}},
        {entry("COUNT", "2") + entry("game1", "Same") + entry("GAME2", "Same") + "[Same]\r\n" +
             entry("AUTH_DOMAIN", "same.example"),
         {{"Same", {"", "same.example"}}}},
    };
    for (const auto& [gamelist, expected] : cases) {
        SCOPED_TRACE(gamelist);
        config::LauncherConfig config;
        ASSERT_TRUE(config::ReadLauncherConfig(write("[Gamelist]\r\n" + gamelist), config));
        EXPECT_EQ(config.games, expected);
    }
}

// A missing file leaves the record alone; a header-only one empties the fields, not the games.
TEST_F(LauncherConfigTest, AMissingOrHeaderOnlyFileKeepsTheGames) {
    config::LauncherConfig config;
    config.company = "old";
    config.games["Kept"] = {"1.0.0", "kept"};
    EXPECT_FALSE(config::ReadLauncherConfig((m_dir / "absent.ini").string(), config));
    EXPECT_EQ(config.company, "old");
    ASSERT_TRUE(config::ReadLauncherConfig(write("[Launcher]\r\n"), config));
    EXPECT_EQ(config.company, "");
    EXPECT_EQ(config.games, (Games{{"Kept", {"1.0.0", "kept"}}}));
}

}  // namespace
