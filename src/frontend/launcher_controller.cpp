#include "frontend/launcher_controller.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "config/text_table.h"
#include "platform/codepage.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/window_messages.h"

namespace frontend {
namespace {

// The download side reads a reply in blocks of this size; a shorter read ends a file.
constexpr std::uint32_t kReadBlock = 0x50000;
// WM_DOWN_FILE carries at most this many characters.
constexpr std::size_t kMaxPathText = 259;

// The first `count` characters of a UTF-8 text.
std::string FirstCharacters(const std::string& text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t characters = 0; end < text.size(); ++end) {
        const bool starts = (static_cast<unsigned char>(text[end]) & 0xC0) != 0x80;
        if (starts && characters++ == count)
            break;
    }
    return text.substr(0, end);
}

int ClampToInt(std::intptr_t value) {
    return static_cast<int>(std::clamp<std::intptr_t>(value, 0, INT_MAX));
}

}  // namespace

CLauncherController::CLauncherController(LauncherHost& app, LauncherView& view,
                                         platform::MessageTarget& target, ExitHook exitProcess)
    : m_app(app),
      m_view(view),
      m_target(target),
      m_exitProcess(exitProcess ? std::move(exitProcess) : ExitHook(platform::ExitProcessNow)),
      m_owner(target, app.ModuleDir(), app.NoUpdate()),
      m_updateManager(m_owner, platform::MessageCaption()),
      m_gameManager(m_exitProcess) {}

CLauncherController::~CLauncherController() {
    m_app.Connection().SetMainWindow(nullptr);
    if (!m_bClosing) {
        m_bClosing = true;
        StopWorkers();
    }
}

const CServerTreeModel& CLauncherController::Tree(TreeSide side) const {
    return side == TreeSide::Left ? m_treeLeft : m_treeRight;
}

CServerTreeModel& CLauncherController::Tree(TreeSide side) {
    return side == TreeSide::Left ? m_treeLeft : m_treeRight;
}

// ---- Opening ----

void CLauncherController::OnInitDialog() {
    m_updateManager.StartDownloadThread();
    m_updateManager.LoadExcludeList();
    m_updateManager.SetPostProgress(true);
    m_view.SetDownPosition(0);
    m_view.SetTotalPosition(0);
    m_view.EnableStart(m_app.IsConnected());
    // The panels stay hidden; each loads its page once, as the window opens.
    const config::LauncherConfig& config = m_app.Config();
    m_view.Navigate(WebPanel::Home, config.homePage);
    m_view.Navigate(WebPanel::CashItem, config.cashItemList);
    m_view.Navigate(WebPanel::Notice, config.notice);
    m_view.Navigate(WebPanel::OneLine, config.onelineNotice);
    ListenToServer();
}

// Start-up asked for the server lists before this window existed: lists that arrived since fill
// the trees at once, and a connection lost meanwhile is reported as if it happened now.
void CLauncherController::ListenToServer() {
    protocol::CClientConnection& connection = m_app.Connection();
    connection.SetMainWindow(&m_target);
    if (!connection.Directory().Latest()->group_list.empty())
        m_target.Post({platform::WM_SERVER_NOTIFY, 1, 0, {}});
    if (m_app.IsConnected() && !connection.m_bSocketOpen)
        m_target.Post({platform::WM_SERVER_MSG, -1, 0, {}});
}

// ---- Buttons ----

void CLauncherController::OnStart() {
    if (!m_owner.IsRunning())
        return;  // closing: nothing new starts
    if (m_strGameName.empty()) {
        config::ShowText("UnSelectServer", 'G');
        return;
    }
    m_view.EnableStart(false);
    if (m_bReady && Login() == 0) {
        if (!m_bKeepStartDisabled)
            m_view.EnableStart(true);
        return;
    }
    UpdateOrLaunch();
}

// The Start button's second half: the game starts when it may; otherwise the engine fetches the
// checksum list and runs the check pass, which reports its end with WM_UPDATE_DONE (or
// WM_LIST_FAILED). Start stays disabled until then, and after a list that could not be fetched.
void CLauncherController::UpdateOrLaunch() {
    if (m_app.NoCheck() || m_bReady) {
        WindowProc({platform::WM_START_GAME, 0, 0, {}});
        return;
    }
    if (m_updateManager.IsBusy())
        return;
    m_updateManager.StartListPass(m_app.Connection().GetVersionState().checksumFile);
}

// A list that could not be fetched or read: Start stays disabled, as no pass ran.
void CLauncherController::OnListFailed(bool unreadable) {
    const patch::FileOutcome outcome = m_updateManager.ListFailure();
    if (unreadable)
        config::ShowText("ChecksumOpenError_Client", 'E');
    else if (outcome.kind == patch::FileOutcome::Kind::ServerFailed)
        config::ShowText("UnsafeDownloadServer", 'E');
    else if (outcome.kind == patch::FileOutcome::Kind::LocalFailed)
        ShowLocalFileError(outcome);
}

