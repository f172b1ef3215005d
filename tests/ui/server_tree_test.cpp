// The server tree shown on Qt's offscreen platform: rows, colours, load bars and badge as
// painted, selection by mouse and the random pick of a server.
#include "ui/server_tree.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QCursor>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "config/text_table.h"
#include "support/message_box_recorder.h"
#include "ui_test_support.h"

namespace {

using protocol::Endpoint;
using protocol::GameRecord;
using protocol::ServerEntry;
using protocol::ServerGroup;
using quend::test::writeFile;
using Texts = std::vector<std::string>;

GameRecord Game(const std::string& name, int state, bool notReady = false) {
    return GameRecord{name, name, 0, 0, state, "http://127.0.0.1/" + name, "", notReady};
}

ServerEntry Server(int load, bool enabled = true, uint32_t endpoints = 2) {
    ServerEntry server{{}, enabled, load};
    for (uint32_t i = 0; i < endpoints; ++i)
        server.endpoints.push_back(Endpoint{0x7F000001u + i, static_cast<uint16_t>(7000 + i)});
    return server;
}

ServerGroup Group(const std::string& game, const std::string& label,
                  std::vector<ServerEntry> servers) {
    return ServerGroup{game, "", label, std::move(servers)};
}

// A shown tree in the dialog's colours beside another control, "ServerSet" as GBK text.
class ServerTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUEND_CODEPAGE", "GBK", 1);
        writeFile(m_dir / "Launcher.chs", "[Term]\r\nServerSet=\xB7\xFE%d\r\n");  // 服%d
        SetTextFile(m_dir.dir() + "Launcher.chs");
        m_tree.SetBkColor(Qt::black);
        m_tree.SetTextColor(Qt::white);
        m_tree.setParent(&m_window);
        m_tree.setGeometry(0, 0, 260, 400);
        m_other.setParent(&m_window);
        m_other.setGeometry(0, 410, 100, 20);
        m_window.resize(300, 440);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    void Add(const GameRecord& game, const ServerGroup& group) {
        m_tree.AddServerGroup(std::make_shared<const GameRecord>(game),
                              std::make_shared<const ServerGroup>(group));
    }

    // "label [bars] colour [bold] [open]", then " | " and the same for each child.
    std::string Describe(const QTreeWidgetItem* row) const {
        const ui::FServerItem* item = m_tree.ItemData(row);
        const auto colour = m_tree.ItemColor(row);
        std::string text = row->text(0).toStdString();
        if (item->kind == ui::FServerItem::kServer)
            text += " " + Bars(row);
        text += " " + (colour ? colour->color.name().toStdString() : "-");
        text +=
            std::string(m_tree.IsItemBold(row) ? " bold" : "") + (row->isExpanded() ? " open" : "");
        for (int i = 0; i < row->childCount(); ++i)
            text += " | " + Describe(row->child(i));
        return text;
    }

    // The load bars painted right of a server row's label, a letter each: g(reen), y(ellow),
    // r(ed); "-" for none.
    std::string Bars(const QTreeWidgetItem* row) const {
        const QImage shown = m_tree.viewport()->grab().toImage();
        const QRect label = m_tree.LabelRect(row);
        const std::map<QRgb, char> letters = {
            {qRgb(0, 222, 11), 'g'}, {qRgb(241, 255, 18), 'y'}, {qRgb(232, 9, 19), 'r'}};
        std::string bars;
        for (int x = label.left() + label.width(), y = label.top() + 6; x + 1 < shown.width();
             ++x) {
            const auto bar = letters.find(shown.pixel(x + 1, y));
            if (bar != letters.end() && shown.pixel(x, y) != bar->first)
                bars += bar->second;
        }
        return bars.empty() ? "-" : bars;
    }

    // Moves the mouse there first, so that QCursor::pos() follows as with a real mouse.
    void Click(const QTreeWidgetItem* row) {
        const QPoint at = m_tree.LabelRect(row).center();
        QTest::mouseMove(m_tree.viewport(), at);
        QTest::mouseClick(m_tree.viewport(), Qt::LeftButton, {}, at);
    }

    // The selected row's records into the members below, which must be null before the call.
    int Select() {
        m_game = nullptr, m_group = nullptr, m_server = nullptr, m_endpoint = nullptr;
        return m_tree.GetSelectedServer(m_game, m_group, m_server, m_endpoint);
    }

