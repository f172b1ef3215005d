#include "protocol/server_directory.h"

#include <utility>

namespace protocol {

const GameRecord* ServerLists::FindGame(std::string_view name) const {
    for (const GameRecord& game : game_list) {
        if (game.name == name)
            return &game;
    }
    return nullptr;
}

ServerDirectory::ServerDirectory() : m_latest(std::make_shared<const ServerLists>()) {}

std::shared_ptr<const ServerLists> ServerDirectory::Latest() const {
    std::lock_guard lock(m_mutex);
    return m_latest;
}

void ServerDirectory::PublishGames(std::vector<GameRecord> games, std::string trailer) {
    std::lock_guard lock(m_mutex);
    auto next = std::make_shared<ServerLists>();
    next->trailer = std::move(trailer);
    next->game_list = std::move(games);
    next->group_list = m_latest->group_list;
    m_latest = std::move(next);
}

void ServerDirectory::PublishGroups(std::vector<ServerGroup> groups) {
    std::lock_guard lock(m_mutex);
    auto next = std::make_shared<ServerLists>();
    next->trailer = m_latest->trailer;
    next->game_list = m_latest->game_list;
    next->group_list = std::move(groups);
    m_latest = std::move(next);
}

}  // namespace protocol
