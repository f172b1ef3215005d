#include "ui/server_tree.h"

#include <algorithm>

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>

// Resources compiled into a static library are registered by hand, outside any namespace.
static void InitServerTreeResources() {
    Q_INIT_RESOURCE(server_tree);
}

namespace ui {
namespace {

using frontend::FServerItem;
using frontend::kNoRow;
using frontend::RowId;

// Where the row's item is kept in its tree item.
constexpr int kItemRole = Qt::UserRole + 1;

// A label is this much wider than its text: 2 pixels on each side and one more.
constexpr int kLabelPadding = 5;
// The overdrawn text sits this far inside its label.
constexpr QPoint kTextOffset(2, 1);
// Badge and bars start this far right of the label.
constexpr int kMarkGap = 5;
// Left edges of neighbouring load bars are this far apart.
constexpr int kBarPitch = 4;

// The tree's bitmaps, loaded once per process. Images, not pixmaps: they may outlive the
// application object.
struct TreeBitmaps {
    QImage green;
    QImage red;
    QImage yellow;
    QImage badge;
    QImage iconBox;  // only its size is used
};

const TreeBitmaps& Bitmaps() {
    static const TreeBitmaps bitmaps = [] {
        InitServerTreeResources();
        return TreeBitmaps{
            QImage(":/server_tree/bar_green.bmp"), QImage(":/server_tree/bar_red.bmp"),
            QImage(":/server_tree/bar_yellow.bmp"), QImage(":/server_tree/badge_recommended.bmp"),
            QImage(":/server_tree/icon_box.bmp")};
    }();
    return bitmaps;
}

QColor ToQColor(const frontend::Rgb& colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

}  // namespace

CServerTree::CServerTree(QWidget* parent) : QTreeWidget(parent) {
    QFont font("Tahoma");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);  // a character cell 13 pixels high
    font.setWeight(QFont::Normal);
    setFont(font);
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CServerTree::selChanged);
}

CServerTree::~CServerTree() {
    // The tree items go first, so that nothing they signal can reach a freed row.
    blockSignals(true);
    clear();
}

void CServerTree::Fill(const frontend::CServerTreeModel& model) {
    const bool blocked = blockSignals(true);
    clear();
    m_items.clear();
    m_rows = model.Rows();
    // Tall enough for the badge, whose height is the row icon's.
    const int height = std::max(Bitmaps().iconBox.height(), QFontMetrics(font()).height() + 2);
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const FServerItem& row = m_rows[i];
        QTreeWidgetItem* parent = Item(row.parent);
        auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        const QString text = QString::fromStdString(row.Text());
        item->setText(0, text);
        // A tooltip renders markup: the server's label is text.
        item->setToolTip(0, Qt::convertFromPlainText(text));
        item->setSizeHint(0, QSize(0, height));
        item->setData(0, kItemRole, static_cast<int>(i));
        QFont rowFont = font();
        rowFont.setBold(row.bold);
        item->setFont(0, rowFont);
        m_items.push_back(item);
    }
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_items[i]->setExpanded(m_rows[i].expanded);
    blockSignals(blocked);
}

void CServerTree::SetBkColor(const QColor& color) {
    QPalette colours = palette();
    colours.setColor(QPalette::Base, color);
    setPalette(colours);
}

void CServerTree::SetTextColor(const QColor& color) {
    QPalette colours = palette();
    colours.setColor(QPalette::Text, color);
    setPalette(colours);
}

QColor CServerTree::BkColor() const {
    return palette().color(QPalette::Base);
}

QTreeWidgetItem* CServerTree::Item(RowId row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_items.size())
        return nullptr;
    return m_items[static_cast<std::size_t>(row)];
}

RowId CServerTree::RowOf(const QTreeWidgetItem* item) const {
    if (item == nullptr)
        return kNoRow;
    const QVariant row = item->data(0, kItemRole);
    return row.isValid() ? row.toInt() : kNoRow;
}

