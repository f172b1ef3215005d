#pragma once
// CLauncherDlg: the launcher's one main window in Qt. A frameless, skinned dialog holding the
// server trees, the Start button, the account boxes, the status line, the progress bars and the
// hidden web panels; it places and paints them from the skin, drags the window and swallows Enter
// and Escape, and leaves every rule to its frontend::CLauncherController, to which it forwards
// its buttons, tree events and posted messages. GUI thread only.

#include <functional>
#include <memory>
#include <string>

#include <QDialog>
#include <QPixmap>
#include <QPoint>
#include <QProgressBar>

#include "frontend/launcher_controller.h"
#include "frontend/launcher_host.h"
#include "frontend/launcher_view.h"
#include "frontend/skin.h"
#include "ui/explorer.h"
#include "ui/my_button.h"
#include "ui/my_edit.h"
#include "ui/qt_message_target.h"
#include "ui/server_tree.h"

namespace ui {

class CLauncherDlg final : public QDialog, public frontend::LauncherView {
    Q_OBJECT

public:
    using ExitHook = frontend::CLauncherController::ExitHook;

    // The window title a second start looks for.
    static constexpr const char* kTitle = "QUEND LAUNCHER";

    // Builds the window from the skin and hands over to the rules (see OnInitDialog there).
    explicit CLauncherDlg(frontend::LauncherHost& app, ExitHook exitProcess = {});
    ~CLauncherDlg() override;

    frontend::CLauncherController& Controller() { return m_controller; }
    platform::MessageTarget& Target() { return m_target; }

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

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // A close request of the window.
    void reject() override;

private:
    void CreateControls();
    void ConnectControls();
    void LoadBackground();
    void OnInitDialog();
    void LayoutSkin();
    CServerTree& Tree(frontend::TreeSide side);
    void OnTreeFocus(frontend::TreeSide side);
    void OnTreeSelChanged(frontend::TreeSide side);

    frontend::CSkin m_skin;

    CMyEdit m_editFileView;
    CMyEdit m_editUser;
    CMyEdit m_editPassword;
    CMyButton m_btnStart;
    CMyButton m_btnHome;
    CMyButton m_btnHelp;
    CMyButton m_btnExit;
    QProgressBar m_progTotal;
    QProgressBar m_progDown;
    CExplorer1 m_webHome;
    CExplorer1 m_webCashItem;
    CExplorer1 m_webOneLine;
    CExplorer1 m_webNotice;
    CServerTree m_treeLeft;
    CServerTree m_treeRight;

    QPixmap m_bmpBack;
    frontend::SkinLayout m_layout;  // the stored skin rectangles
    bool m_bDragging = false;
    QPoint m_dragOffset;

    CQtMessageTarget m_target;  // before the rules: their workers post to it
    frontend::CLauncherController m_controller;
};

}  // namespace ui
