#pragma once
// The game list and the server groups the launcher server reported, published as immutable
// snapshots: the receive thread builds each new list aside and publishes it; the GUI thread takes
// the latest snapshot when it handles WM_SERVER_NOTIFY and keeps it alive as long as anything
// (a tree row) points into it. Any thread may call any member.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/server_records.h"

namespace protocol {

struct ServerLists {
    std::string trailer;                  // from message 30, carried only
    std::vector<GameRecord> game_list;    // from message 30
    std::vector<ServerGroup> group_list;  // from message 40

    // The first game of that name, or null.
    const GameRecord* FindGame(std::string_view name) const;
};

class ServerDirectory final {
public:
    ServerDirectory();

    // Never null; empty lists until the server has answered.
    std::shared_ptr<const ServerLists> Latest() const;

    // Each replaces one list in a new snapshot; earlier snapshots stay as they were.
    void PublishGames(std::vector<GameRecord> games, std::string trailer);
    void PublishGroups(std::vector<ServerGroup> groups);

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const ServerLists> m_latest;
};

}  // namespace protocol
