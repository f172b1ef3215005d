#include "devserver/devserver_config.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <optional>
#include <string_view>

#include "platform/codepage.h"
#include "protocol/version.h"

namespace devserver {

namespace {

using nlohmann::json;

// A value with the place it was found at, so that every complaint can name it.
class Node final {
public:
    Node(const json& value, std::string place) : m_value(value), m_place(std::move(place)) {}

    [[noreturn]] void Fail(const std::string& what) const {
        throw ConfigError(m_place + ": " + what);
    }

    const json& Value() const { return m_value; }
    const std::string& Place() const { return m_place; }

    std::optional<Node> Find(const char* key) const {
        ExpectObject();
        const auto found = m_value.find(key);
        if (found == m_value.end())
            return std::nullopt;
        return Node(*found, m_place + "." + key);
    }

    Node Member(const char* key) const {
        if (auto node = Find(key))
            return *node;
        Fail(std::string("missing \"") + key + "\"");
    }

    std::vector<Node> Items() const {
        if (!m_value.is_array())
            Fail("expected an array");
        std::vector<Node> items;
        for (size_t i = 0; i < m_value.size(); ++i)
            items.emplace_back(m_value[i], m_place + "[" + std::to_string(i) + "]");
        return items;
    }

    std::string Text() const {
        if (!m_value.is_string())
            Fail("expected a string");
        return m_value.get<std::string>();
    }

    bool Flag() const {
        if (!m_value.is_boolean())
            Fail("expected true or false");
        return m_value.get<bool>();
    }

    int64_t Number(int64_t low, int64_t high) const {
        if (!m_value.is_number_integer())
            Fail("expected an integer");
        const int64_t n = m_value.get<int64_t>();
        if (n < low || n > high)
            Fail("expected an integer from " + std::to_string(low) + " to " + std::to_string(high));
        return n;
    }

    void ExpectObject() const {
        if (!m_value.is_object())
            Fail("expected an object");
    }

    // A misspelt optional key would otherwise be ignored without a word.
    void OnlyKeys(std::initializer_list<std::string_view> known) const {
        ExpectObject();
        for (const auto& item : m_value.items()) {
            if (std::find(known.begin(), known.end(), item.key()) == known.end())
                Fail("unknown key \"" + item.key() + "\"");
        }
    }

private:
    const json& m_value;
    std::string m_place;
};

std::string WireText(const Node& node) {
    return platform::Utf8ToAnsi(node.Text());
}

std::string OptionalText(const Node& parent, const char* key, std::string fallback = {}) {
    const auto node = parent.Find(key);
    return node ? WireText(*node) : fallback;
}

// Exactly three decimal numbers with dots between them, each fitting its bit field.
int32_t ReadVersion(const Node& node) {
    const std::string text = node.Text();
    unsigned major = 0, minor = 0, patch = 0;
    int end = 0;
    const bool digitsOnly = text.find_first_not_of("0123456789.") == std::string::npos;
    if (!digitsOnly || std::sscanf(text.c_str(), "%u.%u.%u%n", &major, &minor, &patch, &end) != 3 ||
        end != static_cast<int>(text.size()) || major > 15 || minor > 0x3FFF || patch > 0x3FFF) {
        node.Fail("expected \"x.y.z\" (x up to 15, y and z up to 16383)");
    }
    return static_cast<int32_t>(protocol::pack_version(
        static_cast<int>(major), static_cast<int>(minor), static_cast<int>(patch)));
}

protocol::Endpoint ReadEndpoint(const Node& node) {
    const std::string text = node.Text();
    const size_t colon = text.find(':');
    in_addr address{};
    const std::string portText = colon == std::string::npos ? "" : text.substr(colon + 1);
    const bool portOk = !portText.empty() && portText.size() <= 5 &&
                        portText.find_first_not_of("0123456789") == std::string::npos &&
                        std::stoul(portText) <= 65535;
    if (colon == std::string::npos || !portOk ||
        ::inet_pton(AF_INET, text.substr(0, colon).c_str(), &address) != 1) {
        node.Fail("expected \"a.b.c.d:port\"");
    }
    return {ntohl(address.s_addr), static_cast<uint16_t>(std::stoul(portText))};
}

protocol::GameRecord ReadGame(const Node& node) {
    protocol::GameRecord game;
    game.name = WireText(node.Member("name"));
    game.game_key = OptionalText(node, "key", game.name);
    game.server_version = ReadVersion(node.Member("server_version"));
    if (const auto state = node.Find("install_state"))
        game.install_state = static_cast<int32_t>(state->Number(0, 0x7FFFFFFF));
    else
        game.install_state = 1;
    game.update_url = OptionalText(node, "update_url");
    game.extra = OptionalText(node, "extra");
    if (const auto notReady = node.Find("not_ready"))
        game.version_not_ready = notReady->Flag() ? 1 : 0;
    return game;
}

protocol::ServerEntry ReadServer(const Node& node) {
    protocol::ServerEntry server;
    for (const Node& endpoint : node.Member("endpoints").Items())
        server.endpoints.push_back(ReadEndpoint(endpoint));
    const auto enabled = node.Find("enabled");
    server.enabled = !enabled || enabled->Flag() ? 1 : 0;
    if (const auto load = node.Find("load"))
        server.load = static_cast<int32_t>(
            load->Number(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    return server;
}

protocol::ServerGroup ReadGroup(const Node& node) {
    protocol::ServerGroup group;
    group.game_name = WireText(node.Member("game"));
    group.label = WireText(node.Member("label"));
    group.extra = OptionalText(node, "extra");
    for (const Node& server : node.Member("servers").Items())
        group.servers.push_back(ReadServer(server));
    return group;
}

CUpdateServer::Faults ReadFaults(const Node& node) {
    constexpr std::int64_t kMaxBytes = std::int64_t{1} << 40;
    constexpr std::int64_t kMaxDelayMs = 60000;
    node.OnlyKeys({"cut_after", "length_surplus", "length_shortfall", "corrupt", "status",
                   "block_delay_ms", "ignore_range"});
    CUpdateServer::Faults faults;
    if (const auto cut = node.Find("cut_after"))
        faults.cutAfter = static_cast<std::uint64_t>(cut->Number(0, kMaxBytes));
    if (const auto surplus = node.Find("length_surplus"))
        faults.lengthSurplus = static_cast<std::uint64_t>(surplus->Number(0, kMaxBytes));
    if (const auto shortfall = node.Find("length_shortfall"))
        faults.lengthShortfall = static_cast<std::uint64_t>(shortfall->Number(0, kMaxBytes));
    if (const auto corrupt = node.Find("corrupt"))
        faults.corrupt = corrupt->Flag();
    if (const auto status = node.Find("status"))
        faults.status = static_cast<int>(status->Number(100, 599));
    if (const auto delay = node.Find("block_delay_ms"))
        faults.blockDelay = std::chrono::milliseconds(delay->Number(0, kMaxDelayMs));
    if (const auto ignore = node.Find("ignore_range"))
        faults.ignoreRange = ignore->Flag();
    return faults;
}

CAccountService::Account ReadAccount(const Node& node) {
    node.OnlyKeys({"name", "password", "user_id", "user_key", "mobile"});
    CAccountService::Account account;
    account.name = node.Member("name").Text();
    account.password = node.Member("password").Text();
    account.userId = node.Member("user_id").Text();
    account.userKey = node.Member("user_key").Text();
    if (const auto mobile = node.Find("mobile"))
        account.mobile = mobile->Text();
    return account;
}

}  // namespace

DevServerConfig DevServerConfig::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ConfigError(path + ": cannot be read");
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::filesystem::path baseDir = std::filesystem::path(path).parent_path();
    if (baseDir.empty())
        baseDir = ".";
    try {
        return Parse(text, baseDir);
    } catch (const ConfigError& e) {
        throw ConfigError(path + ": " + e.what());
    }
}

DevServerConfig DevServerConfig::Parse(std::string_view text,
                                       const std::filesystem::path& baseDir) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& e) {
        throw ConfigError(std::string("not valid JSON: ") + e.what());
    }
    if (!root.is_object())
        throw ConfigError("the top level must be an object with one member per role");
    DevServerConfig config(std::move(root), baseDir);
    // Complain now, not when the role starts.
    if (config.HasRole("launcher"))
        config.Launcher();
    if (config.HasRole("update"))
        config.Update();
    if (config.HasRole("account"))
        config.Account();
    return config;
}

