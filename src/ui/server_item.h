#pragma once
// The record behind one server-tree row. It shares ownership of the records it shows, so a row
// stays valid when the launcher server sends new lists. GUI thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "protocol/server_records.h"

namespace ui {

struct FServerItem final {
    static constexpr int32_t kGroup = 1;
    static constexpr int32_t kServer = 2;

    int32_t kind = 0;
    std::string label;  // ANSI code page, as the server sent it
    std::shared_ptr<const protocol::GameRecord> game;
    // The group of a group row, the server of a server row.
    std::variant<std::monostate, std::shared_ptr<const protocol::ServerGroup>,
                 std::shared_ptr<const protocol::ServerEntry>>
        data;
    bool recommended = false;  // group rows only
    int32_t level = 0;         // server rows only: bars, 0 to 4

    const protocol::ServerGroup* Group() const;
    const protocol::ServerEntry* Server() const;
};

}  // namespace ui
