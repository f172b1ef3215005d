#include "config/launcher_config.h"

#include <charconv>
#include <set>

#include "config/ini_file.h"
#include "platform/ascii_case.h"

namespace config {

namespace {

// The files come from a platform whose char is signed: bytes from 0x80 are below 'A'.
int Digit(char c) {
    const int code = static_cast<signed char>(c);
    return code < 'A' ? code - 48 : code - 55;
}

std::string ReadValue(CIniFile& ini, const char* section, const char* key) {
    return HexDecode(ini.GetString(section, key, ""));
}

GameInfo ReadGame(CIniFile& ini, const std::string& name) {
    return GameInfo{ReadValue(ini, name.c_str(), "VERSION"),
                    ReadValue(ini, name.c_str(), "AUTH_DOMAIN")};
}

// Every d for which some line of the file could be the key "game<d>": its name is "game" in any
// case followed by d printed with "%d".
std::set<int> GameKeyNumbers(const CIniFile& ini) {
    std::set<int> numbers;
    for (const IniLine& line : ini.Lines()) {
        const std::string_view text = line.text;
        const std::string_view body = text.substr(0, text.find(';'));
        const std::size_t equals = body.find('=');
        if (equals == std::string_view::npos || equals < 5)
            continue;
        const std::string_view name = body.substr(0, equals);
        const bool prefix = platform::StartsWithNoCase(name, "game");
        const std::string_view digits = name.substr(4);
        if (!prefix || digits.front() == '0')
            continue;
        int number = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (error == std::errc() && end == digits.data() + digits.size() && number > 0)
            numbers.insert(number);
    }
    return numbers;
}

// Game d of 1..count is named by the key "game<d>"; a missing key names the empty game. An
// entry's value depends only on its name, so the map is the same whatever order the numbers are
// taken in: walking the keys the file holds gives the result of walking every number up to
// count, without a huge COUNT costing a walk over billions of absent keys.
void ReadGames(CIniFile& ini, int count, std::map<std::string, GameInfo>& games) {
    int found = 0;
    for (const int number : GameKeyNumbers(ini)) {
        if (number > count)
            break;
        const std::string key = "game" + std::to_string(number);
        IniKeyRef ref;
        if (!ini.FindKey("Gamelist", key.c_str(), ref))
            continue;
        ++found;
        const std::string name = ReadValue(ini, "Gamelist", key.c_str());
        games[name] = ReadGame(ini, name);
    }
    if (found < count)
        games[""] = ReadGame(ini, "");
}

struct LauncherKey {
    const char* key;
    std::string LauncherConfig::*field;
};

constexpr LauncherKey kLauncherKeys[] = {
    {"COMPANY", &LauncherConfig::company},
    {"RESOURCE_DIR", &LauncherConfig::resourceDir},
    {"LANGUAGE", &LauncherConfig::language},
    {"CURRENT_GAME", &LauncherConfig::currentGame},
    {"TREE_SERVER", &LauncherConfig::treeServer},
    {"HOMEPAGE", &LauncherConfig::homePage},
    {"NOTICE", &LauncherConfig::notice},
    {"ONELINE_NOTICE", &LauncherConfig::onelineNotice},
    {"CASHITEM_LIST", &LauncherConfig::cashItemList},
};

}  // namespace

std::string HexDecode(std::string_view encoded) {
    encoded = encoded.substr(0, encoded.find('\0'));
    std::string decoded;
    decoded.reserve(encoded.size() / 2 + 1);
    for (std::size_t i = 0; i < encoded.size(); i += 2) {
        const char high = i + 1 < encoded.size() ? encoded[i + 1] : '\0';
        decoded.push_back(static_cast<char>((Digit(encoded[i]) + 16 * Digit(high)) & 0xFF));
    }
    return decoded;
}

bool ReadLauncherConfig(const std::string& path, LauncherConfig& config) {
    CIniFile ini;
    if (!ini.Load(path.c_str()))
        return false;
    for (const LauncherKey& entry : kLauncherKeys)
        config.*entry.field = ReadValue(ini, "Launcher", entry.key);
    const int count = CIniFile::TextToInt(ReadValue(ini, "Gamelist", "COUNT").c_str());
    ReadGames(ini, count, config.games);
    return true;
}

}  // namespace config
