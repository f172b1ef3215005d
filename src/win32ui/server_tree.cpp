#include "win32ui/server_tree.h"

#include <algorithm>
#include <cstring>

#include "platform/utf16.h"
#include "win32ui/resource_ids.h"
#include "win32ui/skin_bitmap.h"

namespace win32ui {
namespace {

using frontend::FServerItem;
using frontend::kNoRow;
using frontend::RowId;

// Badge and bars start this far right of the label.
constexpr int kMarkGap = 5;
// Left edges of neighbouring load bars are this far apart.
constexpr int kBarPitch = 4;
// The hit-test flags of a point on a row's icon, label or state icon.
constexpr UINT kOnItem = TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON;

// The tree's bitmaps, loaded once per process.
struct TreeBitmaps {
    CGdiObject<HBITMAP> green;
    CGdiObject<HBITMAP> red;
    CGdiObject<HBITMAP> yellow;
    CGdiObject<HBITMAP> badge;
    SIZE iconBox;  // only its size is used
};

const TreeBitmaps& Bitmaps() {
    static const TreeBitmaps bitmaps{
        LoadBitmapResource(IDB_BAR_GREEN), LoadBitmapResource(IDB_BAR_RED),
        LoadBitmapResource(IDB_BAR_YELLOW), LoadBitmapResource(IDB_BADGE_RECOMMENDED),
        BitmapSize(LoadBitmapResource(IDB_ICON_BOX).get())};
    return bitmaps;
}

COLORREF ToColorRef(const frontend::Rgb& colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

}  // namespace

void CServerTree::Attach(HWND tree) {
    m_hWnd = tree;
    m_font.reset(::CreateFontW(13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                               0, 0, L"Tahoma"));
    if (m_font)
        ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), TRUE);
    // Tall enough for the badge, whose height is the row icon's.
    const int fontHeight = static_cast<int>(::SendMessageW(m_hWnd, TVM_GETITEMHEIGHT, 0, 0));
    const int height = std::max<int>(Bitmaps().iconBox.cy, fontHeight);
    ::SendMessageW(m_hWnd, TVM_SETITEMHEIGHT, static_cast<WPARAM>(height), 0);
}

void CServerTree::Fill(const frontend::CServerTreeModel& model) {
    m_bFilling = true;
    ::SendMessageW(m_hWnd, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(m_hWnd, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    m_items.clear();
    m_rows = model.Rows();
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const FServerItem& row = m_rows[i];
        std::wstring text = platform::Utf8ToWide(row.Text());
        TVINSERTSTRUCTW insert{};
        insert.hParent = row.parent == kNoRow ? TVI_ROOT : Item(row.parent);
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE;
        insert.item.pszText = text.data();
        insert.item.lParam = static_cast<LPARAM>(i);
        insert.item.state = row.bold ? TVIS_BOLD : 0;
        insert.item.stateMask = TVIS_BOLD;
        m_items.push_back(reinterpret_cast<HTREEITEM>(
            ::SendMessageW(m_hWnd, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert))));
    }
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].expanded)
            ::SendMessageW(m_hWnd, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(m_items[i]));
    }
    ::SendMessageW(m_hWnd, TVM_SELECTITEM, TVGN_CARET, 0);
    ::SendMessageW(m_hWnd, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    m_bFilling = false;
}

void CServerTree::SetBkColor(COLORREF color) const {
    ::SendMessageW(m_hWnd, TVM_SETBKCOLOR, 0, static_cast<LPARAM>(color));
}

void CServerTree::SetTextColor(COLORREF color) const {
    ::SendMessageW(m_hWnd, TVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(color));
}

HTREEITEM CServerTree::Item(RowId row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_items.size())
        return nullptr;
    return m_items[static_cast<std::size_t>(row)];
}

RowId CServerTree::RowOf(HTREEITEM item) const {
    const auto found = std::find(m_items.begin(), m_items.end(), item);
    return item == nullptr || found == m_items.end() ? kNoRow
                                                     : static_cast<RowId>(found - m_items.begin());
}