// A file the game folder would not take is the player's to mend, not the server's: say which
// and why.
void CLauncherController::ShowLocalFileError(const patch::FileOutcome& outcome) {
    const char* text =
        config::GetTextOr("Error", "LocalFileError", "无法写入文件 {file}：{reason}");
    platform::ShowMessage(config::FillText(
        platform::AnsiToUtf8(text), {{"{file}", outcome.path}, {"{reason}", outcome.reason}}));
}

void CLauncherController::OnHome() {
    m_view.OpenInBrowser(m_app.Config().homePage);
}

// Customer service opens the home page too.
void CLauncherController::OnHelp() {
    OnHome();
}

// Presses while the window closes (it keeps handling events then) do nothing.
void CLauncherController::OnExit() {
    if (m_nExitPresses++ == 0)
        OnCancel();
}

void CLauncherController::OnCancel() {
    if (m_bClosing)
        return;
    m_bClosing = true;
    StopWorkers();
    m_view.CloseWindow();
}

// No worker waits for the window, so their ends are awaited here; a transfer under way is cut.
void CLauncherController::StopWorkers() {
    m_owner.StopRunning();
    m_updateManager.Stop();
}

// ---- Window messages ----

void CLauncherController::WindowProc(const platform::PostedMessage& message) {
    switch (message.id) {
        case platform::WM_UPDATE_DONE:
            OnUpdateDone();
            break;
        case platform::WM_LIST_FAILED:
            OnListFailed(message.wParam != 0);
            break;
        case platform::WM_START_GAME:
            OnStartGame();
            break;
        case platform::WM_DOWN_FILE:
            OnDownFile(message.text);
            break;
        case platform::WM_DOWN_PROGRESS:
            OnDownProgress(message.wParam);
            break;
        case platform::WM_UPDATE_STATUS:
            m_view.SetStatusText(platform::AnsiToUtf8(message.text));
            break;
        case platform::WM_TOTAL_PROGRESS:
            OnTotalProgress(message.wParam, message.lParam);
            break;
        case platform::WM_DOWN_RANGE:
            m_view.SetDownRange(static_cast<std::uint32_t>(message.wParam));
            break;
        case platform::WM_SERVER_MSG:
            OnServerMessage();
            break;
        case platform::WM_SERVER_NOTIFY:
            OnServerNotify(message.wParam);
            break;
        default:
            break;
    }
}

// From now on the game counts as installed at the server's version, and NotUpdateList.txt no
// longer holds files back. A pass with failed files leaves the game as it was, not ready: Start
// stays the update button, and the next pass fetches what is still wrong.
void CLauncherController::OnUpdateDone() {
    const patch::UpdateResult result = m_updateManager.LastResult();
    if (result.failedFiles > 0) {
        OnUpdateIncomplete(result);
        return;
    }
    m_updateManager.ClearExcludeList();
    protocol::CClientConnection& connection = m_app.Connection();
    connection.SetLocalVersion(connection.GetVersionState().serverVersion);
    m_app.Config().currentGame = m_strGameName;
    m_bReady = true;
    m_view.SetStatusText("更新已完成..");
    UpdateStartButton(true);
}

void CLauncherController::OnUpdateIncomplete(const patch::UpdateResult& result) {
    const char* text =
        config::GetTextOr("Error", "UpdateIncomplete",
                          "更新未完成：{count} 个文件未能更新（{file}），请再次点击更新");
    const std::string count = std::to_string(result.failedFiles);
    const std::string file = platform::AnsiToUtf8(result.firstFailed);
    m_view.SetStatusText(
        result.NoSpace()
            ? patch::DiskSpaceText(result)
            : config::FillText(platform::AnsiToUtf8(text), {{"{count}", count}, {"{file}", file}}));
    UpdateStartButton(true);
    if (result.firstLocal.Failed())
        ShowLocalFileError(result.firstLocal);
}

void CLauncherController::OnStartGame() {
    if (!m_bLoggedIn || !m_owner.IsRunning())
        return;
    const account::LoginSession session = m_app.Session();
    m_gameManager.LaunchGame(m_owner.GameDir(), session.userId, session.userKey, session.underage);
    OnCancel();
}

void CLauncherController::OnDownFile(const std::string& path) {
    m_view.SetStatusText(FirstCharacters(path, kMaxPathText));
}

// The bar shows the bytes of the current file; a read shorter than a block ends the file and
// sets the bar back to 0.
void CLauncherController::OnDownProgress(std::intptr_t bytes) {
    const auto count = static_cast<std::uint32_t>(bytes);
    m_nDownBytes += count;
    if (count < kReadBlock)
        m_nDownBytes = 0;
    m_view.SetDownPosition(m_nDownBytes);
}

void CLauncherController::OnTotalProgress(std::intptr_t done, std::intptr_t range) {
    m_view.SetTotalRange(ClampToInt(range));
    m_view.SetTotalPosition(ClampToInt(done));
}