    quend::test::TempDir m_dir;
    quend::test::MessageBoxRecorder m_messages;
    QWidget m_window;  // before the controls, so that it goes after them
    ui::CServerTree m_tree;
    QLineEdit m_other;
    const GameRecord* m_game = nullptr;
    const ServerGroup* m_group = nullptr;
    const ServerEntry* m_server = nullptr;
    const Endpoint* m_endpoint = nullptr;
};

TEST_F(ServerTreeTest, FilledTreeShowsColoursWeightsNumbersLevelsAndBadge) {
    Add(Game("A", 1), Group("A", "A1", {Server(10), Server(20, false), Server(10), Server(50)}));
    Add(Game("B", 2), Group("B", "B1", {Server(40), Server(30), Server(20), Server(10)}));
    Add(Game("C", 3), Group("C", "C1", {Server(1), Server(2), Server(3), Server(4), Server(5)}));
    Add(Game("D", 1, true), Group("D", "D1", {Server(1), Server(2)}));
    Add(Game("E", 0), Group("E", "E1", {Server(5), Server(9), Server(5), Server(1)}));
    Add(Game("A", 1), Group("B", "belongs to B", {Server(1)}));
    Add(Game("F", 1), Group("F", "\xCD\xC6\xBC\xF6", {Server(7), Server(7)}));  // 推荐
    EXPECT_EQ(m_messages.texts(), Texts{"推荐"});

    const auto row = [&](int i) { return m_tree.topLevelItem(i); };
    Texts rows;
    for (int i = 0; i < m_tree.topLevelItemCount(); ++i)
        rows.push_back(Describe(row(i)));
    ASSERT_EQ(
        rows,
        (Texts{"A1 #ffffff bold open | 服1 gg #ffffff | 服3 gg #ffffff | 服4 yyy #ffffff",
               "B1 #80ffff bold open | 服1 rrrr #ffffff | 服2 yyy #ffffff | "
               "服3 gg #ffffff | 服4 g #ffffff",
               "C1 #808080 open | 服1 - #808080 | 服2 - #808080 | 服3 - #808080 | "
               "服4 - #808080 | 服5 - #808080",
               "D1 #ff8080 bold",
               "E1 - open | 服1 gg #ffffff | 服2 yyy #ffffff | 服3 gg #ffffff | 服4 g #ffffff",
               "推荐 #ffffff bold open | 服1 gg #ffffff | 服2 gg #ffffff"}));

    // The badge as shipped.
    const QImage badge(":/server_tree/badge_recommended.bmp");
    ASSERT_EQ(badge.size(), QSize(31, 16));
    const QRect label = m_tree.LabelRect(row(5));
    const QRect box(0, 0, 31, std::min(label.height(), 16));
    const QImage shown = m_tree.viewport()->grab().toImage().copy(
        box.translated(label.left() + label.width() + 5, label.top()));
    EXPECT_TRUE(shown.convertToFormat(QImage::Format_RGB32) ==
                badge.copy(box).convertToFormat(QImage::Format_RGB32));
}