const FServerItem* CServerTree::Row(LPARAM itemData) const {
    if (itemData < 0 || static_cast<std::size_t>(itemData) >= m_rows.size())
        return nullptr;
    return &m_rows[static_cast<std::size_t>(itemData)];
}

RowId CServerTree::SelectedRow() const {
    return RowOf(
        reinterpret_cast<HTREEITEM>(::SendMessageW(m_hWnd, TVM_GETNEXTITEM, TVGN_CARET, 0)));
}

void CServerTree::SelectRow(RowId row) const {
    ::SendMessageW(m_hWnd, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Item(row)));
}

CServerTree::FHitTest CServerTree::HitTest(POINT screen) const {
    TVHITTESTINFO hit{};
    hit.pt = screen;
    FHitTest result;
    if (!::ScreenToClient(m_hWnd, &hit.pt))
        return result;
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    if (!::PtInRect(&client, hit.pt))
        return result;
    const auto item = reinterpret_cast<HTREEITEM>(
        ::SendMessageW(m_hWnd, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    result.row = RowOf(item);
    result.onItem = result.row != kNoRow && (hit.flags & kOnItem) != 0;
    return result;
}

LRESULT CServerTree::CustomDraw(NMTVCUSTOMDRAW& cd) const {
    const NMCUSTOMDRAW& draw = cd.nmcd;
    switch (draw.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            const FServerItem* row = Row(draw.lItemlParam);
            if (row == nullptr)
                return CDRF_DODEFAULT;
            const auto item = reinterpret_cast<HTREEITEM>(draw.dwItemSpec);
            const UINT state = static_cast<UINT>(::SendMessageW(m_hWnd, TVM_GETITEMSTATE,
                                                                reinterpret_cast<WPARAM>(item),
                                                                TVIS_SELECTED | TVIS_DROPHILITED));
            const bool focusedSelection = state != 0 && ::GetFocus() == m_hWnd;
            if (row->color && !focusedSelection) {
                cd.clrText = ToColorRef(*row->color);
                cd.clrTextBk = static_cast<COLORREF>(::SendMessageW(m_hWnd, TVM_GETBKCOLOR, 0, 0));
            }
            return CDRF_NOTIFYPOSTPAINT;
        }
        case CDDS_ITEMPOSTPAINT: {
            const FServerItem* row = Row(draw.lItemlParam);
            // The item goes in, its label's rectangle comes out.
            RECT label{};
            const auto item = reinterpret_cast<HTREEITEM>(draw.dwItemSpec);
            std::memcpy(&label, &item, sizeof item);
            if (row != nullptr &&
                ::SendMessageW(m_hWnd, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&label)))
                DrawMarks(draw.hdc, *row, label);
            return CDRF_DODEFAULT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

void CServerTree::DrawMarks(HDC dc, const FServerItem& row, const RECT& label) const {
    const TreeBitmaps& bitmaps = Bitmaps();
    const int left = label.right + kMarkGap;
    if (row.kind == FServerItem::kGroup && row.recommended) {
        const SIZE box{bitmaps.iconBox.cx + 30, bitmaps.iconBox.cy};
        const SIZE badge = BitmapSize(bitmaps.badge.get());
        DrawBitmap(dc, {left, label.top}, bitmaps.badge.get(),
                   {std::min(box.cx, badge.cx), std::min(box.cy, badge.cy)});
        return;
    }
    if (row.kind != FServerItem::kServer || row.level < 1 || row.level > 4)
        return;
    const HBITMAP bar = row.level <= 2   ? bitmaps.green.get()
                        : row.level == 3 ? bitmaps.yellow.get()
                                         : bitmaps.red.get();
    SIZE size = BitmapSize(bitmaps.red.get());
    size.cy -= 1;
    for (int i = 0; i < row.level; ++i)
        DrawBitmap(dc, {left + i * kBarPitch, label.top + 2}, bar, size);
}

}  // namespace win32ui
