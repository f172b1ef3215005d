#include "win32ui/launcher_dlg.h"

#include <utility>

#include <uxtheme.h>

#include "platform/codepage.h"
#include "platform/process.h"
#include "win32ui/memory_dc.h"
#include "win32ui/resource_ids.h"
#include "win32ui/skin_bitmap.h"
#include "win32ui/sms_code_dlg.h"
#include "win32ui/win32_message_box.h"
#include "win32ui/window_text.h"

namespace win32ui {
namespace {

using frontend::RowId;
using frontend::TreeSide;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kDownBar = RGB(174, 112, 65);
constexpr COLORREF kTotalBar = RGB(250, 227, 141);

void Place(HWND control, const frontend::SkinRect& rect) {
    ::MoveWindow(control, rect.left, rect.top, rect.width(), rect.height(), TRUE);
}

bool IsClick(WORD code) {
    // An owner-drawn button reports the second press of a double click as a double click.
    return code == BN_CLICKED || code == BN_DOUBLECLICKED;
}

}  // namespace

CLauncherDlg::CLauncherDlg(frontend::LauncherHost& app, ExitHook exitProcess)
    : m_skin(app.SkinIni(), app.ResourcePath()) {
    m_controller.emplace(app, *this, m_target, std::move(exitProcess));
}

// The rules go first: they stop the workers, which post to the target. Then nothing can post,
// and what is still queued goes with the window.
CLauncherDlg::~CLauncherDlg() {
    m_controller.reset();
    m_target.Detach();
    if (m_hWnd == nullptr)
        return;
    CWin32MessageTarget::DropQueued(m_hWnd);
    ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
    ::DestroyWindow(m_hWnd);
}

bool CLauncherDlg::Create() {
    if (m_hWnd != nullptr)
        return true;
    return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LAUNCHER_DIALOG),
                                nullptr, &CLauncherDlg::DialogProc,
                                reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CLauncherDlg::DoModal() {
    if (!Create())
        return;
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::SetForegroundWindow(m_hWnd);
    MSG message;
    while (!m_bEnded) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // The quit request belongs to the loop outside this one.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0 || PreTranslateMessage(message))
            continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::ShowWindow(m_hWnd, SW_HIDE);
}

bool CLauncherDlg::PreTranslateMessage(MSG& message) const {
    if (m_hWnd == nullptr || (message.hwnd != m_hWnd && !::IsChild(m_hWnd, message.hwnd)))
        return false;
    // Neither key may press a default button or close the window.
    if (message.message == WM_KEYDOWN &&
        (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE))
        return false;
    return ::IsDialogMessageW(m_hWnd, &message) != FALSE;
}

INT_PTR CALLBACK CLauncherDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<CLauncherDlg*>(lParam)->m_hWnd = window;
    }
    auto* dialog = reinterpret_cast<CLauncherDlg*>(::GetWindowLongPtrW(window, DWLP_USER));
    return dialog != nullptr ? dialog->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CLauncherDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return TRUE;
        case WM_ERASEBKGND:
            return m_bmpBack ? TRUE : FALSE;
        case WM_PAINT:
            OnPaint();
            return TRUE;
        case WM_LBUTTONDOWN:
            // A press on the window's own surface drags the window.
            ::PostMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
            return TRUE;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            for (const CMyButton* button : {&m_btnStart, &m_btnHome, &m_btnHelp, &m_btnExit}) {
                if (item.hwndItem == button->Handle())
                    button->DrawItem(item);
            }
            return TRUE;
        }
        case WM_CTLCOLOREDIT:
            return OnCtlColorEdit(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_COMMAND:
            OnCommand(wParam);
            return TRUE;
        case WM_NOTIFY:
            ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT,
                                OnNotify(*reinterpret_cast<NMHDR*>(lParam)));
            return TRUE;
        case WM_CLOSE:
            m_controller->OnCancel();
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(
                ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
        case CWin32MessageTarget::kPostedMessage:
            m_controller->WindowProc(*CWin32MessageTarget::Take(lParam));
            return TRUE;
        case kShowMessage:
            ShowOwnedMessage(m_hWnd, *reinterpret_cast<const MessageRequest*>(lParam));
            return TRUE;
        default:
            return FALSE;
    }
}

// ---- Opening ----

