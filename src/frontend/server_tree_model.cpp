#include "frontend/server_tree_model.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "config/text_table.h"
#include "platform/codepage.h"
#include "platform/message_box.h"

namespace frontend {
namespace {

using protocol::GameRecord;
using protocol::ServerEntry;
using protocol::ServerGroup;

constexpr int kStateWhite = 1;
constexpr int kStateCyan = 2;
constexpr int kStateNotInstalled = protocol::kNotInstalled;

// A printf conversion of an int: its text and its length in the format.
struct IntConversion {
    std::string text;
    std::size_t length = 0;
};

// The int conversion starting at format[at] ('%'), or nothing when it is none or asks for a
// width or precision beyond three digits.
std::optional<IntConversion> ReadIntConversion(std::string_view format, std::size_t at) {
    std::string text = "%";
    std::size_t j = at + 1;
    const auto in = [&](std::string_view set) {
        return j < format.size() && set.find(format[j]) != std::string_view::npos;
    };
    const auto take = [&](std::string_view set) {
        const std::size_t start = j;
        while (in(set))
            text += format[j++];
        return j - start;
    };
    take("-+ #0");
    bool bounded = take("0123456789") <= 3;
    if (in(".")) {
        text += format[j++];
        bounded = take("0123456789") <= 3 && bounded;
    }
    while (in("hlLqjzt"))
        ++j;  // the number is an int whatever the length modifier says
    if (!bounded || !in("diouxX"))
        return std::nullopt;
    text += format[j];
    return IntConversion{text, j - at + 1};
}

// The server number put into the language file's "ServerSet" format as printf would, but only
// into its first int conversion: the format comes from a file, so anything else is shown as
// written instead of reading arguments that are not there.
std::string FormatServerSet(std::string_view format, int number) {
    std::string out;
    bool used = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format.substr(i, 2) == "%%") {
            out += '%';
            ++i;
            continue;
        }
        const auto conversion =
            format[i] == '%' && !used ? ReadIntConversion(format, i) : std::nullopt;
        if (!conversion) {
            out += format[i];
            continue;
        }
        std::array<char, 1024> buffer{};
        std::snprintf(buffer.data(), buffer.size(), conversion->text.c_str(), number);
        out += buffer.data();
        used = true;
        i += conversion->length - 1;
    }
    return out;
}

// The group's distinct loads of enabled servers, ascending.
std::vector<int32_t> LoadRanks(const ServerGroup& group) {
    std::vector<int32_t> loads;
    for (const ServerEntry& server : group.servers) {
        if (server.enabled != 0)
            loads.push_back(server.load);
    }
    std::sort(loads.begin(), loads.end());
    loads.erase(std::unique(loads.begin(), loads.end()), loads.end());
    return loads;
}

// Bars for a load: the lowest loads get the fewest bars; five or more distinct loads get none.
int32_t LoadLevel(int32_t load, const std::vector<int32_t>& ranks) {
    const std::size_t n = ranks.size();
    if (n == 0 || n >= 5)
        return 0;
    if (n == 1)
        return 2;
    const auto rank = static_cast<std::size_t>(std::lower_bound(ranks.begin(), ranks.end(), load) -
                                               ranks.begin());
    if (n == 2)
        return rank == 0 ? 2 : 3;
    // Three loads give 1, 2, 3 bars; four give 1 to 4.
    return static_cast<int32_t>(std::min(rank, n - 1)) + 1;
}

// A group row's colour and weight by the state of its game; other states get no colour.
void ColourGroupRow(FServerItem& row, const GameRecord& game) {
    if (game.version_not_ready != 0) {
        row.color = CServerTreeModel::kNotReadyColor;
        row.bold = true;
    } else if (game.install_state == kStateNotInstalled) {
        row.color = CServerTreeModel::kGreyColor;
    } else if (game.install_state == kStateWhite) {
        row.color = CServerTreeModel::kWhiteColor;
        row.bold = true;
    } else if (game.install_state == kStateCyan) {
        row.color = CServerTreeModel::kCyanColor;
        row.bold = true;
    }
}

template <typename T>
const T* PickRandom(const std::vector<T>& list) {
    if (list.empty())
        return nullptr;
    return &list[static_cast<std::size_t>(std::rand()) % list.size()];
}

}  // namespace

void CServerTreeModel::RemoveAllServers() {
    m_items.clear();
    m_selected = kNoRow;
}

const FServerItem* CServerTreeModel::Row(RowId row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_items.size())
        return nullptr;
    return &m_items[static_cast<std::size_t>(row)];
}

void CServerTreeModel::SelectRow(RowId row) {
    m_selected = Row(row) != nullptr ? row : kNoRow;
}

void CServerTreeModel::AddServerGroup(const std::shared_ptr<const protocol::ServerLists>& lists,
                                      const GameRecord& game, const ServerGroup& group) {
    if (group.game_name != game.name)
        return;
    FServerItem item;
    item.kind = FServerItem::kGroup;
    item.label = group.label;
    item.lists = lists;
    item.game = &game;
    item.group = &group;
    item.recommended = platform::AnsiToUtf8(group.label) == "推荐";
    if (item.recommended)
        platform::ShowMessage(platform::AnsiToUtf8(group.label));
    ColourGroupRow(item, game);
    item.expanded = game.version_not_ready == 0;
    const RowId row = AddRow(item);
    if (item.expanded)
        AddServerRows(row, item);
}

void CServerTreeModel::AddServerRows(RowId groupRow, const FServerItem& groupItem) {
    const ServerGroup& group = *groupItem.group;
    const std::vector<int32_t> ranks = LoadRanks(group);
    const std::string format = config::GetText("Term", "ServerSet");
    for (std::size_t i = 0; i < group.servers.size(); ++i) {
        const ServerEntry& server = group.servers[i];
        if (server.enabled == 0)
            continue;  // its number stays unused
        FServerItem item;
        item.kind = FServerItem::kServer;
        item.label = FormatServerSet(format, static_cast<int>(i + 1));
        item.lists = groupItem.lists;
        item.game = groupItem.game;
        item.group = &group;
        item.server = &server;
        item.level = LoadLevel(server.load, ranks);
        item.parent = groupRow;
        item.color = groupItem.game->install_state == kStateNotInstalled ? kGreyColor : kWhiteColor;
        AddRow(std::move(item));
    }
}

RowId CServerTreeModel::AddRow(FServerItem item) {
    m_items.push_back(std::move(item));
    return static_cast<RowId>(m_items.size() - 1);
}

std::optional<launch::ServerSelection> CServerTreeModel::GetSelectedServer() const {
    const FServerItem* item = Row(m_selected);
    if (item == nullptr)
        return std::nullopt;
    launch::ServerSelection selection;
    selection.lists = item->lists;
    selection.game = item->game;
    selection.group = item->group;
    if (item->kind == FServerItem::kGroup)
        selection.server = item->group != nullptr ? PickRandom(item->group->servers) : nullptr;
    else
        selection.server = item->server;
    if (selection.server != nullptr)
        selection.endpoint = PickRandom(selection.server->endpoints);
    return selection;
}

}  // namespace frontend
