#pragma once
// CLauncherController: the rules of the launcher's main window, whatever toolkit draws it. It owns
// the patcher, the game start and the two server-tree models, keeps the state the Start button
// runs on (the selected game, ready, logged in) and turns the window messages of the workers and
// the receive thread into the steps from update over login to the game. It reaches the window only
// through LauncherView; the window forwards its buttons, tree events and posted messages here.
// GUI thread only; the workers reach it through posted messages alone.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "account/account_login.h"
#include "config/launcher_config.h"
#include "frontend/launcher_host.h"
#include "frontend/launcher_view.h"
#include "frontend/server_tree_model.h"
#include "frontend/update_owner_adapter.h"
#include "launch/common_manager.h"
#include "launch/quendalor_manager.h"
#include "patch/update_manager.h"
#include "patch/update_result.h"
#include "platform/message_target.h"
#include "protocol/server_directory.h"

namespace frontend {

class CLauncherController final {
public:
    // How the process ends at once (lost connection, unwritable game settings); tests observe it.
    using ExitHook = std::function<void(int code)>;

    // `target` is where the workers and the receive thread post to this window; its posts must
    // come back through WindowProc. Nothing is started before OnInitDialog.
    CLauncherController(LauncherHost& app, LauncherView& view, platform::MessageTarget& target,
                        ExitHook exitProcess = {});
    // Stops the workers as OnCancel does when the window was not closed before, and stops
    // hearing the receive thread.
    ~CLauncherController();
    CLauncherController(const CLauncherController&) = delete;
    CLauncherController& operator=(const CLauncherController&) = delete;

    // The window has placed its controls: starts the download thread, enables Start when
    // connected, loads the web panels and starts hearing the receive thread; lists that arrived
    // before fill the trees at once, and a connection lost before is reported as if just now.
    void OnInitDialog();

    // The buttons. Start runs the login when ready and then the update-or-launch step; Home and
    // Help open the home page; Exit closes once however often it is pressed.
    void OnStart();
    void OnHome();
    void OnHelp();
    void OnExit();
    // The one way the window ends (also a close request): stops the workers, then closes the
    // window. A call while one runs, or after it, does nothing.
    void OnCancel();

    // The tree on `side` gained the focus; `hitRow` is the row under the mouse when the mouse is
    // on its icon or label, else kNoRow.
    void OnTreeFocus(TreeSide side, RowId hitRow);
    // The tree's selection changed (by mouse, keyboard or program) to `selectedRow`; `hitRow` as
    // for OnTreeFocus. Only a row under the mouse selects a game.
    void OnTreeSelChanged(TreeSide side, RowId selectedRow, RowId hitRow);

    // Handles one posted message as the window procedure does: the nine messages of the workers
    // and the receive thread; anything else is ignored.
    void WindowProc(const platform::PostedMessage& message);

    // Makes `game` the selected game: its Launcher.ini entry, game folder and update address.
    void SelectGame(const protocol::GameRecord& game);
    // "Start" images when ready, else "Update"; enables the button when `enable`.
    void UpdateStartButton(bool enable);
    // The account login: the checks before it, then the requests; 1 when logged in, else 0.
    int Login();

    const std::string& GameName() const { return m_strGameName; }
    bool IsReady() const { return m_bReady; }
    bool IsLoggedIn() const { return m_bLoggedIn; }
    const CServerTreeModel& Tree(TreeSide side) const;
    std::string GameDir() const { return m_owner.GameDir(); }
    std::string UpdateUrl() const { return m_owner.UpdateUrl(); }

private:
    void ListenToServer();
    void StopWorkers();
    void UpdateOrLaunch();
    launch::ServerSelection SelectedServer() const;
    CServerTreeModel& Tree(TreeSide side);

    void OnUpdateDone();
    void OnListFailed(bool unreadable);
    void OnUpdateIncomplete(const patch::UpdateResult& result);
    void ShowLocalFileError(const patch::FileOutcome& outcome);
    void OnStartGame();
    void OnDownFile(const std::string& path);
    void OnDownProgress(std::intptr_t bytes);
    void OnTotalProgress(std::intptr_t done, std::intptr_t range);
    void OnServerMessage();
    void OnServerNotify(std::intptr_t wParam);
    void SelectGameOf(TreeSide side, RowId row);

    LauncherHost& m_app;
    LauncherView& m_view;
    platform::MessageTarget& m_target;
    ExitHook m_exitProcess;

    std::string m_strGameName;
    const config::GameInfo* m_pGameInfo = nullptr;  // in the GUI's settings
    bool m_bReady = false;
    bool m_bLoggedIn = false;
    bool m_bKeepStartDisabled = false;  // the last login asked for it

    // The rows point into this snapshot of the server lists.
    std::shared_ptr<const protocol::ServerLists> m_lists;
    CServerTreeModel m_treeLeft;
    CServerTreeModel m_treeRight;

    CUpdateOwnerAdapter m_owner;  // before the managers: their threads read it
    patch::CMyUpdateManager m_updateManager;
    launch::CCommonManager m_commonManager;
    launch::CQuendalorManager m_gameManager;

    std::uint32_t m_nDownBytes = 0;  // bytes of the current file so far
    unsigned m_nExitPresses = 0;
    bool m_bClosing = false;
};

}  // namespace frontend
