#pragma once
// The records the launcher server reports (games, server groups, servers, addresses) with their
// wire transfers, fields in wire order. Plain values: any thread, no sharing of their own.

#include <cstdint>
#include <string>
#include <vector>

#include "corelib/archive.h"

namespace protocol {

// install_state the launcher sets for a game that Launcher.ini does not list.
inline constexpr int32_t kNotInstalled = 3;

struct GameRecord {
    std::string name;
    std::string game_key;        // key into config::LauncherConfig::games
    int32_t server_version = 0;  // packed
    int32_t local_version = 0;   // carried, not used
    int32_t install_state = 0;
    std::string update_url;
    std::string extra;
    uint8_t version_not_ready = 0;

    static constexpr uint32_t wire_min_size = 4 + 4 + 4 + 4 + 4 + 4 + 4 + 1;
    bool operator==(const GameRecord&) const = default;
};

// An IPv4 address, first octet in the most significant byte, and a port.
struct Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;

    // "%d.%d.%d.%d"
    std::string text() const;

    static constexpr uint32_t wire_min_size = 4 + 2;
    bool operator==(const Endpoint&) const = default;
};

struct ServerEntry {
    std::vector<Endpoint> endpoints;
    uint8_t enabled = 0;
    int32_t load = 0;

    static constexpr uint32_t wire_min_size = 4 + 1 + 4;
    bool operator==(const ServerEntry&) const = default;
};

struct ServerGroup {
    std::string game_name;  // the GameRecord::name it belongs to
    std::string extra;
    std::string label;
    std::vector<ServerEntry> servers;

    static constexpr uint32_t wire_min_size = 4 + 4 + 4 + 4;
    bool operator==(const ServerGroup&) const = default;
};

corelib::archive& transfer(corelib::archive& ar, GameRecord& r);
corelib::archive& transfer(corelib::archive& ar, Endpoint& r);
corelib::archive& transfer(corelib::archive& ar, ServerEntry& r);
corelib::archive& transfer(corelib::archive& ar, ServerGroup& r);

}  // namespace protocol
