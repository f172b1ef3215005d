// Which game a command-line run works on, and which checksum list names its files.

#include "headless/game_choice.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "protocol/version.h"

namespace {

using headless::ChooseGame;

protocol::GameRecord Game(const std::string& name, const std::string& key) {
    return {platform::Utf8ToAnsi(name), key, 0, 0, 0, "", "", 0};
}

TEST(GameChoice, ByTheCommandLineThenLauncherIniThenTheOnlyGame) {
    ::setenv("QUEND_CODEPAGE", "GBK", 1);
    // The second game's key is the first one's name: a name wins over a key.
    using Games = std::vector<protocol::GameRecord>;
    const Games games{Game("Quendalor", "Q1"), Game("经典版", "Quendalor")}, one{games.front()};
    const std::string several = "; choose one with --game NAME: \"Quendalor\", \"经典版\"";
    // The games, CURRENT_GAME (ANSI, as Launcher.ini holds it), --game (UTF-8, as typed), the index
    // chosen (-1: none), the error.
    const std::tuple<const Games*, std::string, std::string, int, std::string> rows[] = {
        {&games, "", "Quendalor", 0, ""},
        {&games, "", "经典版", 1, ""},
        {&games, "", "Q1", 0, ""},
        {&games, "Quendalor", "经典版", 1, ""},  // the command line over Launcher.ini
        {&games, platform::Utf8ToAnsi("经典版"), "", 1, ""},
        {&one, "", "", 0, ""},
        {&games, "", "", -1, "the launcher server offers several games" + several},
        {&games, "", "Other", -1,
         "the launcher server offers no game \"Other\"; it offers \"Quendalor\", \"经典版\""},
        {&games, "Gone", "", -1,
         "CURRENT_GAME of Launcher.ini names \"Gone\", which the launcher server does not offer" +
             several},
        {&one, "Gone", "", -1,
         "CURRENT_GAME of Launcher.ini names \"Gone\", which the launcher server does not offer; "
         "choose one with --game NAME: \"Quendalor\""},
    };
    for (const auto& [list, current, requested, chosen, error] : rows) {
        SCOPED_TRACE(current + "/" + requested);
        const headless::GameChoice choice = ChooseGame(*list, current, requested);
        EXPECT_EQ(choice.game, chosen < 0 ? nullptr : &(*list)[chosen]);
        EXPECT_EQ(choice.error, error);
    }
    EXPECT_EQ(ChooseGame({}, "", "").error, "the launcher server offers no game");
}

// The game's own installed version against the server's.
TEST(GameChoice, TheChecksumListComesFromTheGamesVersions) {
    protocol::GameRecord game = Game("Quendalor", "Q");
    game.server_version = static_cast<int32_t>(protocol::pack_version(1, 2, 3));
    EXPECT_EQ(headless::ChecksumListOf(game, {{"Q", {"1.2.3", ""}}}), "checksum_1_2_3.md5");
    EXPECT_EQ(headless::ChecksumListOf(game, {{"Q", {"1.2.2", ""}}}), "checksum_all.md5");
    EXPECT_EQ(headless::ChecksumListOf(game, {{"Other", {"1.2.3", ""}}}), "checksum_all.md5");
}

}  // namespace