LauncherServerConfig DevServerConfig::Launcher() const {
    if (!HasRole("launcher"))
        throw ConfigError("missing \"launcher\"");
    const Node role(m_root.at("launcher"), "launcher");
    LauncherServerConfig config;
    if (const auto port = role.Find("port"))
        config.port = static_cast<uint16_t>(port->Number(0, 65535));
    if (const auto shortHeader = role.Find("short_header"))
        config.short_header = shortHeader->Flag();
    config.trailer = OptionalText(role, "trailer");
    if (const auto games = role.Find("games")) {
        for (const Node& game : games->Items())
            config.games.push_back(ReadGame(game));
    }
    if (const auto groups = role.Find("groups")) {
        for (const Node& group : groups->Items())
            config.groups.push_back(ReadGroup(group));
    }
    return config;
}

UpdateServerConfig DevServerConfig::Update() const {
    if (!HasRole("update"))
        throw ConfigError("missing \"update\"");
    const Node role(m_root.at("update"), "update");
    role.OnlyKeys({"port", "root", "faults"});
    UpdateServerConfig config;
    config.port = static_cast<uint16_t>(role.Member("port").Number(0, 65535));
    const Node root = role.Member("root");
    config.root = m_baseDir / root.Text();
    std::error_code error;
    if (!std::filesystem::is_directory(config.root, error))
        root.Fail("\"" + config.root.string() + "\" is not a folder");
    if (const auto faults = role.Find("faults"))
        config.faults = ReadFaults(*faults);
    return config;
}

AccountServiceConfig DevServerConfig::Account() const {
    if (!HasRole("account"))
        throw ConfigError("missing \"account\"");
    const Node role(m_root.at("account"), "account");
    role.OnlyKeys({"port", "accounts"});
    AccountServiceConfig config;
    config.port = static_cast<uint16_t>(role.Member("port").Number(0, 65535));
    for (const Node& account : role.Member("accounts").Items())
        config.accounts.push_back(ReadAccount(account));
    return config;
}

}  // namespace devserver
