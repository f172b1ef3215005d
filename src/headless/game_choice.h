#pragma once
// Which game of the launcher server's list a command-line run works on, and which checksum list
// names that game's files. Pure functions; any thread.

#include <map>
#include <string>
#include <vector>

#include "config/launcher_config.h"
#include "protocol/server_records.h"

namespace headless {

struct GameChoice {
    const protocol::GameRecord* game = nullptr;  // into the list given; null with `error` set
    std::string error;                           // UTF-8, for people
};

// The game named `requested` (UTF-8, as typed: a game's name, else its key), else the one
// `currentGame` (CURRENT_GAME, ANSI) names, else the list's only game.
GameChoice ChooseGame(const std::vector<protocol::GameRecord>& games,
                      const std::string& currentGame, const std::string& requested);

// The checksum list of `game`, from its installed version in Launcher.ini and the server's: the
// window's choice, made for this game rather than for the list's last one.
std::string ChecksumListOf(const protocol::GameRecord& game,
                           const std::map<std::string, config::GameInfo>& installed);

}  // namespace headless
