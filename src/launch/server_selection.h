#pragma once
// The server the player chose for the game start: its game, group, server and address, with the
// snapshot of the server lists they live in, which the selection keeps alive. A plain value; any
// thread may hold one.

#include <memory>

#include "protocol/server_directory.h"
#include "protocol/server_records.h"

namespace launch {

struct ServerSelection {
    std::shared_ptr<const protocol::ServerLists> lists;
    const protocol::GameRecord* game = nullptr;
    const protocol::ServerGroup* group = nullptr;
    const protocol::ServerEntry* server = nullptr;
    const protocol::Endpoint* endpoint = nullptr;  // one of the server's addresses

    // All four records are there.
    bool Complete() const {
        return game != nullptr && group != nullptr && server != nullptr && endpoint != nullptr;
    }
};

}  // namespace launch