void CLauncherDlg::OnInitDialog() {
    AttachControls();
    // The background sets the window's size; without it the window keeps its template size.
    LoadBackground();
    const HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    ::SetWindowTextW(m_hWnd, kTitle);
    // One placement: the background's size, centred on the work area.
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT frame{};
    ::GetWindowRect(m_hWnd, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    ::SetWindowPos(m_hWnd, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_target.Attach(m_hWnd);
    LayoutSkin();
    m_controller->OnInitDialog();
}

void CLauncherDlg::AttachControls() {
    const auto item = [this](int id) { return ::GetDlgItem(m_hWnd, id); };
    m_progDown = item(IDC_DOWN_PROGRESS);
    m_progTotal = item(IDC_TOTAL_PROGRESS);
    m_editFileView.Attach(item(IDC_FILE_VIEW));
    m_btnStart.Attach(item(IDC_START_BUTTON));
    m_webHome.Attach(item(IDC_WEB_HOME));
    m_treeLeft.Attach(item(IDC_LEFT_TREE));
    m_treeRight.Attach(item(IDC_RIGHT_TREE));
    m_webCashItem.Attach(item(IDC_WEB_CASH_ITEM));
    m_webOneLine.Attach(item(IDC_WEB_ONE_LINE));
    m_webNotice.Attach(item(IDC_WEB_NOTICE));
    m_btnHome.Attach(item(IDC_HOME_BUTTON));
    m_btnHelp.Attach(item(IDC_HELP_BUTTON));
    m_btnExit.Attach(item(IDC_EXIT_BUTTON));
    m_editUser.Attach(item(IDC_USER_NAME));
    m_editPassword.Attach(item(IDC_PASSWORD));
}

void CLauncherDlg::LoadBackground() {
    if (m_bmpBack)
        return;
    CGdiObject<HBITMAP> image = LoadSkinBitmap(m_skin.GetSkinImagePath("MainDialog"));
    if (!image)
        return;
    m_bmpBack = std::move(image);
    const SIZE size = BitmapSize(m_bmpBack.get());
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CLauncherDlg::LayoutSkin() {
    m_layout = m_skin.ReadLayout();
    const frontend::SkinLayout& l = m_layout;
    m_editUser.SetBackground(l.userBox, kWhite);
    m_editPassword.SetBackground(l.passwordBox, kWhite);
    const std::pair<HWND, frontend::SkinRect> places[] = {
        {m_btnStart.Handle(), l.gameButton},
        {m_editUser.Handle(), l.userName},
        {m_editPassword.Handle(), l.password},
        {m_treeLeft.Handle(), l.leftTree},
        {m_treeRight.Handle(), l.rightTree},
        {m_editFileView.Handle(), l.fileView},
        {m_progDown, l.downProgress},
        {m_progTotal, l.totalProgress},
        {m_webCashItem.Handle(), l.cashItem},
        {m_webNotice.Handle(), l.notice},
        {m_webOneLine.Handle(), l.oneLineNotice},
        {m_btnHome.Handle(), l.home},
        {m_btnHelp.Handle(), l.help},
        {m_btnExit.Handle(), l.exit},
    };
    for (const auto& [control, rect] : places)
        Place(control, rect);
    for (const CServerTree* tree : {&m_treeLeft, &m_treeRight}) {
        tree->SetBkColor(kBlack);
        tree->SetTextColor(kWhite);
    }
    for (const HWND bar : {m_progDown, m_progTotal}) {
        // A visual style draws its own bar and would ignore the skin's colours.
        ::SetWindowTheme(bar, L" ", L" ");
        ::SendMessageW(bar, PBM_SETBKCOLOR, 0, static_cast<LPARAM>(kBlack));
    }
    ::SendMessageW(m_progDown, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(kDownBar));
    ::SendMessageW(m_progTotal, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(kTotalBar));
    m_btnStart.SetImages(l.start);
    m_btnHome.SetImages(l.homeButton);
    m_btnHelp.SetImages(l.helpButton);
    m_btnExit.SetImages(l.exitButton);
}

// ---- Window messages ----

void CLauncherDlg::OnPaint() const {
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(m_hWnd, &paint);
    if (m_bmpBack) {
        DrawBitmap(dc, {0, 0}, m_bmpBack.get(), BitmapSize(m_bmpBack.get()));
    } else {
        RECT client{};
        ::GetClientRect(m_hWnd, &client);
        ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    }
    ::EndPaint(m_hWnd, &paint);
}

INT_PTR CLauncherDlg::OnCtlColorEdit(HDC dc, HWND edit) const {
    for (const CMyEdit* box : {&m_editUser, &m_editPassword}) {
        if (edit == box->Handle())
            return reinterpret_cast<INT_PTR>(box->CtlColor(dc));
    }
    return FALSE;
}

void CLauncherDlg::OnCommand(WPARAM wParam) {
    const WORD code = HIWORD(wParam);
    switch (LOWORD(wParam)) {
        case IDC_START_BUTTON:
            if (IsClick(code))
                m_controller->OnStart();
            break;
        case IDC_HOME_BUTTON:
            if (IsClick(code))
                m_controller->OnHome();
            break;
        case IDC_HELP_BUTTON:
            if (IsClick(code))
                m_controller->OnHelp();
            break;
        case IDC_EXIT_BUTTON:
            if (IsClick(code))
                m_controller->OnExit();
            break;
        case IDC_USER_NAME:
            if (code == EN_CHANGE)
                m_editUser.OnChange();
            break;
        case IDC_PASSWORD:
            if (code == EN_CHANGE)
                m_editPassword.OnChange();
            break;
        default:
            // IDOK and IDCANCEL of the dialog's keys: neither starts nor closes.
            break;
    }
}

LRESULT CLauncherDlg::OnNotify(NMHDR& header) {
    for (const TreeSide side : {TreeSide::Left, TreeSide::Right}) {
        CServerTree& tree = Tree(side);
        if (header.hwndFrom != tree.Handle())
            continue;
        switch (header.code) {
            case NM_CUSTOMDRAW:
                return tree.CustomDraw(*reinterpret_cast<NMTVCUSTOMDRAW*>(&header));
            case NM_SETFOCUS:
                if (!tree.IsFilling())
                    OnTreeFocus(side);
                return 0;
            case TVN_SELCHANGEDW:
                if (!tree.IsFilling())
                    OnTreeSelChanged(side, reinterpret_cast<NMTREEVIEWW*>(&header)->itemNew.hItem);
                return 0;
            default:
                return 0;
        }
    }
    return 0;
}

// ---- Tree events: the mouse position is the window's to read ----

void CLauncherDlg::OnTreeFocus(TreeSide side) {
    POINT mouse{};
    ::GetCursorPos(&mouse);
    const CServerTree::FHitTest hit = Tree(side).HitTest(mouse);
    m_controller->OnTreeFocus(side, hit.onItem ? hit.row : frontend::kNoRow);
}

void CLauncherDlg::OnTreeSelChanged(TreeSide side, HTREEITEM selected) {
    POINT mouse{};
    ::GetCursorPos(&mouse);
    const CServerTree& tree = Tree(side);
    const CServerTree::FHitTest hit = tree.HitTest(mouse);
    m_controller->OnTreeSelChanged(side, tree.RowOf(selected),
                                   hit.onItem ? hit.row : frontend::kNoRow);
}

// ---- What the rules show ----

void CLauncherDlg::SetStartImages(const std::string& imageSet) {
    m_btnStart.SetImages(m_skin, imageSet);
    ::InvalidateRect(m_btnStart.Handle(), nullptr, FALSE);
}

void CLauncherDlg::EnableStart(bool enable) {
    ::EnableWindow(m_btnStart.Handle(), enable ? TRUE : FALSE);
}

void CLauncherDlg::SetStatusText(const std::string& text) {
    m_editFileView.SetText(text);
}

void CLauncherDlg::SetDownRange(std::uint32_t range) {
    ::SendMessageW(m_progDown, PBM_SETRANGE32, 0, static_cast<LPARAM>(static_cast<int>(range)));
}

void CLauncherDlg::SetDownPosition(std::uint32_t position) {
    ::SendMessageW(m_progDown, PBM_SETPOS, static_cast<WPARAM>(static_cast<int>(position)), 0);
}

void CLauncherDlg::SetTotalRange(int range) {
    ::SendMessageW(m_progTotal, PBM_SETRANGE32, 0, static_cast<LPARAM>(range));
}

void CLauncherDlg::SetTotalPosition(int position) {
    ::SendMessageW(m_progTotal, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

CServerTree& CLauncherDlg::Tree(TreeSide side) {
    return side == TreeSide::Left ? m_treeLeft : m_treeRight;
}

const CServerTree& CLauncherDlg::Tree(TreeSide side) const {
    return side == TreeSide::Left ? m_treeLeft : m_treeRight;
}

template <typename Dialog>
auto& CLauncherDlg::PanelOf(Dialog& dialog, frontend::WebPanel panel) {
    switch (panel) {
        case frontend::WebPanel::Home:
            return dialog.m_webHome;
        case frontend::WebPanel::CashItem:
            return dialog.m_webCashItem;
        case frontend::WebPanel::Notice:
            return dialog.m_webNotice;
        case frontend::WebPanel::OneLine:
            break;
    }
    return dialog.m_webOneLine;
}

CExplorer1& CLauncherDlg::WebPanel(frontend::WebPanel panel) {
    return PanelOf(*this, panel);
}

const CExplorer1& CLauncherDlg::WebPanel(frontend::WebPanel panel) const {
    return PanelOf(*this, panel);
}

void CLauncherDlg::FillTree(TreeSide side, const frontend::CServerTreeModel& model) {
    Tree(side).Fill(model);
}

void CLauncherDlg::SelectTreeRow(TreeSide side, RowId row) {
    Tree(side).SelectRow(row);
}

std::string CLauncherDlg::UserNameText() const {
    return m_editUser.Text();
}

std::string CLauncherDlg::PasswordText() const {
    return m_editPassword.Text();
}

std::unique_ptr<account::SmsCodePrompt> CLauncherDlg::MakeSmsCodePrompt(
    const std::string& domain, const std::string& mobile, platform::HttpClient& http) {
    return std::make_unique<CSmsCodeDlg>(domain, mobile, http, m_hWnd);
}

void CLauncherDlg::Navigate(frontend::WebPanel panel, const std::string& url) {
    WebPanel(panel).Navigate(url);
}

void CLauncherDlg::OpenInBrowser(const std::string& url) {
    platform::OpenInBrowser(platform::AnsiToUtf8(url));
}

void CLauncherDlg::CloseWindow() {
    m_bEnded = true;
    // Wakes the loop, which sees the end.
    ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

}  // namespace win32ui
