#include "ui/server_tree.h"

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItem>

#include "config/text_table.h"
#include "ui_test_support.h"

namespace {

using protocol::Endpoint;
using protocol::GameRecord;
using protocol::ServerEntry;
using protocol::ServerGroup;
using quend::test::MessageRecorder;
using quend::test::pixelAt;
using quend::test::TempDir;
using quend::test::writeFile;
using ui::CServerTree;
using ui::FServerItem;

const QColor kGreen(0, 222, 11);
const QColor kYellow(241, 255, 18);
const QColor kRed(232, 9, 19);
const QColor kBlack(0, 0, 0);
const std::string kRecommendedGbk = "\xCD\xC6\xBC\xF6";  // 推荐

GameRecord Game(const std::string& name, int state, bool notReady = false) {
    GameRecord game;
    game.name = name;
    game.game_key = name;
    game.install_state = state;
    game.update_url = "http://127.0.0.1/" + name;
    game.version_not_ready = notReady ? 1 : 0;
    return game;
}

ServerEntry Server(int load, bool enabled = true, int endpoints = 2) {
    ServerEntry server;
    server.load = load;
    server.enabled = enabled ? 1 : 0;
    for (int i = 0; i < endpoints; ++i) {
        server.endpoints.push_back(
            Endpoint{0x7F000001u + static_cast<uint32_t>(i), static_cast<uint16_t>(7000 + i)});
    }
    return server;
}

ServerGroup Group(const std::string& game, const std::string& label,
                  std::vector<ServerEntry> servers) {
    return ServerGroup{game, "", label, std::move(servers)};
}

// A shown tree with the dialog's colours, a language file whose "ServerSet" is GBK text, and a
// message recorder.
class ServerTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUEND_CODEPAGE", "GBK", 1);
        writeFile(m_dir / "Launcher.chs", "[Term]\r\nServerSet=\xB7\xFE%d\r\n");  // 服%d
        SetTextFile(m_dir.dir() + "Launcher.chs");
        m_tree.SetBkColor(kBlack);
        m_tree.SetTextColor(Qt::white);
        m_window.resize(300, 440);
        m_tree.setParent(&m_window);
        m_tree.setGeometry(0, 0, 260, 400);
        m_other.setParent(&m_window);
        m_other.setGeometry(0, 410, 100, 20);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    void Add(const GameRecord& game, const ServerGroup& group) {
        m_tree.AddServerGroup(std::make_shared<const GameRecord>(game),
                              std::make_shared<const ServerGroup>(group));
    }

    QStringList ChildLabels(const QTreeWidgetItem* row) const {
        QStringList labels;
        for (int i = 0; i < row->childCount(); ++i) {
            labels << row->child(i)->text(0);
        }
        return labels;
    }

    std::vector<int> Levels(const QTreeWidgetItem* row) const {
        std::vector<int> levels;
        for (int i = 0; i < row->childCount(); ++i) {
            levels.push_back(m_tree.ItemData(row->child(i))->level);
        }
        return levels;
    }

    QColor Colour(const QTreeWidgetItem* row) const {
        const auto entry = m_tree.ItemColor(row);
        return entry ? entry->color : QColor();
    }

    // Runs of one colour on the line through a row's bars, right of its label.
    int Bars(const QTreeWidgetItem* row, QColor colour) {
        const QImage shown = m_tree.viewport()->grab().toImage();
        const QRect label = m_tree.LabelRect(row);
        int runs = 0;
        bool inRun = false;
        for (int x = label.left() + label.width(); x < shown.width(); ++x) {
            const bool hit = pixelAt(shown, x, label.top() + 6) == colour;
            runs += hit && !inRun ? 1 : 0;
            inRun = hit;
        }
        return runs;
    }

    void Click(const QTreeWidgetItem* row, QPoint offset = {}) {
        const QPoint at = m_tree.LabelRect(row).center() + offset;
        QTest::mouseClick(m_tree.viewport(), Qt::LeftButton, {}, at);
    }

    TempDir m_dir;
    MessageRecorder m_messages;
    QWidget m_window;  // before the controls, so that it goes after them
    CServerTree m_tree;
    QLineEdit m_other;
};

