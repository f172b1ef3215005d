#pragma once
// The launcher-server messages: their ids and the writers of each body. The launcher writes the
// two requests; the development server writes the two replies. Any thread, one message at a time.

#include <cstdint>
#include <string>
#include <vector>

#include "corelib/message.h"
#include "protocol/server_records.h"

namespace protocol {

// Request: nothing after the id. Reply: sequence of GameRecord, then the trailer string.
inline constexpr int32_t kGameListId = 30;
// Request: nothing after the id. Reply: sequence of ServerGroup.
inline constexpr int32_t kServerListId = 40;

// Every outgoing message starts with this reserve, which gives a 256-byte body.
inline constexpr uint32_t kMessageReserve = 128;

void WriteRequest(corelib::message& m, int32_t id);
void WriteGameList(corelib::message& m, std::vector<GameRecord> games, std::string trailer);
void WriteServerList(corelib::message& m, std::vector<ServerGroup> groups);

}  // namespace protocol
