#pragma once
// The record behind one server-tree row: what it shows and which records it stands for. It
// shares ownership of the snapshot of the server lists those records live in, so a row stays
// valid when the launcher server sends new lists. A plain value; GUI thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "protocol/server_directory.h"
#include "protocol/server_records.h"

namespace frontend {

// A row of one tree: its index among the tree's rows, in the order they were added.
using RowId = int;
inline constexpr RowId kNoRow = -1;

// A row's text colour, as red, green and blue.
struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

struct FServerItem final {
    static constexpr int32_t kGroup = 1;
    static constexpr int32_t kServer = 2;

    int32_t kind = 0;
    std::string label;  // ANSI code page, as the server or the language file gave it
    std::shared_ptr<const protocol::ServerLists> lists;  // what the pointers below point into
    const protocol::GameRecord* game = nullptr;
    const protocol::ServerGroup* group = nullptr;   // a group row's group, a server row's parent's
    const protocol::ServerEntry* server = nullptr;  // server rows only
    bool recommended = false;                       // group rows only: the badge
    int32_t level = 0;                              // server rows only: bars, 0 to 4

    RowId parent = kNoRow;     // a server row's group row
    std::optional<Rgb> color;  // none: the tree's own text colour
    bool bold = false;
    bool expanded = false;  // a group row that shows its servers

    // The label as the screen shows it (UTF-8).
    std::string Text() const;
};

}  // namespace frontend
