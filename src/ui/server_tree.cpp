#include "ui/server_tree.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "config/text_table.h"
#include "platform/codepage.h"
#include "platform/message_box.h"

// Resources compiled into a static library are registered by hand, outside any namespace.
static void InitServerTreeResources() {
    Q_INIT_RESOURCE(server_tree);
}

namespace ui {
namespace {

using protocol::Endpoint;
using protocol::GameRecord;
using protocol::ServerEntry;
using protocol::ServerGroup;

// The server's own install states, told apart by colour; 3 is also set for games that
// Launcher.ini does not list.
constexpr int kStateWhite = 1;
constexpr int kStateCyan = 2;
constexpr int kStateNotInstalled = protocol::kNotInstalled;

const QColor kNotReadyColor(255, 128, 128);
const QColor kGreyColor(128, 128, 128);
const QColor kWhiteColor(255, 255, 255);
const QColor kCyanColor(128, 255, 255);

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
        while (in(set)) {
            text += format[j++];
        }
        return j - start;
    };
    take("-+ #0");
    bool bounded = take("0123456789") <= 3;
    if (in(".")) {
        text += format[j++];
        bounded = take("0123456789") <= 3 && bounded;
    }
    while (in("hlLqjzt")) {
        ++j;  // the number is an int whatever the length modifier says
    }
    if (!bounded || !in("diouxX")) {
        return std::nullopt;
    }
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
        if (server.enabled != 0) {
            loads.push_back(server.load);
        }
    }
    std::sort(loads.begin(), loads.end());
    loads.erase(std::unique(loads.begin(), loads.end()), loads.end());
    return loads;
}

// Bars for a load: the lowest loads get the fewest bars; five or more distinct loads get none.
int32_t LoadLevel(int32_t load, const std::vector<int32_t>& ranks) {
    const std::size_t n = ranks.size();
    if (n == 0 || n >= 5) {
        return 0;
    }
    if (n == 1) {
        return 2;
    }
    const auto rank = static_cast<std::size_t>(std::lower_bound(ranks.begin(), ranks.end(), load) -
                                               ranks.begin());
    if (n == 2) {
        return rank == 0 ? 2 : 3;
    }
    // Three loads give 1, 2, 3 bars; four give 1 to 4.
    return static_cast<int32_t>(std::min(rank, n - 1)) + 1;
}

QString ScreenText(const std::string& ansi) {
    return QString::fromStdString(platform::AnsiToUtf8(ansi));
}

template <typename T>
const T* PickRandom(const std::vector<T>& list) {
    if (list.empty()) {
        return nullptr;
    }
    return &list[static_cast<std::size_t>(std::rand()) % list.size()];
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
    // The tree items go first, so that nothing they signal can reach a freed item.
    clear();
}

int CServerTree::GetSelectedServer(const GameRecord*& game, const ServerGroup*& group,
                                   const ServerEntry*& server, const Endpoint*& endpoint) const {
    if (game != nullptr || group != nullptr || server != nullptr || endpoint != nullptr) {
        platform::ShowMessage("Parameters are not initialized (must be NULL)");
        return 0;
    }
    const QTreeWidgetItem* row = SelectedRow();
    const FServerItem* item = row != nullptr ? ItemData(row) : nullptr;
    if (item == nullptr) {
        return 0;
    }
    if (item->kind == FServerItem::kGroup) {
        game = item->game.get();
        group = item->Group();
        server = group != nullptr ? PickRandom(group->servers) : nullptr;
        endpoint = server != nullptr ? PickRandom(server->endpoints) : nullptr;
        return 1;
    }
    if (item->kind == FServerItem::kServer) {
        game = item->game.get();
        server = item->Server();
        const FServerItem* parent = row->parent() != nullptr ? ItemData(row->parent()) : nullptr;
        group = parent != nullptr ? parent->Group() : nullptr;
        endpoint = server != nullptr ? PickRandom(server->endpoints) : nullptr;
        return 1;
    }
    return 0;
}

void CServerTree::RemoveAllServers() {
    // Tree items first: clearing may signal a selection change, whose handler reads items.
    clear();
    m_items.clear();
    // Stale entries would colour new rows that happen to reuse a freed item's address.
    m_colors.clear();
}

