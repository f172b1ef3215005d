#include "headless/game_choice.h"

#include <cstdint>

#include "patch/checksum_list.h"
#include "platform/codepage.h"
#include "protocol/version.h"

namespace headless {
namespace {

// By name first, then by key; `name` in the ANSI code page.
const protocol::GameRecord* Find(const std::vector<protocol::GameRecord>& games,
                                 const std::string& name) {
    for (const protocol::GameRecord& game : games) {
        if (game.name == name)
            return &game;
    }
    for (const protocol::GameRecord& game : games) {
        if (game.game_key == name)
            return &game;
    }
    return nullptr;
}

// "A", "B" (UTF-8), for a message.
std::string NameList(const std::vector<protocol::GameRecord>& games) {
    std::string names;
    for (const protocol::GameRecord& game : games)
        names += (names.empty() ? "\"" : ", \"") + platform::AnsiToUtf8(game.name) + "\"";
    return names;
}

}  // namespace

GameChoice ChooseGame(const std::vector<protocol::GameRecord>& games,
                      const std::string& currentGame, const std::string& requested) {
    if (games.empty())
        return {nullptr, "the launcher server offers no game"};
    if (!requested.empty()) {
        const protocol::GameRecord* game = Find(games, platform::Utf8ToAnsi(requested));
        if (game == nullptr)
            game = Find(games, requested);
        if (game != nullptr)
            return {game, {}};
        return {nullptr, "the launcher server offers no game \"" + requested + "\"; it offers " +
                             NameList(games)};
    }
    if (!currentGame.empty()) {
        if (const protocol::GameRecord* game = Find(games, currentGame))
            return {game, {}};
        return {nullptr, "CURRENT_GAME of Launcher.ini names \"" +
                             platform::AnsiToUtf8(currentGame) +
                             "\", which the launcher server does not offer; choose one with "
                             "--game NAME: " +
                             NameList(games)};
    }
    if (games.size() == 1)
        return {&games.front(), {}};
    return {nullptr, "the launcher server offers several games; choose one with --game NAME: " +
                         NameList(games)};
}

std::string ChecksumListOf(const protocol::GameRecord& game,
                           const std::map<std::string, config::GameInfo>& installed) {
    const auto entry = installed.find(game.game_key);
    if (entry == installed.end())
        return "checksum_all.md5";
    return patch::ChecksumListName(protocol::parse_version(entry->second.version),
                                   static_cast<std::uint32_t>(game.server_version));
}

}  // namespace headless