TEST_F(ServerTreeTest, FilledTreeShowsColoursWeightsNumbersAndLoadBars) {
    Add(Game("A", 1), Group("A", "A1", {Server(10), Server(20, false), Server(10), Server(50)}));
    Add(Game("B", 2), Group("B", "B1", {Server(40), Server(30), Server(20), Server(10)}));
    Add(Game("C", 3), Group("C", "C1", {Server(1), Server(2), Server(3), Server(4), Server(5)}));
    Add(Game("D", 1, true), Group("D", "D1", {Server(1), Server(2)}));
    Add(Game("E", 0), Group("E", "E1", {Server(5), Server(9), Server(5), Server(1)}));
    Add(Game("A", 1), Group("B", "belongs to B", {Server(1)}));
    Add(Game("F", 1), Group("F", "F1", {Server(7), Server(7)}));
    ASSERT_EQ(m_tree.topLevelItemCount(), 6);
    EXPECT_TRUE(m_messages.texts().empty());

    const QTreeWidgetItem* a = m_tree.topLevelItem(0);
    EXPECT_EQ(a->text(0), "A1");
    EXPECT_EQ(Colour(a), QColor(255, 255, 255));
    EXPECT_TRUE(m_tree.IsItemBold(a));
    EXPECT_TRUE(a->isExpanded());
    EXPECT_EQ(ChildLabels(a), (QStringList{"服1", "服3", "服4"})) << "the disabled one is skipped";
    EXPECT_EQ(Levels(a), (std::vector<int>{2, 2, 3}));
    EXPECT_EQ(Colour(a->child(0)), QColor(255, 255, 255));
    EXPECT_FALSE(m_tree.IsItemBold(a->child(0)));

    const QTreeWidgetItem* b = m_tree.topLevelItem(1);
    EXPECT_EQ(Colour(b), QColor(128, 255, 255));
    EXPECT_TRUE(m_tree.IsItemBold(b));
    EXPECT_EQ(Levels(b), (std::vector<int>{4, 3, 2, 1}));

    const QTreeWidgetItem* c = m_tree.topLevelItem(2);
    EXPECT_EQ(Colour(c), QColor(128, 128, 128));
    EXPECT_FALSE(m_tree.IsItemBold(c));
    EXPECT_EQ(Levels(c), (std::vector<int>{0, 0, 0, 0, 0})) << "five distinct loads: no bars";
    EXPECT_EQ(Colour(c->child(4)), QColor(128, 128, 128));

    const QTreeWidgetItem* d = m_tree.topLevelItem(3);
    EXPECT_EQ(Colour(d), QColor(255, 128, 128));
    EXPECT_TRUE(m_tree.IsItemBold(d));
    EXPECT_EQ(d->childCount(), 0);
    EXPECT_FALSE(d->isExpanded());

    const QTreeWidgetItem* e = m_tree.topLevelItem(4);
    EXPECT_FALSE(m_tree.ItemColor(e).has_value());
    EXPECT_FALSE(m_tree.IsItemBold(e));
    EXPECT_EQ(Levels(e), (std::vector<int>{2, 3, 2, 1}));
    EXPECT_EQ(Colour(e->child(0)), QColor(255, 255, 255));
    EXPECT_EQ(Levels(m_tree.topLevelItem(5)), (std::vector<int>{2, 2}));

    // What is painted: levels 1 and 2 green, 3 yellow, 4 red; no bars on group rows.
    EXPECT_EQ(Bars(a->child(1), kGreen), 2);
    EXPECT_EQ(Bars(a->child(2), kYellow), 3);
    EXPECT_EQ(Bars(b->child(0), kRed), 4);
    EXPECT_EQ(Bars(b->child(3), kGreen), 1);
    EXPECT_EQ(Bars(c->child(0), kGreen) + Bars(c->child(0), kYellow) + Bars(c->child(0), kRed), 0);
    EXPECT_EQ(Bars(a, kGreen), 0);
}

