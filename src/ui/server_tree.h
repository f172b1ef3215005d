#pragma once
// The tree of game servers on the screen: shows the rows of a frontend::CServerTreeModel, their
// colours, weights, the recommended badge and the load bars, and tells where the mouse is over a
// row. A press beside a row's label selects nothing, as in a classic tree control. GUI thread
// only.

#include <vector>

#include <QColor>
#include <QTreeWidget>

#include "frontend/server_item.h"
#include "frontend/server_tree_model.h"

namespace ui {

class CServerTree final : public QTreeWidget {
    Q_OBJECT

public:
    // What lies under a point: the row, and whether the point is on the row's icon or label (a
    // press there selects the row; one beside the label does not).
    struct FHitTest {
        frontend::RowId row = frontend::kNoRow;
        bool onItem = false;
    };

    explicit CServerTree(QWidget* parent = nullptr);
    ~CServerTree() override;

    // Shows a copy of the model's rows, replacing what was shown, with nothing selected. No
    // selection change is signalled while it fills.
    void Fill(const frontend::CServerTreeModel& model);

    // The tree's background and default text colours.
    void SetBkColor(const QColor& color);
    void SetTextColor(const QColor& color);
    QColor BkColor() const;

    // The tree item of a row, or null; the row shown by a tree item, or kNoRow.
    QTreeWidgetItem* Item(frontend::RowId row) const;
    frontend::RowId RowOf(const QTreeWidgetItem* item) const;
    bool IsItemBold(const QTreeWidgetItem* item) const;

    frontend::RowId SelectedRow() const;
    // Selects `row` alone; kNoRow selects nothing.
    void SelectRow(frontend::RowId row);
    // `globalPos` in screen coordinates, as the mouse position is taken.
    FHitTest HitTest(const QPoint& globalPos) const;
    // The rectangle of the item's text, in viewport coordinates; empty when not shown.
    QRect LabelRect(const QTreeWidgetItem* item) const;

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
    const frontend::FServerItem* Row(const QTreeWidgetItem* item) const;
    QFont RowFont(const QTreeWidgetItem* item) const;
    void DrawMarks(QPainter* painter, const frontend::FServerItem& row, const QRect& label) const;

    std::vector<frontend::FServerItem> m_rows;
    std::vector<QTreeWidgetItem*> m_items;  // by row; owned by the widget
};

}  // namespace ui
