// The server tree widget offscreen: the model's rows as painted, and a fill's selection.
#include "ui/server_tree.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

#include "support/message_box_recorder.h"
#include "support/qt_support.h"
#include "support/server_rows.h"

namespace {

using frontend::kNoRow;
using protocol::GameRecord;
using protocol::ServerEntry;
using namespace quend::test;
using Texts = std::vector<std::string>;

// A shown tree in the dialog's colours beside another control, filled from a model.
class ServerTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseServerSet(m_dir, "S%d");
        m_tree.SetBkColor(Qt::black);
        m_tree.SetTextColor(Qt::white);
        QFont sharp = m_tree.font();  // glyphs in their colour alone, unblended
        sharp.setStyleStrategy(QFont::NoAntialias);
        m_tree.setFont(sharp);
        m_tree.setGeometry(0, 0, 260, 400);
        m_other.setGeometry(0, 410, 100, 20);
        m_window.resize(300, 440);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    void Fill(const std::vector<std::pair<GameRecord, std::vector<ServerEntry>>>& groups) {
        auto lists = std::make_shared<protocol::ServerLists>();
        for (const auto& [game, servers] : groups) {
            lists->game_list.push_back(game);
            lists->group_list.push_back(Group(game.name, game.name, servers));
        }
        for (std::size_t i = 0; i < groups.size(); ++i)
            m_model.AddServerGroup(lists, lists->game_list[i], lists->group_list[i]);
        m_tree.Fill(m_model);
    }

    // "text colour [bold] [open] [bars] [badge]" as painted: of the rows' colours the one most
    // pixels of the label have, bars a letter each (g(reen), y(ellow), r(ed)).
    std::string Painted(const QTreeWidgetItem* item) const {
        const QImage shown = m_tree.viewport()->grab().toImage();
        const QRect label = m_tree.LabelRect(item);
        std::map<QRgb, int> counts;
        for (const QRgb colour :
             {qRgb(255, 255, 255), qRgb(128, 255, 255), qRgb(128, 128, 128), qRgb(255, 128, 128)})
            counts[colour] = 0;
        for (int y = label.top(); y <= label.bottom(); ++y) {
            for (int x = label.left(); x <= label.right(); ++x) {
                if (const auto found = counts.find(shown.pixel(x, y)); found != counts.end())
                    ++found->second;
            }
        }
        const auto text = std::max_element(counts.begin(), counts.end(),
                                           [](auto& a, auto& b) { return a.second < b.second; });
        std::string painted = item->text(0).toStdString() + " " +
                              (text->second > 0 ? QColor(text->first).name().toStdString() : "-");
        painted += std::string(m_tree.IsItemBold(item) ? " bold" : "") +
                   (item->isExpanded() ? " open" : "");
        const std::map<QRgb, char> letters = {
            {qRgb(0, 222, 11), 'g'}, {qRgb(241, 255, 18), 'y'}, {qRgb(232, 9, 19), 'r'}};
        std::string bars;
        for (int x = label.right() + 1, y = label.top() + 6; x + 1 < shown.width(); ++x) {
            const auto bar = letters.find(shown.pixel(x + 1, y));
            if (bar != letters.end() && shown.pixel(x, y) != bar->first)
                bars += bar->second;
        }
        const QImage badge(":/server_tree/badge_recommended.bmp");
        const QRect box(0, 0, 31, std::min(label.height(), 16));
        const bool badged = shown.copy(box.translated(label.right() + 6, label.top()))
                                .convertToFormat(QImage::Format_RGB32) ==
                            badge.copy(box).convertToFormat(QImage::Format_RGB32);
        return painted + (bars.empty() ? "" : " " + bars) + (badged ? " badge" : "");
    }

    TempDir m_dir;
    MessageBoxRecorder m_messages;
    QWidget m_window;  // before the controls, so that it goes after them
    ui::CServerTree m_tree{&m_window};
    QLineEdit m_other{&m_window};
    frontend::CServerTreeModel m_model;
};

TEST_F(ServerTreeTest, RowsArePaintedAsTheirModelSays) {
    Fill({{Game("A", 1), {Server(10), Server(20), Server(30), Server(40)}},
          {Game("B", 2), {Server(5)}},
          {Game("C", 3), {Server(1)}},
          {Game("D", 1, true), {Server(1)}},
          {Game("\xCD\xC6\xBC\xF6", 1), {}}});  // 推荐
    Texts rows;
    for (int i = 0; i < m_tree.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* group = m_tree.topLevelItem(i);
        rows.push_back(Painted(group));
        for (int j = 0; j < group->childCount(); ++j)
            rows.push_back("  " + Painted(group->child(j)));
    }
    EXPECT_EQ(rows, (Texts{"A #ffffff bold open", "  S1 #ffffff g", "  S2 #ffffff gg",
                           "  S3 #ffffff yyy", "  S4 #ffffff rrrr", "B #80ffff bold open",
                           "  S1 #ffffff gg", "C #808080 open", "  S1 #808080 gg", "D #ff8080 bold",
                           "推荐 #ffffff bold open badge"}));
    EXPECT_EQ(m_messages.texts(), Texts{"推荐"});
}

// Where a press lands and what it selects is the main window's test (tests/ui/launcher_dlg_test).
TEST_F(ServerTreeTest, AFillShowsNoSelectionAndSaysNothingOfIt) {
    Fill({{Game("A", 1), {Server(1), Server(2)}}});
    m_tree.SelectRow(2);
    QSignalSpy changed(&m_tree, &ui::CServerTree::selChanged);
    m_tree.Fill(m_model);
    EXPECT_EQ(m_tree.SelectedRow(), kNoRow);
    EXPECT_EQ(changed.count(), 0);
}

// A group label from the launcher server shows in its tooltip as it came, markup and all.
TEST_F(ServerTreeTest, ALabelsTooltipIsItsText) {
    Fill({{Game("<img src=\"x.png\"><b>A&amp;B</b>", 1), {Server(1)}}});
    const QString tip = m_tree.topLevelItem(0)->toolTip(0);
    QTextDocument shown;  // what the tooltip shows
    if (Qt::mightBeRichText(tip))
        shown.setHtml(tip);
    else
        shown.setPlainText(tip);
    EXPECT_EQ(shown.toPlainText().trimmed().toStdString(), "<img src=\"x.png\"><b>A&amp;B</b>");
}

}  // namespace
