#pragma once
// CLauncherDlg: the launcher's one main window on Windows. Dialog template 102 made borderless
// and skinned: it holds the server trees, the Start button, the account boxes, the status line,
// the progress bars and the hidden web panels; it places and paints them from the skin, drags the
// window by its surface and keeps Enter and Escape from the dialog's own keys, and leaves every
// rule to its frontend::CLauncherController, to which it forwards its buttons, tree
// notifications and posted messages. GUI thread only.

#include <windows.h>
// needs the types <windows.h> declares
#include <commctrl.h>

#include <optional>
#include <string>

#include "frontend/launcher_controller.h"
#include "frontend/launcher_host.h"
#include "frontend/launcher_view.h"
#include "frontend/skin.h"
#include "win32ui/explorer.h"
#include "win32ui/gdi_object.h"
#include "win32ui/my_button.h"
#include "win32ui/my_edit.h"
#include "win32ui/server_tree.h"
#include "win32ui/win32_message_target.h"

namespace win32ui {

class CLauncherDlg final : public frontend::LauncherView {
public:
    using ExitHook = frontend::CLauncherController::ExitHook;

    // The window title a second start looks for.
    static constexpr const wchar_t* kTitle = L"QUEND LAUNCHER";

    explicit CLauncherDlg(frontend::LauncherHost& app, ExitHook exitProcess = {});
    // Stops the rules' workers, then destroys the window.
    ~CLauncherDlg() override;
    CLauncherDlg(const CLauncherDlg&) = delete;
    CLauncherDlg& operator=(const CLauncherDlg&) = delete;

    // Makes the window from its template, hidden, places it from the skin and hands over to the
    // rules (see OnInitDialog there). False when the window cannot be made.
    bool Create();
    // Shows the window and runs its message loop until the rules close it (Create first when
    // that has not been done).
    void DoModal();
    // The loop's handling of one message before it is dispatched: true when the dialog's own
    // keys took it. Enter and Escape are left to the focused control.
    bool PreTranslateMessage(MSG& message) const;

    HWND Handle() const { return m_hWnd; }
    bool IsEnded() const { return m_bEnded; }
    frontend::CLauncherController& Controller() { return *m_controller; }
    platform::MessageTarget& Target() { return m_target; }

    // The controls, for the tests of the window.
    const CMyButton& StartButton() const { return m_btnStart; }
    const CServerTree& Tree(frontend::TreeSide side) const;
    const CExplorer1& WebPanel(frontend::WebPanel panel) const;

    // LauncherView
    void SetStartImages(const std::string& imageSet) override;
    void EnableStart(bool enable) override;
    void SetStatusText(const std::string& text) override;
    void SetDownRange(std::uint32_t range) override;
    void SetDownPosition(std::uint32_t position) override;
    void SetTotalRange(int range) override;
    void SetTotalPosition(int position) override;
    void FillTree(frontend::TreeSide side, const frontend::CServerTreeModel& model) override;
    void SelectTreeRow(frontend::TreeSide side, frontend::RowId row) override;
    std::string UserNameText() const override;
    std::string PasswordText() const override;
    std::unique_ptr<account::SmsCodePrompt> MakeSmsCodePrompt(const std::string& domain,
                                                              const std::string& mobile,
                                                              platform::HttpClient& http) override;
    void Navigate(frontend::WebPanel panel, const std::string& url) override;
    void OpenInBrowser(const std::string& url) override;
    void CloseWindow() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void AttachControls();
    void LoadBackground();
    void LayoutSkin();
    void OnPaint() const;
    void OnCommand(WPARAM wParam);
    LRESULT OnNotify(NMHDR& header);
    INT_PTR OnCtlColorEdit(HDC dc, HWND edit) const;
    CServerTree& Tree(frontend::TreeSide side);
    CExplorer1& WebPanel(frontend::WebPanel panel);
    template <typename Dialog>
    static auto& PanelOf(Dialog& dialog, frontend::WebPanel panel);
    void OnTreeFocus(frontend::TreeSide side);
    void OnTreeSelChanged(frontend::TreeSide side, HTREEITEM selected);

    frontend::CSkin m_skin;
    HWND m_hWnd = nullptr;

    CMyEdit m_editFileView;
    CMyEdit m_editUser;
    CMyEdit m_editPassword;
    CMyButton m_btnStart;
    CMyButton m_btnHome;
    CMyButton m_btnHelp;
    CMyButton m_btnExit;
    HWND m_progTotal = nullptr;
    HWND m_progDown = nullptr;
    CExplorer1 m_webHome;
    CExplorer1 m_webCashItem;
    CExplorer1 m_webOneLine;
    CExplorer1 m_webNotice;
    CServerTree m_treeLeft;
    CServerTree m_treeRight;

    CGdiObject<HBITMAP> m_bmpBack;
    frontend::SkinLayout m_layout;  // the stored skin rectangles
    bool m_bEnded = false;

    CWin32MessageTarget m_target;  // before the rules: their workers post to it
    std::optional<frontend::CLauncherController> m_controller;
};

}  // namespace win32ui