TEST_F(ServerTreeTest, ClickedRowGivesItsServerByTheUnseededRandomNumbers) {
    const ServerGroup groupA =
        Group("A", "A1", {Server(1, true, 3), Server(2, false, 1), Server(3, true, 0), Server(4)});
    Add(Game("A", 1), groupA);
    const QTreeWidgetItem* groupRow = m_tree.topLevelItem(0);
    EXPECT_EQ(Select(), 0) << "nothing selected";

    // When the focus arrives the press has not selected yet: the mouse position tells the row.
    m_other.setFocus();
    const ui::FServerItem* focusedOn = nullptr;
    const QObject scope;  // ends the connection with the test
    QObject::connect(&m_tree, &ui::CServerTree::focusGained, &scope, [&] {
        EXPECT_EQ(m_tree.SelectedRow(), nullptr);
        focusedOn = m_tree.HitTest(QCursor::pos()).item;
    });
    QSignalSpy changed(&m_tree, &ui::CServerTree::selChanged);
    Click(groupRow);
    EXPECT_EQ(focusedOn, m_tree.ItemData(groupRow));
    // The picks are rand() modulo the counts, disabled servers included.
    std::srand(7);
    const int serverDraw = std::rand() % 4;
    const int endpointDraw = std::rand();
    std::srand(7);
    ASSERT_EQ(Select(), 1);
    EXPECT_EQ(m_game->name, "A");
    EXPECT_EQ(*m_group, groupA);
    EXPECT_EQ(*m_server, groupA.servers[serverDraw]);
    EXPECT_EQ(m_endpoint, m_server->endpoints.empty()
                              ? nullptr
                              : &m_server->endpoints[endpointDraw % m_server->endpoints.size()]);
    std::set<long> drawn;
    for (int i = 0; i < 100 && Select() == 1; ++i)
        drawn.insert(m_server - m_group->servers.data());
    EXPECT_EQ(drawn, (std::set<long>{0, 1, 2, 3}));
    EXPECT_EQ(m_tree.GetSelectedServer(m_game, m_group, m_server, m_endpoint), 0);
    EXPECT_EQ(m_messages.texts(), Texts{"Parameters are not initialized (must be NULL)"});

    // A server row gives its server, the parent's group and one of its endpoints, or none.
    Click(groupRow->child(2));
    ASSERT_EQ(Select(), 1);
    EXPECT_EQ(*m_server, groupA.servers[3]);
    EXPECT_EQ(*m_group, groupA);
    EXPECT_TRUE(m_endpoint == &m_server->endpoints[0] || m_endpoint == &m_server->endpoints[1]);
    Click(groupRow->child(1));
    ASSERT_EQ(Select(), 1);
    EXPECT_EQ(*m_server, groupA.servers[2]);
    EXPECT_EQ(m_endpoint, nullptr);

    // Hit tests: on the label, beside it (a press there selects nothing), below the rows.
    const QRect label = m_tree.LabelRect(groupRow->child(0));
    const auto hit = [&](QPoint at) { return m_tree.HitTest(m_tree.viewport()->mapToGlobal(at)); };
    EXPECT_EQ(hit(label.center()).item, m_tree.ItemData(groupRow->child(0)));
    EXPECT_TRUE(hit(label.center()).onItem);
    const QPoint beside = label.center() + QPoint(label.width() + 40, 0);
    EXPECT_EQ(hit(beside).row, groupRow->child(0));
    EXPECT_FALSE(hit(beside).onItem);
    QTest::mouseClick(m_tree.viewport(), Qt::LeftButton, {}, beside);
    EXPECT_EQ(m_tree.SelectedRow(), groupRow->child(1));
    EXPECT_EQ(hit(QPoint(5, 390)).row, nullptr);
    m_tree.SelectRow(nullptr);
    EXPECT_EQ(m_tree.SelectedRow(), nullptr);
    EXPECT_EQ(changed.count(), 4);
}

// Rows keep the snapshot they show alive; RemoveAllServers lets it go with the rows.
TEST_F(ServerTreeTest, RowsOutliveTheirListsUntilRemoved) {
    auto lists = std::make_shared<protocol::ServerLists>();
    lists->game_list = {Game("A", 1)};
    lists->group_list = {Group("A", "A1", {Server(1), Server(2)})};
    m_tree.AddServerGroup(lists, lists->game_list[0], lists->group_list[0]);
    const std::weak_ptr<protocol::ServerLists> watch = lists;
    lists.reset();
    Click(m_tree.topLevelItem(0)->child(1));
    ASSERT_EQ(Select(), 1);
    EXPECT_EQ(m_game->update_url, "http://127.0.0.1/A");
    EXPECT_EQ(m_server->load, 2);

    m_tree.RemoveAllServers();
    EXPECT_TRUE(watch.expired());
    ASSERT_EQ(m_tree.topLevelItemCount(), 0);
    Add(Game("E", 0), Group("E", "E1", {}));
    EXPECT_EQ(Describe(m_tree.topLevelItem(0)), "E1 - open");
}

// The language file's format lends only its first int conversion, of bounded width.
TEST_F(ServerTreeTest, ServerNumbersFollowTheFormatWithoutTrustingIt) {
    const auto label = [&](const std::string& format) {
        writeFile(m_dir / "Launcher.chs", "[Term]\r\n" + format + "\r\n");
        m_tree.RemoveAllServers();
        Add(Game("A", 1), Group("A", "A1", {Server(1, false), Server(2)}));
        return m_tree.topLevelItem(0)->child(0)->text(0).toStdString();
    };
    EXPECT_EQ(label("ServerSet=%s %03d %d %% %n"), "%s 002 %d % %n");
    EXPECT_EQ(label("ServerSet=%9999d|%.5000d|%-4lx|%"), "%9999d|%.5000d|2   |%");
    EXPECT_EQ(label(""), "[?Term.ServerSet?]");
}

}  // namespace
