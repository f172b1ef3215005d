#pragma once
// The games, servers and numbering of server-tree rows, for model and widget suites. Test thread.

#include <cstdlib>
#include <string>
#include <vector>

#include "config/text_table.h"
#include "protocol/server_records.h"
#include "support/test_support.h"

namespace quend::test {

inline protocol::GameRecord Game(const std::string& name, int state, bool notReady = false) {
    return {name, name, 0, 0, state, "http://127.0.0.1/" + name, "", notReady};
}

inline protocol::ServerEntry Server(int load, bool enabled = true, uint32_t endpoints = 2) {
    protocol::ServerEntry server{{}, enabled, load};
    for (uint32_t i = 0; i < endpoints; ++i)
        server.endpoints.push_back({0x7F000001u + i, static_cast<uint16_t>(7000 + i)});
    return server;
}

inline protocol::ServerGroup Group(const std::string& game, const std::string& label,
                                   std::vector<protocol::ServerEntry> servers) {
    return {game, "", label, std::move(servers)};
}

// Server rows numbered by `format`, read from a GBK language file in `dir`.
inline void UseServerSet(const TempDir& dir, const std::string& format) {
    ::setenv("QUEND_CODEPAGE", "GBK", 1);
    writeFile(dir / "Launcher.chs", "[Term]\r\nServerSet=" + format + "\r\n");
    config::SetTextFile(dir.dir() + "Launcher.chs");
}

}  // namespace quend::test
