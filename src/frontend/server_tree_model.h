#pragma once
// One tree of game servers as any window shows it: a group row per server group, a server row
// per enabled server, each with its text, colour, weight, badge or load bars, and the tree's
// selected row with what it stands for at the game start. A window renders the rows (a Qt tree
// widget, a Win32 tree view) and reports the player's selection back. GUI thread only.

#include <memory>
#include <optional>
#include <vector>

#include "frontend/server_item.h"
#include "launch/server_selection.h"
#include "protocol/server_directory.h"
#include "protocol/server_records.h"

namespace frontend {

class CServerTreeModel final {
public:
    // The server's install states, told apart by colour; 3 is also set for games that
    // Launcher.ini does not list.
    static constexpr Rgb kNotReadyColor{255, 128, 128};
    static constexpr Rgb kGreyColor{128, 128, 128};
    static constexpr Rgb kWhiteColor{255, 255, 255};
    static constexpr Rgb kCyanColor{128, 255, 255};

    // Every row goes, and the selection with them.
    void RemoveAllServers();

    // Adds nothing when the group belongs to another game. `game` and `group` live in `lists`,
    // which the rows keep alive. A group labelled "推荐" is recommended: its label is shown in a
    // message box before its row is added. A game whose new version is not ready gets a
    // collapsed group row without servers.
    void AddServerGroup(const std::shared_ptr<const protocol::ServerLists>& lists,
                        const protocol::GameRecord& game, const protocol::ServerGroup& group);

    // Group rows come before their server rows, in the order they were added.
    const std::vector<FServerItem>& Rows() const { return m_items; }
    // The row, or null for kNoRow and anything out of range.
    const FServerItem* Row(RowId row) const;

    // What the window shows as selected; kNoRow (or a row that does not exist) selects nothing.
    void SelectRow(RowId row);
    RowId SelectedRow() const { return m_selected; }
    bool HasSelectedItem() const { return m_selected != kNoRow; }

    // The game, group, server and address of the selected row. A group row gives one of its
    // servers drawn with the unseeded rand() (disabled ones too), a server row its own server;
    // either gives an address of that server drawn the same way, or none when it has none.
    // Nothing when no row is selected.
    std::optional<launch::ServerSelection> GetSelectedServer() const;

private:
    RowId AddRow(FServerItem item);
    void AddServerRows(RowId groupRow, const FServerItem& groupItem);

    std::vector<FServerItem> m_items;
    RowId m_selected = kNoRow;
};

}  // namespace frontend