void CServerTree::AddServerGroup(const std::shared_ptr<const protocol::ServerLists>& lists,
                                 const GameRecord& game, const ServerGroup& group) {
    AddServerGroup(std::shared_ptr<const GameRecord>(lists, &game),
                   std::shared_ptr<const ServerGroup>(lists, &group));
}

void CServerTree::AddServerGroup(std::shared_ptr<const GameRecord> game,
                                 std::shared_ptr<const ServerGroup> group) {
    if (game == nullptr || group == nullptr || group->game_name != game->name) {
        return;
    }
    auto item = std::make_unique<FServerItem>();
    item->kind = FServerItem::kGroup;
    item->label = group->label;
    item->game = game;
    item->data = group;
    item->recommended = platform::AnsiToUtf8(group->label) == "推荐";
    if (item->recommended) {
        platform::ShowMessage(platform::AnsiToUtf8(group->label));
    }
    QTreeWidgetItem* row = AddRow(nullptr, std::move(item));
    ColourGroupRow(row, *game);
    if (game->version_not_ready != 0) {
        return;
    }
    AddServerRows(row, game, group);
    row->setExpanded(true);
}

QTreeWidgetItem* CServerTree::AddRow(QTreeWidgetItem* parent, std::unique_ptr<FServerItem> item) {
    auto* row = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    const QString text = ScreenText(item->label);
    row->setText(0, text);
    row->setToolTip(0, text);
    // Tall enough for the badge, whose height is the row icon's.
    const int height = std::max(Bitmaps().iconBox.height(), QFontMetrics(font()).height() + 2);
    row->setSizeHint(0, QSize(0, height));
    row->setData(0, kItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(item.get())));
    m_items.push_back(std::move(item));
    return row;
}

void CServerTree::ColourGroupRow(QTreeWidgetItem* row, const GameRecord& game) {
    if (game.version_not_ready != 0) {
        SetItemColor(row, kNotReadyColor);
        SetItemBold(row, true);
    } else if (game.install_state == kStateNotInstalled) {
        SetItemColor(row, kGreyColor);
        SetItemBold(row, false);
    } else if (game.install_state == kStateWhite) {
        SetItemColor(row, kWhiteColor);
        SetItemBold(row, true);
    } else if (game.install_state == kStateCyan) {
        SetItemColor(row, kCyanColor);
        SetItemBold(row, true);
    } else {
        SetItemBold(row, false);
    }
}

void CServerTree::AddServerRows(QTreeWidgetItem* groupRow,
                                const std::shared_ptr<const GameRecord>& game,
                                const std::shared_ptr<const ServerGroup>& group) {
    const std::vector<int32_t> ranks = LoadRanks(*group);
    const std::string format = GetText("Term", "ServerSet");
    for (std::size_t i = 0; i < group->servers.size(); ++i) {
        const ServerEntry& server = group->servers[i];
        if (server.enabled == 0) {
            continue;  // its number stays unused
        }
        auto item = std::make_unique<FServerItem>();
        item->kind = FServerItem::kServer;
        item->label = FormatServerSet(format, static_cast<int>(i + 1));
        item->game = game;
        item->data = std::shared_ptr<const ServerEntry>(group, &server);
        item->level = LoadLevel(server.load, ranks);
        QTreeWidgetItem* row = AddRow(groupRow, std::move(item));
        SetItemColor(row, game->install_state == kStateNotInstalled ? kGreyColor : kWhiteColor);
        SetItemBold(row, false);
    }
}

void CServerTree::SetItemColor(QTreeWidgetItem* row, const QColor& color) {
    m_colors[row].color = color;
}

void CServerTree::SetItemBold(QTreeWidgetItem* row, bool bold) {
    QFont font = this->font();
    font.setBold(bold);
    row->setFont(0, font);
}

bool CServerTree::IsItemBold(const QTreeWidgetItem* row) const {
    return row->data(0, Qt::FontRole).isValid() && row->font(0).bold();
}