TEST_F(ServerTreeTest, RecommendedGroupShowsItsLabelAndBadge) {
    Add(Game("A", 1), Group("A", "plain", {Server(1)}));
    Add(Game("A", 1), Group("A", kRecommendedGbk, {Server(1)}));
    EXPECT_EQ(m_messages.texts(), (std::vector<std::string>{"推荐"}));

    const QTreeWidgetItem* plain = m_tree.topLevelItem(0);
    const QTreeWidgetItem* recommended = m_tree.topLevelItem(1);
    EXPECT_FALSE(m_tree.ItemData(plain)->recommended);
    EXPECT_TRUE(m_tree.ItemData(recommended)->recommended);
    EXPECT_EQ(recommended->text(0), "推荐");

    const QImage shown = m_tree.viewport()->grab().toImage();
    const QImage badge(":/server_tree/badge_recommended.bmp");
    ASSERT_EQ(badge.size(), QSize(31, 16));
    const QRect label = m_tree.LabelRect(recommended);
    const QPoint origin(label.left() + label.width() + 5, label.top());
    for (int y = 0; y < std::min(label.height(), badge.height()); ++y) {
        for (int x = 0; x < badge.width(); ++x) {
            ASSERT_EQ(pixelAt(shown, origin.x() + x, origin.y() + y), QColor(badge.pixel(x, y)))
                << x << "," << y;
        }
    }
    const QRect plainLabel = m_tree.LabelRect(plain);
    EXPECT_EQ(pixelAt(shown, plainLabel.left() + plainLabel.width() + 20, plainLabel.top() + 5),
              kBlack);
}

TEST_F(ServerTreeTest, SelectedServerComesFromTheRowAndTheUnseededRandomNumbers) {
    const ServerGroup groupA =
        Group("A", "A1",
              {Server(1, true, 3), Server(2, false, 1), Server(3, true, 0), Server(4, true, 2)});
    Add(Game("A", 1), groupA);
    const QTreeWidgetItem* groupRow = m_tree.topLevelItem(0);

    const GameRecord* game = nullptr;
    const ServerGroup* group = nullptr;
    const ServerEntry* server = nullptr;
    const Endpoint* endpoint = nullptr;
    EXPECT_EQ(m_tree.GetSelectedServer(game, group, server, endpoint), 0) << "nothing selected";

    Click(groupRow);
    ASSERT_EQ(m_tree.SelectedRow(), groupRow);
    // The picks are rand() modulo the counts, disabled servers included.
    std::srand(7);
    const int serverDraw = std::rand() % 4;
    const int endpointDraw = std::rand();
    std::srand(7);
    ASSERT_EQ(m_tree.GetSelectedServer(game, group, server, endpoint), 1);
    EXPECT_EQ(game->name, "A");
    EXPECT_EQ(*group, groupA);
    EXPECT_EQ(*server, groupA.servers[serverDraw]);
    if (server->endpoints.empty()) {
        EXPECT_EQ(endpoint, nullptr);
    } else {
        EXPECT_EQ(*endpoint, server->endpoints[endpointDraw % server->endpoints.size()]);
    }

    std::set<int> drawn;
    for (int i = 0; i < 200; ++i) {
        game = nullptr, group = nullptr, server = nullptr, endpoint = nullptr;
        ASSERT_EQ(m_tree.GetSelectedServer(game, group, server, endpoint), 1);
        drawn.insert(static_cast<int>(server - group->servers.data()));
    }
    EXPECT_EQ(drawn, (std::set<int>{0, 1, 2, 3}));

    // Out-values not null.
    EXPECT_EQ(m_tree.GetSelectedServer(game, group, server, endpoint), 0);
    EXPECT_EQ(m_messages.texts(),
              (std::vector<std::string>{"Parameters are not initialized (must be NULL)"}));

    // A server row: its server, the parent's group, one of its endpoints or none.
    Click(groupRow->child(2));
    game = nullptr, group = nullptr, server = nullptr, endpoint = nullptr;
    ASSERT_EQ(m_tree.GetSelectedServer(game, group, server, endpoint), 1);
    EXPECT_EQ(*server, groupA.servers[3]);
    EXPECT_EQ(*group, groupA);
    ASSERT_NE(endpoint, nullptr);
    EXPECT_TRUE(*endpoint == server->endpoints[0] || *endpoint == server->endpoints[1]);

    Click(groupRow->child(1));
    game = nullptr, group = nullptr, server = nullptr, endpoint = nullptr;
    ASSERT_EQ(m_tree.GetSelectedServer(game, group, server, endpoint), 1);
    EXPECT_EQ(*server, groupA.servers[2]);
    EXPECT_EQ(endpoint, nullptr);
}

