// The server-tree model: its rows, the server a selected row gives, the lists rows keep alive.
#include "frontend/server_tree_model.h"

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/message_box_recorder.h"
#include "support/server_rows.h"

namespace {

using frontend::CServerTreeModel;
using frontend::FServerItem;
using protocol::GameRecord;
using protocol::ServerGroup;
using namespace quend::test;
using Texts = std::vector<std::string>;

// "ServerSet" as GBK text; each group added with its game in lists of its own.
class ServerTreeModelTest : public ::testing::Test {
protected:
    void SetUp() override { UseServerSet(m_dir, "\xB7\xFE%d"); }  // 服%d

    std::weak_ptr<protocol::ServerLists> Add(const GameRecord& game, const ServerGroup& group) {
        const auto lists =
            std::make_shared<protocol::ServerLists>(protocol::ServerLists{"", {game}, {group}});
        m_tree.AddServerGroup(lists, lists->game_list[0], lists->group_list[0]);
        return lists;
    }

    // "label colour [bold] [open] [badge]" for a group row, "  label bars colour" for a server.
    static std::string Describe(const FServerItem& row) {
        std::string text = (row.parent == frontend::kNoRow ? "" : "  ") + row.Text();
        if (row.kind == FServerItem::kServer)
            text += " " + std::to_string(row.level);
        text += row.color
                    ? " " + std::to_string(row.color->red) + "," +
                          std::to_string(row.color->green) + "," + std::to_string(row.color->blue)
                    : " -";
        return text + (row.bold ? " bold" : "") + (row.expanded ? " open" : "") +
               (row.recommended ? " badge" : "");
    }

    TempDir m_dir;
    MessageBoxRecorder m_messages;
    CServerTreeModel m_tree;
};

// Colours, weights, bars and the badge as the widget paints them are tests/ui's; here the rows
// the widget's test does not reach: disabled servers, two and five loads, a state without colour
// and a group of another game.
TEST_F(ServerTreeModelTest, EachRowShowsItsServersState) {
    Add(Game("A", 1), Group("A", "A1", {Server(10), Server(20, false), Server(10), Server(50)}));
    Add(Game("C", 3), Group("C", "C1", {Server(1), Server(2), Server(3), Server(4), Server(5)}));
    Add(Game("E", 0), Group("E", "E1", {Server(5), Server(9), Server(5), Server(1)}));
    Add(Game("A", 1), Group("B", "belongs to B", {Server(1)}));

    Texts rows;
    for (const FServerItem& row : m_tree.Rows())
        rows.push_back(Describe(row));
    const std::string white = "255,255,255", grey = "128,128,128";
    EXPECT_EQ(rows, (Texts{"A1 " + white + " bold open", "  服1 2 " + white, "  服3 2 " + white,
                           "  服4 3 " + white, "C1 " + grey + " open", "  服1 0 " + grey,
                           "  服2 0 " + grey, "  服3 0 " + grey, "  服4 0 " + grey,
                           "  服5 0 " + grey, "E1 - open", "  服1 2 " + white, "  服2 3 " + white,
                           "  服3 2 " + white, "  服4 1 " + white}));
    EXPECT_EQ(m_tree.Rows()[1].parent, 0);
    EXPECT_EQ(m_tree.Rows()[14].parent, 10);
}

TEST_F(ServerTreeModelTest, ASelectedRowGivesItsServerByTheUnseededRandomNumbers) {
    const ServerGroup groupA =
        Group("A", "A1", {Server(1, true, 3), Server(2, false, 1), Server(3, true, 0), Server(4)});
    Add(Game("A", 1), groupA);
    EXPECT_FALSE(m_tree.GetSelectedServer()) << "nothing selected";
    m_tree.SelectRow(99);
    EXPECT_FALSE(m_tree.HasSelectedItem());

    // The picks are rand() modulo the counts, disabled servers included.
    m_tree.SelectRow(0);
    std::srand(7);
    const int serverDraw = std::rand() % 4;
    const int endpointDraw = std::rand();
    std::srand(7);
    auto selection = m_tree.GetSelectedServer();
    ASSERT_TRUE(selection);
    EXPECT_EQ(selection->game->name, "A");
    EXPECT_EQ(*selection->group, groupA);
    EXPECT_EQ(*selection->server, groupA.servers[serverDraw]);
    EXPECT_EQ(
        selection->endpoint,
        selection->server->endpoints.empty()
            ? nullptr
            : &selection->server->endpoints[endpointDraw % selection->server->endpoints.size()]);
    std::set<long> drawn;
    for (int i = 0; i < 100; ++i)
        drawn.insert(m_tree.GetSelectedServer()->server - selection->group->servers.data());
    EXPECT_EQ(drawn, (std::set<long>{0, 1, 2, 3}));

    // A server row gives its server, its group and one of its endpoints, or none.
    for (const int row : {3, 2}) {
        m_tree.SelectRow(row);
        selection = m_tree.GetSelectedServer();
        EXPECT_EQ(*selection->server, groupA.servers[row]);
        EXPECT_EQ(*selection->group, groupA);
        EXPECT_EQ(selection->Complete(), row == 3);
    }
    EXPECT_EQ(selection->endpoint, nullptr);
    m_tree.RemoveAllServers();
    EXPECT_FALSE(m_tree.HasSelectedItem());
}

// Rows and selections keep their snapshot alive; it goes with the rows and the last selection.
TEST_F(ServerTreeModelTest, RowsAndSelectionsOutliveTheirLists) {
    const auto watch = Add(Game("A", 1), Group("A", "A1", {Server(1), Server(2)}));
    m_tree.SelectRow(2);
    std::optional<launch::ServerSelection> selection = m_tree.GetSelectedServer();
    m_tree.RemoveAllServers();
    ASSERT_FALSE(watch.expired());
    EXPECT_EQ(selection->game->update_url, "http://127.0.0.1/A");
    EXPECT_EQ(selection->server->load, 2);
    selection.reset();
    EXPECT_TRUE(watch.expired());
}

// The language file's format lends only its first int conversion, of bounded width.
TEST_F(ServerTreeModelTest, ServerNumbersFollowTheFormatWithoutTrustingIt) {
    const auto label = [&](const std::string& format) {
        writeFile(m_dir / "Launcher.chs", "[Term]\r\n" + format + "\r\n");
        m_tree.RemoveAllServers();
        Add(Game("A", 1), Group("A", "A1", {Server(1, false), Server(2)}));
        return m_tree.Rows().at(1).Text();
    };
    EXPECT_EQ(label("ServerSet=%s %03d %d %% %n"), "%s 002 %d % %n");
    EXPECT_EQ(label("ServerSet=%9999d|%.5000d|%-4lx|%"), "%9999d|%.5000d|2   |%");
    EXPECT_EQ(label(""), "[?Term.ServerSet?]");
}

}  // namespace
