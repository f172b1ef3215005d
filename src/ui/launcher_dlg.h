#pragma once
// CLauncherDlg: the launcher's one main window. A frameless, skinned dialog holding the server
// trees, the Start button, the account boxes, the status line and the progress bars; it owns the
// patcher, the game start and the download thread, and turns the window messages of the workers
// into the steps from update over login to the game. GUI thread only, but for the owner members
// the workers call (their interfaces say which), which are safe from any thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <QDialog>
#include <QPixmap>
#include <QPoint>
#include <QProgressBar>

#include "account/login_owner.h"
#include "launch/common_manager.h"
#include "launch/common_owner.h"
#include "launch/launch_owner.h"
#include "launch/quendalor_manager.h"
#include "patch/update_manager.h"
#include "patch/update_owner.h"
#include "protocol/server_directory.h"
#include "ui/explorer.h"
#include "ui/launcher_dlg_host.h"
#include "ui/my_button.h"
#include "ui/my_edit.h"
#include "ui/qt_message_target.h"
#include "ui/qt_tree_selection.h"
#include "ui/server_tree.h"
#include "ui/skin.h"

namespace ui {

class CLauncherDlg final : public QDialog,
                           public UpdateOwner,
                           public LoginOwner,
                           public LaunchOwner,
                           public CommonOwner {
    Q_OBJECT

public:
    // How the window ends the process after a lost connection; tests observe it here.
    using ExitHook = std::function<void(int code)>;

    // The window title a second start looks for.
    static constexpr const char* kTitle = "QUEND LAUNCHER";

    // Builds the window from the skin, starts the download thread and registers as the window
    // that hears the receive thread; a server list that arrived before fills the trees at once.
    explicit CLauncherDlg(LauncherDlgHost& app, ExitHook exitProcess = {});
    // Closes down as OnCancel does when the window was not closed before.
    ~CLauncherDlg() override;

    // Makes `game` the selected game: its Launcher.ini entry, game folder and update address.
    void SelectGame(const protocol::GameRecord& game);
    // "Start" images when ready, else "Update"; enables the button when `enable`.
    void UpdateStartButton(bool enable);
    // The account login: 1 when logged in, 0 otherwise.
    int Login();

    // The button handlers.
    void OnStart();
    void OnHome();
    void OnHelp();
    void OnExit();
    // The one way the window ends: stops the workers, then ends the modal loop. A call while one
    // runs does nothing.
    void OnCancel();

    // Handles one window message as the window procedure does: the seven messages of the
    // workers and the receive thread; anything else is ignored.
    void WindowProc(const platform::PostedMessage& message);

    const std::string& GameName() const { return m_strGameName; }
    bool IsReady() const { return m_bReady != 0; }

    // UpdateOwner
    std::string GameDir() const override;
    std::string UpdateUrl() const override;
    std::string ModuleDir() const override { return m_app.ModuleDir(); }
    bool NoUpdate() const override { return m_app.NoUpdate(); }
    platform::MessageTarget& Target() override { return m_target; }

    // LoginOwner
    bool IsBusy() const override { return m_updateManager.IsBusy(); }
    int FillGameDir() override { return m_commonManager.FillGameDir(); }
    int CheckSelection() override;
    std::string UserNameText() const override;
    std::string PasswordText() const override;
    const GameInfo* SelectedGame() const override { return m_pGameInfo; }
    std::unique_ptr<SmsCodePrompt> MakeSmsCodePrompt(const std::string& domain,
                                                     const std::string& mobile,
                                                     platform::HttpClient& http) override;
    void StoreSession(const std::string& userId, const std::string& userKey,
                      const std::string& underage) override;

    // LaunchOwner
    ServerSelection* LeftTree() override { return &m_selLeft; }
    ServerSelection* RightTree() override { return &m_selRight; }

    // CommonOwner
    void SetGameDir(std::string dir) override;

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
    void PlaceControls(const SkinRect& fileView, const SkinRect& left, const SkinRect& right);
    void ColourProgressBars();
    void NavigatePanels();
    void ListenToServer();
    void StopWorkers();

    void OnUpdateDone();
    void OnUpdateIncomplete(const UpdateResult& result);
    void ShowLocalFileError(const FileOutcome& outcome);
    void OnStartGame();
    void OnDownFile(const std::string& path);
    void OnDownProgress(std::intptr_t bytes);
    void OnTotalProgress(std::intptr_t done, std::intptr_t range);
    void OnServerMessage();
    void OnServerNotify(std::intptr_t wParam);
    void UpdateOrLaunch();

    void OnTreeFocus(CServerTree& tree, CServerTree& other);
    void OnTreeSelChanged(CServerTree& tree);
    void SelectGameOf(const FServerItem* item);

    LauncherDlgHost& m_app;
    ExitHook m_exitProcess;
    CSkin m_skin;

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
    CQtTreeSelection m_selLeft{m_treeLeft};
    CQtTreeSelection m_selRight{m_treeRight};

    QPixmap m_bmpBack;
    SkinRect m_rcGameButton;
    SkinRect m_rcDownProgress;
    SkinRect m_rcTotalProgress;
    SkinRect m_rcCashItem;
    SkinRect m_rcNotice;
    SkinRect m_rcOneLineNotice;
    SkinRect m_rcHome;
    SkinRect m_rcHelp;
    SkinRect m_rcExit;
    SkinRect m_rcUserName;
    SkinRect m_rcPassword;

    std::atomic<int> m_bRunning{1};
    std::string m_strGameName;
    const GameInfo* m_pGameInfo = nullptr;
    GameInfo m_unlistedGame;  // the empty entry of a game Launcher.ini does not list
    int m_bReady = 0;
    int m_bLoggedIn = 0;

    mutable std::mutex m_selectionMutex;  // the workers read these two
    std::string m_strUpdateUrl;
    std::string m_szGameDir;

    // Rows of the trees point into this snapshot of the server lists; the game start points
    // into the one that was current at its selection check, which a later list must not free
    // while the login runs.
    std::shared_ptr<const protocol::ServerLists> m_lists;
    std::shared_ptr<const protocol::ServerLists> m_checkedLists;

    CQtMessageTarget m_target;  // before the managers: their threads post to it
    CMyUpdateManager m_updateManager;
    CCommonManager m_commonManager;
    CQuendalorManager m_gameManager;

    std::uint32_t m_nDownBytes = 0;  // bytes of the current file so far
    unsigned m_nExitPresses = 0;
    bool m_bClosing = false;
    bool m_bDragging = false;
    QPoint m_dragOffset;
};

}  // namespace ui
