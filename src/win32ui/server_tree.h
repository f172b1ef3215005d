#pragma once
// The tree of game servers on Windows: a tree-view control of the dialog template showing the
// rows of a frontend::CServerTreeModel, their weights, and, by custom draw, their colours, the
// recommended badge and the load bars; and where the mouse is over a row. GUI thread only.

#include <windows.h>
// needs the types <windows.h> declares
#include <commctrl.h>

#include <vector>

#include "frontend/server_item.h"
#include "frontend/server_tree_model.h"
#include "win32ui/gdi_object.h"

namespace win32ui {

class CServerTree final {
public:
    // What lies under a point: the row, and whether the point is on the row's icon, label or
    // state icon (a press there selects the row; one beside the label does not).
    struct FHitTest {
        frontend::RowId row = frontend::kNoRow;
        bool onItem = false;
    };

    // Takes over the template's tree `tree`: its font (Tahoma, 13 pixels high) and row height.
    void Attach(HWND tree);
    HWND Handle() const { return m_hWnd; }

    // Shows a copy of the model's rows, replacing what was shown, with nothing selected. While
    // it fills, IsFilling() is true: the owner does not report the tree's notifications then.
    void Fill(const frontend::CServerTreeModel& model);
    bool IsFilling() const { return m_bFilling; }

    // The tree's background and default text colours.
    void SetBkColor(COLORREF color) const;
    void SetTextColor(COLORREF color) const;

    // The tree item of a row, or null; the row a tree item shows, or kNoRow.
    HTREEITEM Item(frontend::RowId row) const;
    frontend::RowId RowOf(HTREEITEM item) const;
    const std::vector<frontend::FServerItem>& Rows() const { return m_rows; }

    frontend::RowId SelectedRow() const;
    // Selects `row` alone; kNoRow selects nothing.
    void SelectRow(frontend::RowId row) const;
    // `screen` in screen coordinates, as the mouse position is taken.
    FHitTest HitTest(POINT screen) const;

    // The owner's NM_CUSTOMDRAW for this tree: rows with a colour get it (but the selected row
    // while the tree has the focus), then the badge and the bars are drawn beside the label.
    LRESULT CustomDraw(NMTVCUSTOMDRAW& draw) const;

private:
    const frontend::FServerItem* Row(LPARAM itemData) const;
    void DrawMarks(HDC dc, const frontend::FServerItem& row, const RECT& label) const;

    HWND m_hWnd = nullptr;
    CGdiObject<HFONT> m_font;
    std::vector<frontend::FServerItem> m_rows;
    std::vector<HTREEITEM> m_items;  // by row
    bool m_bFilling = false;
};

}  // namespace win32ui