const FServerItem* CServerTree::Row(const QTreeWidgetItem* item) const {
    const RowId row = RowOf(item);
    return row == kNoRow ? nullptr : &m_rows[static_cast<std::size_t>(row)];
}

bool CServerTree::IsItemBold(const QTreeWidgetItem* item) const {
    return item->data(0, Qt::FontRole).isValid() && item->font(0).bold();
}

RowId CServerTree::SelectedRow() const {
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.isEmpty() ? kNoRow : RowOf(items.front());
}

void CServerTree::SelectRow(RowId row) {
    QTreeWidgetItem* item = Item(row);
    if (item == nullptr) {
        clearSelection();
        setCurrentItem(nullptr);
        return;
    }
    setCurrentItem(item);
}

CServerTree::FHitTest CServerTree::HitTest(const QPoint& globalPos) const {
    const QPoint at = viewport()->mapFromGlobal(globalPos);
    FHitTest hit;
    if (!viewport()->rect().contains(at))
        return hit;
    const QTreeWidgetItem* item = itemAt(at);
    hit.row = RowOf(item);
    hit.onItem = item != nullptr && LabelRect(item).contains(at);
    return hit;
}

QRect CServerTree::LabelRect(const QTreeWidgetItem* item) const {
    const QRect cell = visualItemRect(item);
    if (cell.isEmpty())
        return {};
    const int width = QFontMetrics(RowFont(item)).horizontalAdvance(item->text(0)) + kLabelPadding;
    return QRect(cell.left(), cell.top(), width, cell.height());
}

QFont CServerTree::RowFont(const QTreeWidgetItem* item) const {
    QFont rowFont = font();
    rowFont.setBold(IsItemBold(item));
    return rowFont;
}

void CServerTree::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    emit focusGained();
}

// As in a classic tree control, a press beside a row's label does not select the row.
void CServerTree::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const QTreeWidgetItem* item = itemAt(at);
    if (item != nullptr && at.x() >= LabelRect(item).left() && !LabelRect(item).contains(at)) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

// The view draws the row first; rows with a colour get their text drawn again in it (except the
// selected row while the tree has the focus), then badge and bars follow.
void CServerTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    QTreeWidget::drawRow(painter, option, index);
    const QTreeWidgetItem* item = itemFromIndex(index);
    const FServerItem* row = Row(item);
    if (row == nullptr)
        return;
    const QRect label = LabelRect(item);
    const bool focusedSelection = item->isSelected() && hasFocus();
    if (row->color && !focusedSelection) {
        const QRect cell = visualItemRect(item);
        painter->save();
        painter->fillRect(QRect(label.topLeft(), cell.bottomRight()), BkColor());
        painter->setFont(RowFont(item));
        painter->setPen(ToQColor(*row->color));
        const QRect text = label.adjusted(kTextOffset.x(), kTextOffset.y(), 0, 0);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, item->text(0));
        painter->restore();
    }
    DrawMarks(painter, *row, label);
}

void CServerTree::DrawMarks(QPainter* painter, const FServerItem& row, const QRect& label) const {
    const TreeBitmaps& bitmaps = Bitmaps();
    const int left = label.left() + label.width() + kMarkGap;
    if (row.kind == FServerItem::kGroup && row.recommended) {
        const QSize box(bitmaps.iconBox.width() + 30, bitmaps.iconBox.height());
        const QRect source(QPoint(0, 0), box.boundedTo(bitmaps.badge.size()));
        painter->drawImage(QPoint(left, label.top()), bitmaps.badge, source);
        return;
    }
    if (row.kind != FServerItem::kServer || row.level < 1 || row.level > 4)
        return;
    const QImage& bar = row.level <= 2   ? bitmaps.green
                        : row.level == 3 ? bitmaps.yellow
                                         : bitmaps.red;
    const QRect source(0, 0, bitmaps.red.width(), bitmaps.red.height() - 1);
    for (int i = 0; i < row.level; ++i)
        painter->drawImage(QPoint(left + i * kBarPitch, label.top() + 2), bar, source);
}

}  // namespace ui
