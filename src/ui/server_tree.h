#pragma once
// The tree of game servers: one top-level row per server group, one child row per enabled
// server, coloured by the state of their game, with a badge on recommended groups and one to
// four load bars on server rows. GUI thread only.

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QTreeWidget>

#include "protocol/server_directory.h"
#include "protocol/server_records.h"
#include "ui/server_item.h"

namespace ui {

class CServerTree final : public QTreeWidget {
    Q_OBJECT

public:
    // How a row's text is drawn when it is not the focused selection.
    struct FColorFont {
        QColor color;  // invalid: the system's window-text colour
        QString font;  // face name; empty: the tree's own font
    };

    // What lies under a point: the row, its item, and whether the point is on the row's icon or
    // label (a press there selects the row; one beside the label does not).
    struct FHitTest {
        QTreeWidgetItem* row = nullptr;
        FServerItem* item = nullptr;
        bool onItem = false;
    };

    explicit CServerTree(QWidget* parent = nullptr);
    ~CServerTree() override;

    // The game, group, server and address of the selected row; for a group row the server and
    // address, for a server row the address, are drawn with the unseeded rand(). All four must
    // be null on entry. 1 when a row was selected, else 0.
    int GetSelectedServer(const protocol::GameRecord*& game, const protocol::ServerGroup*& group,
                          const protocol::ServerEntry*& server,
                          const protocol::Endpoint*& endpoint) const;

    void RemoveAllServers();

    // Adds nothing when the group belongs to another game.
    void AddServerGroup(std::shared_ptr<const protocol::GameRecord> game,
                        std::shared_ptr<const protocol::ServerGroup> group);
    // `game` and `group` live in `lists`; the rows keep the snapshot alive.
    void AddServerGroup(const std::shared_ptr<const protocol::ServerLists>& lists,
                        const protocol::GameRecord& game, const protocol::ServerGroup& group);

    void SetItemColor(QTreeWidgetItem* row, const QColor& color);
    void SetItemBold(QTreeWidgetItem* row, bool bold);
    bool IsItemBold(const QTreeWidgetItem* row) const;
    std::optional<FColorFont> ItemColor(const QTreeWidgetItem* row) const;

    // The tree's background and default text colours.
    void SetBkColor(const QColor& color);
    void SetTextColor(const QColor& color);
    QColor BkColor() const;

    // The row's item, or null.
    FServerItem* ItemData(const QTreeWidgetItem* row) const;
    QTreeWidgetItem* SelectedRow() const;
    // Selects `row` alone; null selects nothing.
    void SelectRow(QTreeWidgetItem* row);
    // `globalPos` in screen coordinates, as the mouse position is taken.
    FHitTest HitTest(const QPoint& globalPos) const;
    // The rectangle of the row's text, in viewport coordinates; empty when not shown.
    QRect LabelRect(const QTreeWidgetItem* row) const;

    std::size_t ItemCount() const { return m_items.size(); }

signals:
    // The tree gained the keyboard focus.
    void focusGained();
    // The selected row changed, by mouse, keyboard or program.
    void selChanged();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    QTreeWidgetItem* AddRow(QTreeWidgetItem* parent, std::unique_ptr<FServerItem> item);
    void ColourGroupRow(QTreeWidgetItem* row, const protocol::GameRecord& game);
    void AddServerRows(QTreeWidgetItem* groupRow,
                       const std::shared_ptr<const protocol::GameRecord>& game,
                       const std::shared_ptr<const protocol::ServerGroup>& group);
    QFont RowFont(const QTreeWidgetItem* row) const;
    void DrawMarks(QPainter* painter, const FServerItem& item, const QRect& label) const;

    std::vector<std::unique_ptr<FServerItem>> m_items;
    std::map<const QTreeWidgetItem*, FColorFont> m_colors;
};

}  // namespace ui
