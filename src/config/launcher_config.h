#pragma once
// LauncherConfig: the decoded values of Launcher.ini, read once at start-up, and HexDecode, the
// rule its values are stored in. The reader runs on whichever thread calls it; the record has no
// locking of its own.

#include <map>
#include <string>
#include <string_view>

namespace config {

struct GameInfo {
    std::string version;     // VERSION, "major.minor.patch"
    std::string authDomain;  // AUTH_DOMAIN, host of the account web service

    bool operator==(const GameInfo&) const = default;
};

struct LauncherConfig {
    std::string company;
    std::string resourceDir;
    std::string language;
    std::string currentGame;
    std::string treeServer;
    std::string homePage;
    std::string notice;
    std::string onelineNotice;
    std::string cashItemList;
    std::map<std::string, GameInfo> games;  // by game name, in byte order
};

// Decodes a text of digit pairs, the first digit of a pair carrying the low four bits. A digit is
// c - 48 below 'A' (bytes from 0x80 count as below 'A') and c - 55 otherwise, so lower-case
// letters and other characters decode to other bytes without error. An odd last digit pairs
// with the terminating zero; the text ends at its first NUL.
std::string HexDecode(std::string_view encoded);

// Fills `config` from the file at `path`: the nine Launcher keys replace their fields, and each
// game named in Gamelist sets its entry in `games` (entries already there stay). False, with
// `config` untouched, when the file cannot be loaded.
bool ReadLauncherConfig(const std::string& path, LauncherConfig& config);

}  // namespace config
