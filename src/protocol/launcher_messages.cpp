#include "protocol/launcher_messages.h"

#include "corelib/transfer.h"

namespace protocol {

using corelib::transfer;

void WriteRequest(corelib::message& m, int32_t id) {
    transfer(m, id);
}

void WriteGameList(corelib::message& m, std::vector<GameRecord> games, std::string trailer) {
    int32_t id = kGameListId;
    transfer(m, id);
    transfer(m, games);
    transfer(m, trailer);
}

void WriteServerList(corelib::message& m, std::vector<ServerGroup> groups) {
    int32_t id = kServerListId;
    transfer(m, id);
    transfer(m, groups);
}

}  // namespace protocol