// The launcher cannot go on without its server: it says so and ends at once.
void CLauncherController::OnServerMessage() {
    m_app.Connection().StopConnection();
    platform::ShowMessage(platform::AnsiToUtf8(config::GetGeneralText("Disconnected")));
    m_exitProcess(0);
}

// The first half of the groups goes to the left tree, the rest (one more when odd) to the right;
// a group of a game the list does not hold shows nowhere.
void CLauncherController::OnServerNotify(std::intptr_t wParam) {
    if (wParam != 1)
        return;
    // Both trees show empty while a recommended group's box is up.
    m_treeLeft.RemoveAllServers();
    m_treeRight.RemoveAllServers();
    m_view.FillTree(TreeSide::Left, m_treeLeft);
    m_view.FillTree(TreeSide::Right, m_treeRight);
    m_lists = m_app.Connection().Directory().Latest();
    const std::size_t count = m_lists->group_list.size();
    for (std::size_t i = 0; i < count; ++i) {
        const protocol::ServerGroup& group = m_lists->group_list[i];
        const protocol::GameRecord* game = m_lists->FindGame(group.game_name);
        if (game == nullptr)
            continue;
        CServerTreeModel& tree = i < count / 2 ? m_treeLeft : m_treeRight;
        tree.AddServerGroup(m_lists, *game, group);
    }
    m_view.FillTree(TreeSide::Left, m_treeLeft);
    m_view.FillTree(TreeSide::Right, m_treeRight);
    UpdateStartButton(true);
}

// ---- Selection ----

// A row under the mouse becomes this tree's selection; otherwise the tree's selected row, if
// any, names the game. Either way the other tree loses its selection.
void CLauncherController::OnTreeFocus(TreeSide side, RowId hitRow) {
    const TreeSide other = side == TreeSide::Left ? TreeSide::Right : TreeSide::Left;
    Tree(other).SelectRow(kNoRow);
    m_view.SelectTreeRow(other, kNoRow);
    CServerTreeModel& tree = Tree(side);
    if (tree.Row(hitRow) != nullptr) {
        tree.SelectRow(hitRow);
        m_view.SelectTreeRow(side, hitRow);
        SelectGameOf(side, hitRow);
        return;
    }
    SelectGameOf(side, tree.SelectedRow());
}

// A change by keyboard moves the selection the game start reads, but selects no game.
void CLauncherController::OnTreeSelChanged(TreeSide side, RowId selectedRow, RowId hitRow) {
    Tree(side).SelectRow(selectedRow);
    SelectGameOf(side, hitRow);
}

void CLauncherController::SelectGameOf(TreeSide side, RowId row) {
    const FServerItem* item = Tree(side).Row(row);
    if (item != nullptr && item->game != nullptr)
        SelectGame(*item->game);
}

void CLauncherController::SelectGame(const protocol::GameRecord& game) {
    if (game.name == m_strGameName)
        return;
    m_strGameName = game.name;
    // A game Launcher.ini does not list gets an empty entry (no version, no account service).
    m_pGameInfo = &m_app.Config().games[game.name];
    m_owner.SetGameDir(m_commonManager.GameDir());
    m_owner.SetUpdateUrl(game.update_url);
    m_bReady = m_app.NoCheck();
    UpdateStartButton(false);
}

void CLauncherController::UpdateStartButton(bool enable) {
    m_view.SetStartImages(m_bReady ? "Start" : "Update");
    if (enable)
        m_view.EnableStart(true);
}

// ---- Login ----

// The left tree's selection, else the right one's. (A tree used before that has lost its
// selection since gives none either.)
launch::ServerSelection CLauncherController::SelectedServer() const {
    for (const CServerTreeModel* tree : {&m_treeLeft, &m_treeRight}) {
        if (tree->HasSelectedItem())
            return tree->GetSelectedServer().value_or(launch::ServerSelection{});
    }
    return {};
}

int CLauncherController::Login() {
    m_bKeepStartDisabled = false;
    if (m_updateManager.IsBusy())
        return 0;
    std::string gameDir = m_commonManager.GameDir();
    m_owner.SetGameDir(gameDir);
    if (gameDir.empty()) {
        config::ShowText("VersionNeedInstall", 'E');
        return 0;
    }
    if (m_gameManager.CheckSelection(SelectedServer(), m_owner.UpdateUrl()) == 0)
        return 0;

    account::LoginRequest request{m_view.UserNameText(), m_view.PasswordText(),
                                  m_pGameInfo != nullptr ? m_pGameInfo->authDomain : std::string()};
    account::CAccountLogin login(
        std::move(request),
        [this](const std::string& domain, const std::string& mobile, platform::HttpClient& http) {
            return m_view.MakeSmsCodePrompt(domain, mobile, http);
        });
    const std::optional<account::LoginSession> session = login.Login();
    m_bKeepStartDisabled = login.KeepsStartDisabled();
    if (!session)
        return 0;
    m_app.StoreSession(*session);
    m_bLoggedIn = true;
    return 1;
}

}  // namespace frontend