std::optional<CServerTree::FColorFont> CServerTree::ItemColor(const QTreeWidgetItem* row) const {
    const auto found = m_colors.find(row);
    if (found == m_colors.end()) {
        return std::nullopt;
    }
    return found->second;
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

FServerItem* CServerTree::ItemData(const QTreeWidgetItem* row) const {
    if (row == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<FServerItem*>(row->data(0, kItemRole).value<quintptr>());
}

QTreeWidgetItem* CServerTree::SelectedRow() const {
    const QList<QTreeWidgetItem*> rows = selectedItems();
    return rows.isEmpty() ? nullptr : rows.front();
}

void CServerTree::SelectRow(QTreeWidgetItem* row) {
    if (row == nullptr) {
        clearSelection();
        setCurrentItem(nullptr);
        return;
    }
    setCurrentItem(row);
}

CServerTree::FHitTest CServerTree::HitTest(const QPoint& globalPos) const {
    const QPoint at = viewport()->mapFromGlobal(globalPos);
    FHitTest hit;
    if (!viewport()->rect().contains(at)) {
        return hit;
    }
    hit.row = itemAt(at);
    hit.item = ItemData(hit.row);
    hit.onItem = hit.row != nullptr && LabelRect(hit.row).contains(at);
    return hit;
}

QRect CServerTree::LabelRect(const QTreeWidgetItem* row) const {
    const QRect cell = visualItemRect(row);
    if (cell.isEmpty()) {
        return {};
    }
    const int width = QFontMetrics(RowFont(row)).horizontalAdvance(row->text(0)) + kLabelPadding;
    return QRect(cell.left(), cell.top(), width, cell.height());
}

QFont CServerTree::RowFont(const QTreeWidgetItem* row) const {
    QFont font = this->font();
    const auto colour = ItemColor(row);
    if (colour && !colour->font.isEmpty()) {
        font.setFamily(colour->font);
    }
    font.setBold(IsItemBold(row));
    return font;
}

void CServerTree::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    emit focusGained();
}

// As in a classic tree control, a press beside a row's label does not select the row.
void CServerTree::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const QTreeWidgetItem* row = itemAt(at);
    if (row != nullptr && at.x() >= LabelRect(row).left() && !LabelRect(row).contains(at)) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

// The view draws the row first; rows with a colour entry get their text drawn again in that
// colour (except the selected row while the tree has the focus), then badge and bars follow.
void CServerTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    QTreeWidget::drawRow(painter, option, index);
    const QTreeWidgetItem* row = itemFromIndex(index);
    const FServerItem* item = ItemData(row);
    if (row == nullptr) {
        return;
    }
    const QRect label = LabelRect(row);
    const auto colour = ItemColor(row);
    const bool focusedSelection = row->isSelected() && hasFocus();
    if (colour && !focusedSelection) {
        const QRect cell = visualItemRect(row);
        painter->save();
        painter->fillRect(QRect(label.topLeft(), cell.bottomRight()), BkColor());
        painter->setFont(RowFont(row));
        painter->setPen(colour->color.isValid() ? colour->color
                                                : QApplication::palette().color(QPalette::Text));
        const QRect text = label.adjusted(kTextOffset.x(), kTextOffset.y(), 0, 0);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, row->text(0));
        painter->restore();
    }
    if (item != nullptr) {
        DrawMarks(painter, *item, label);
    }
}

void CServerTree::DrawMarks(QPainter* painter, const FServerItem& item, const QRect& label) const {
    const TreeBitmaps& bitmaps = Bitmaps();
    const int left = label.left() + label.width() + kMarkGap;
    if (item.kind == FServerItem::kGroup && item.recommended) {
        const QSize box(bitmaps.iconBox.width() + 30, bitmaps.iconBox.height());
        const QRect source(QPoint(0, 0), box.boundedTo(bitmaps.badge.size()));
        painter->drawImage(QPoint(left, label.top()), bitmaps.badge, source);
        return;
    }
    if (item.kind != FServerItem::kServer || item.level < 1 || item.level > 4) {
        return;
    }
    const QImage& bar = item.level <= 2   ? bitmaps.green
                        : item.level == 3 ? bitmaps.yellow
                                          : bitmaps.red;
    const QRect source(0, 0, bitmaps.red.width(), bitmaps.red.height() - 1);
    for (int i = 0; i < item.level; ++i) {
        painter->drawImage(QPoint(left + i * kBarPitch, label.top() + 2), bar, source);
    }
}

}  // namespace ui