TEST_F(ServerTreeTest, ClicksSignalAndHitTestsTellLabelFromBeside) {
    Add(Game("A", 1), Group("A", "Group", {Server(1), Server(2)}));
    const QTreeWidgetItem* first = m_tree.topLevelItem(0)->child(0);
    const QTreeWidgetItem* second = m_tree.topLevelItem(0)->child(1);
    m_other.setFocus();
    QSignalSpy focus(&m_tree, &CServerTree::focusGained);
    QSignalSpy changed(&m_tree, &CServerTree::selChanged);

    Click(first);
    EXPECT_EQ(focus.count(), 1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(m_tree.SelectedRow(), first);
    const QRect label = m_tree.LabelRect(first);
    const auto onLabel = m_tree.HitTest(m_tree.viewport()->mapToGlobal(label.center()));
    EXPECT_EQ(onLabel.row, first);
    EXPECT_EQ(onLabel.item, m_tree.ItemData(first));
    EXPECT_TRUE(onLabel.onItem);

    // Beside the label: the row is there, but the press neither selects it nor counts as on it.
    const QPoint beside(label.left() + label.width() + 40, m_tree.LabelRect(second).center().y());
    const auto besideHit = m_tree.HitTest(m_tree.viewport()->mapToGlobal(beside));
    EXPECT_EQ(besideHit.row, second);
    EXPECT_FALSE(besideHit.onItem);
    QTest::mouseClick(m_tree.viewport(), Qt::LeftButton, {}, beside);
    EXPECT_EQ(m_tree.SelectedRow(), first);
    EXPECT_EQ(changed.count(), 1);

    m_tree.SelectRow(nullptr);
    EXPECT_EQ(m_tree.SelectedRow(), nullptr);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(m_tree.HitTest(m_tree.viewport()->mapToGlobal(QPoint(5, 390))).row, nullptr);
}

// Rows keep the records they show alive after the directory has moved on to new lists.
TEST_F(ServerTreeTest, RowsOutliveTheirListsAndRemoveAllServersEmptiesTheTree) {
    auto lists = std::make_shared<protocol::ServerLists>();
    lists->game_list = {Game("A", 1)};
    lists->group_list = {Group("A", "A1", {Server(1), Server(2)})};
    std::shared_ptr<const protocol::ServerLists> snapshot = lists;
    m_tree.AddServerGroup(snapshot, snapshot->game_list[0], snapshot->group_list[0]);
    const std::weak_ptr<const protocol::ServerLists> watch = snapshot;
    lists.reset();
    snapshot.reset();
    EXPECT_FALSE(watch.expired());

    Click(m_tree.topLevelItem(0)->child(1));
    const GameRecord* game = nullptr;
    const ServerGroup* group = nullptr;
    const ServerEntry* server = nullptr;
    const Endpoint* endpoint = nullptr;
    ASSERT_EQ(m_tree.GetSelectedServer(game, group, server, endpoint), 1);
    EXPECT_EQ(game->update_url, "http://127.0.0.1/A");
    EXPECT_EQ(server->load, 2);

    m_tree.RemoveAllServers();
    EXPECT_EQ(m_tree.topLevelItemCount(), 0);
    EXPECT_EQ(m_tree.ItemCount(), 0u);
    EXPECT_EQ(m_tree.SelectedRow(), nullptr);
    EXPECT_TRUE(watch.expired());
    game = nullptr, group = nullptr, server = nullptr, endpoint = nullptr;
    EXPECT_EQ(m_tree.GetSelectedServer(game, group, server, endpoint), 0);

    Add(Game("E", 0), Group("E", "E1", {Server(1)}));
    EXPECT_EQ(m_tree.topLevelItemCount(), 1);
    EXPECT_FALSE(m_tree.ItemColor(m_tree.topLevelItem(0)).has_value());
}

// The language file's format is used only for its first integer conversion.
TEST_F(ServerTreeTest, ServerNumbersFollowTheFormatWithoutTrustingIt) {
    writeFile(m_dir / "Launcher.chs", "[Term]\r\nServerSet=%s %03d %d %% %n\r\n");
    Add(Game("A", 1), Group("A", "A1", {Server(1, false), Server(2)}));
    EXPECT_EQ(ChildLabels(m_tree.topLevelItem(0)), (QStringList{"%s 002 %d % %n"}));

    writeFile(m_dir / "Launcher.chs", "[Term]\r\nServerSet=%9999d|%.5000d|%-4d|%\r\n");
    Add(Game("A", 1), Group("A", "A3", {Server(1)}));
    EXPECT_EQ(ChildLabels(m_tree.topLevelItem(1)), (QStringList{"%9999d|%.5000d|1   |%"}));

    writeFile(m_dir / "Launcher.chs", "[Term]\r\n");
    Add(Game("A", 1), Group("A", "A2", {Server(1)}));
    EXPECT_EQ(ChildLabels(m_tree.topLevelItem(2)), (QStringList{"[?Term.ServerSet?]"}));
}

}  // namespace
