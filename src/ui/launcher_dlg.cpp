#include "ui/launcher_dlg.h"

#include <algorithm>
#include <climits>
#include <utility>

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <QWindow>

#include "account/account_login.h"
#include "config/text_table.h"
#include "platform/codepage.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/window_messages.h"
#include "ui/skin_bitmap.h"
#include "ui/sms_code_dlg.h"

namespace ui {
namespace {

// The download side reads a reply in blocks of this size; a shorter read ends a file.
constexpr std::uint32_t kReadBlock = 0x50000;
// WM_DOWN_FILE carries at most this many characters.
constexpr int kMaxPathText = 259;

// Template 102 in dialog units of its 9-point font: 1.5 pixels each way.
QRect TemplateRect(int x, int y, int width, int height) {
    const auto px = [](int units) { return (units * 3 + 1) / 2; };
    return {px(x), px(y), px(width), px(height)};
}

QRect ToQRect(const SkinRect& rect) {
    return {rect.left, rect.top, rect.width(), rect.height()};
}

// The application icon: a gold ring with a dark core.
QIcon LauncherIcon() {
    QPixmap image(32, 32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(250, 227, 141));
    painter.setPen(QPen(QColor(174, 112, 65), 3));
    painter.drawEllipse(3, 3, 26, 26);
    painter.setBrush(QColor(40, 24, 12));
    painter.drawEllipse(11, 11, 10, 10);
    return QIcon(image);
}

QString ProgressStyle(const QColor& bar) {
    return QStringLiteral(
               "QProgressBar { background-color: #000000; border: none; }"
               "QProgressBar::chunk { background-color: %1; }")
        .arg(bar.name());
}

}  // namespace

CLauncherDlg::CLauncherDlg(LauncherDlgHost& app, ExitHook exitProcess)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint),
      m_app(app),
      m_exitProcess(exitProcess ? std::move(exitProcess) : ExitHook(platform::ExitProcessNow)),
      m_skin(app.SkinIni(), app.ResourcePath()),
      m_editFileView(this),
      m_editUser(this),
      m_editPassword(this),
      m_btnStart(this),
      m_btnHome(this),
      m_btnHelp(this),
      m_btnExit(this),
      m_progTotal(this),
      m_progDown(this),
      m_webHome(this),
      m_webCashItem(this),
      m_webOneLine(this),
      m_webNotice(this),
      m_treeLeft(this),
      m_treeRight(this),
      m_target(this),
      m_updateManager(*this, platform::MessageCaption()),
      m_gameManager(m_exitProcess) {
    CreateControls();
    ConnectControls();
    LoadBackground();
    OnInitDialog();
}

CLauncherDlg::~CLauncherDlg() {
    m_app.Connection().SetMainWindow(nullptr);
    if (!m_bClosing) {
        m_bClosing = true;
        StopWorkers();
    }
    m_target.Detach();
}

// ---- Opening ----

// The controls of template 102 where the template puts them; the skin moves most of them.
void CLauncherDlg::CreateControls() {
    setFont(QFont(QStringLiteral("SimSun"), 9));
    resize(TemplateRect(0, 0, 598, 337).size());
    struct TemplateControl {
        QWidget* control;
        const char* name;  // as the skin names its rectangle; tests find the control by it
        int x, y, width, height;
    };
    const TemplateControl controls[] = {
        {&m_progDown, "DownProgress", 133, 278, 208, 10},
        {&m_progTotal, "TotalProgress", 133, 296, 208, 9},
        {&m_editFileView, "FileView", 134, 259, 208, 12},
        {&m_btnStart, "GameButton", 200, 235, 58, 24},
        {&m_webHome, "webHome", 408, 46, 166, 89},
        {&m_treeLeft, "LSVRTree", 99, 94, 79, 91},
        {&m_treeRight, "RSVRTree", 7, 94, 85, 91},
        {&m_webCashItem, "CashItem", 7, 242, 92, 87},
        {&m_webOneLine, "OneLineNotice", 409, 169, 166, 11},
        {&m_webNotice, "Notice", 407, 210, 166, 104},
        {&m_btnHome, "Home", 7, 7, 26, 12},
        {&m_btnHelp, "Help", 43, 7, 58, 12},
        {&m_btnExit, "Exit", 540, 7, 47, 16},
        {&m_editUser, "UserName", 275, 113, 40, 14},
        {&m_editPassword, "Password", 275, 145, 40, 14},
    };
    for (const TemplateControl& c : controls) {
        c.control->setGeometry(TemplateRect(c.x, c.y, c.width, c.height));
        c.control->setObjectName(QString::fromLatin1(c.name));
    }
    m_editFileView.setReadOnly(true);
    m_editFileView.setEnabled(false);
    m_editPassword.setEchoMode(QLineEdit::Password);
    // Captions that the skinned buttons never draw.
    m_btnStart.setText(QStringLiteral("开始游戏"));
    m_btnHome.setText(QStringLiteral("主页"));
    m_btnHelp.setText(QStringLiteral("联系客服"));
    m_btnExit.setText(QStringLiteral("Exit"));
    for (QProgressBar* bar : {&m_progDown, &m_progTotal})
        bar->setTextVisible(false);
}

void CLauncherDlg::ConnectControls() {
    connect(&m_btnStart, &QAbstractButton::clicked, this, [this] { OnStart(); });
    connect(&m_btnHome, &QAbstractButton::clicked, this, [this] { OnHome(); });
    connect(&m_btnHelp, &QAbstractButton::clicked, this, [this] { OnHelp(); });
    connect(&m_btnExit, &QAbstractButton::clicked, this, [this] { OnExit(); });
    connect(&m_treeLeft, &CServerTree::focusGained, this,
            [this] { OnTreeFocus(m_treeLeft, m_treeRight); });
    connect(&m_treeRight, &CServerTree::focusGained, this,
            [this] { OnTreeFocus(m_treeRight, m_treeLeft); });
    connect(&m_treeLeft, &CServerTree::selChanged, this, [this] { OnTreeSelChanged(m_treeLeft); });
    connect(&m_treeRight, &CServerTree::selChanged, this,
            [this] { OnTreeSelChanged(m_treeRight); });
}

// The background sets the window's size; without it the window keeps its template size.
void CLauncherDlg::LoadBackground() {
    if (!m_bmpBack.isNull())
        return;
    QPixmap image = LoadSkinBitmap(m_skin.GetSkinImagePath("MainDialog"));
    if (image.isNull())
        return;
    m_bmpBack = std::move(image);
    setFixedSize(m_bmpBack.size());
}

void CLauncherDlg::OnInitDialog() {
    setWindowIcon(LauncherIcon());
    setWindowTitle(QString::fromLatin1(kTitle));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    m_updateManager.StartDownloadThread();
    LayoutSkin();
    ListenToServer();
}

void CLauncherDlg::LayoutSkin() {
    m_commonManager.SetOwner(this);
    m_gameManager.SetOwner(this);
    m_updateManager.LoadExcludeList();
    m_updateManager.SetPostProgress(true);
    m_progDown.setValue(0);
    m_progTotal.setValue(0);

    // The order of these reads is the order in which a broken skin reports its keys.
    m_rcGameButton = m_skin.GetSkinRect("GameButton");
    m_rcDownProgress = m_skin.GetSkinRect("DownProgress");
    m_rcTotalProgress = m_skin.GetSkinRect("TotalProgress");
    m_rcCashItem = m_skin.GetSkinRect("CashItem");
    m_rcNotice = m_skin.GetSkinRect("Notice");
    m_rcOneLineNotice = m_skin.GetSkinRect("OneLineNotice");
    m_rcHome = m_skin.GetSkinRect("Home");
    m_rcHelp = m_skin.GetSkinRect("Help");
    m_rcExit = m_skin.GetSkinRect("Exit");
    m_rcUserName = m_skin.GetSkinRect("UserName");
    m_rcPassword = m_skin.GetSkinRect("Password");
    m_editUser.SetBackground(m_skin.GetSkinImagePath("TextBox"), Qt::white);
    m_editPassword.SetBackground(m_skin.GetSkinImagePath("TextBox"), Qt::white);
    const SkinRect left = m_skin.GetSkinRect("LSVRTree");
    const SkinRect right = m_skin.GetSkinRect("RSVRTree");
    const SkinRect fileView = m_skin.GetSkinRect("FileView");
    PlaceControls(fileView, left, right);

    for (CServerTree* tree : {&m_treeLeft, &m_treeRight}) {
        tree->SetBkColor(Qt::black);
        tree->SetTextColor(Qt::white);
    }
    ColourProgressBars();
    m_btnStart.setEnabled(m_app.IsConnected());
    m_btnStart.SetImages(m_skin, "Start");
    m_btnHome.SetImages(m_skin, "Home");
    m_btnHelp.SetImages(m_skin, "Help");
    m_btnExit.SetImages(m_skin, "Exit");
    NavigatePanels();
}

void CLauncherDlg::PlaceControls(const SkinRect& fileView, const SkinRect& left,
                                 const SkinRect& right) {
    m_btnStart.setGeometry(ToQRect(m_rcGameButton));
    m_editUser.setGeometry(ToQRect(m_rcUserName));
    m_editPassword.setGeometry(ToQRect(m_rcPassword));
    m_treeLeft.setGeometry(ToQRect(left));
    m_treeRight.setGeometry(ToQRect(right));
    m_editFileView.setGeometry(ToQRect(fileView));
    m_progDown.setGeometry(ToQRect(m_rcDownProgress));
    m_progTotal.setGeometry(ToQRect(m_rcTotalProgress));
    m_webCashItem.setGeometry(ToQRect(m_rcCashItem));
    m_webNotice.setGeometry(ToQRect(m_rcNotice));
    m_webOneLine.setGeometry(ToQRect(m_rcOneLineNotice));
    m_btnHome.setGeometry(ToQRect(m_rcHome));
    m_btnHelp.setGeometry(ToQRect(m_rcHelp));
    m_btnExit.setGeometry(ToQRect(m_rcExit));
}

void CLauncherDlg::ColourProgressBars() {
    m_progDown.setStyleSheet(ProgressStyle(QColor(174, 112, 65)));
    m_progTotal.setStyleSheet(ProgressStyle(QColor(250, 227, 141)));
}

// The panels stay hidden; each loads its page once, as the window opens.
void CLauncherDlg::NavigatePanels() {
    const LauncherConfig& config = m_app.Connection().m_config;
    m_webHome.Navigate(config.homePage);
    m_webCashItem.Navigate(config.cashItemList);
    m_webNotice.Navigate(config.notice);
    m_webOneLine.Navigate(config.onelineNotice);
}

// Start-up asked for the server lists before this window existed: lists that arrived since fill
// the trees at once, and a connection lost meanwhile is reported as if it happened now.
void CLauncherDlg::ListenToServer() {
    protocol::CClientConnection& connection = m_app.Connection();
    connection.SetMainWindow(&m_target);
    if (!connection.Directory().Latest()->group_list.empty())
        m_target.Post({platform::WM_SERVER_NOTIFY, 1, 0, {}});
    if (m_app.IsConnected() && !connection.m_bSocketOpen)
        m_target.Post({platform::WM_SERVER_MSG, -1, 0, {}});
}

// ---- Window events ----

bool CLauncherDlg::event(QEvent* event) {
    if (event->type() == CPostedEvent::EventType()) {
        WindowProc(static_cast<CPostedEvent*>(event)->Message());
        return true;
    }
    return QDialog::event(event);
}

void CLauncherDlg::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (m_bmpBack.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawPixmap(0, 0, m_bmpBack);
}

// A press on the window's own surface drags the window.
void CLauncherDlg::mousePressEvent(QMouseEvent* event) {
    QDialog::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    if (windowHandle() != nullptr && windowHandle()->startSystemMove())
        return;
    // The platform cannot move the window itself: follow the mouse here.
    m_bDragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CLauncherDlg::mouseMoveEvent(QMouseEvent* event) {
    QDialog::mouseMoveEvent(event);
    if (m_bDragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - m_dragOffset);
}

void CLauncherDlg::mouseReleaseEvent(QMouseEvent* event) {
    QDialog::mouseReleaseEvent(event);
    m_bDragging = false;
}

// Enter and Escape reach the focused control but never start anything or close the window.
void CLauncherDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CLauncherDlg::reject() {
    OnCancel();
}

// ---- Buttons ----

void CLauncherDlg::OnStart() {
    if (m_bRunning == 0)
        return;  // closing: nothing new starts
    if (m_strGameName.empty()) {
        ShowText("UnSelectServer", 'G');
        return;
    }
    m_btnStart.setEnabled(false);
    if (m_bReady != 0 && Login() == 0) {
        m_btnStart.setEnabled(true);
        return;
    }
    UpdateOrLaunch();
}

// The Start button's second half: the game starts when it may; otherwise the checksum list is
// fetched and the check pass started, which reports its end with WM_UPDATE_DONE.
void CLauncherDlg::UpdateOrLaunch() {
    if (m_app.NoCheck() || m_bReady != 0) {
        WindowProc({platform::WM_START_GAME, 0, 0, {}});
        return;
    }
    if (IsBusy())
        return;
    const std::string list = m_app.Connection().GetVersionState().checksumFile;
    const FileOutcome outcome = m_updateManager.FetchChecksumList(list);
    if (outcome.kind == FileOutcome::Kind::ServerFailed)
        ShowText("UnsafeDownloadServer", 'E');
    else if (outcome.kind == FileOutcome::Kind::LocalFailed)
        ShowLocalFileError(outcome);
}

// A file the game folder would not take is the player's to mend, not the server's: say which
// and why.
void CLauncherDlg::ShowLocalFileError(const FileOutcome& outcome) {
    const char* text = GetTextOr("Error", "LocalFileError", "无法写入文件 {file}：{reason}");
    platform::ShowMessage(FillText(platform::AnsiToUtf8(text),
                                   {{"{file}", outcome.path}, {"{reason}", outcome.reason}}));
}

void CLauncherDlg::OnHome() {
    const std::string& page = m_app.Connection().m_config.homePage;
    QDesktopServices::openUrl(
        QUrl(QString::fromStdString(platform::AnsiToUtf8(page)), QUrl::TolerantMode));
}

// Customer service opens the home page too.
void CLauncherDlg::OnHelp() {
    OnHome();
}

// Presses while the window closes (it keeps handling events then) do nothing.
void CLauncherDlg::OnExit() {
    if (m_nExitPresses++ == 0)
        OnCancel();
}

void CLauncherDlg::OnCancel() {
    if (m_bClosing)
        return;
    m_bClosing = true;
    StopWorkers();
    QDialog::reject();
}

// No worker waits for this window, so their ends are awaited here; a transfer under way is cut.
void CLauncherDlg::StopWorkers() {
    m_bRunning = 0;
    m_updateManager.Stop();
}

// ---- Window messages ----

void CLauncherDlg::WindowProc(const platform::PostedMessage& message) {
    switch (message.id) {
        case platform::WM_UPDATE_DONE:
            OnUpdateDone();
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
            m_editFileView.setText(QString::fromStdString(platform::AnsiToUtf8(message.text)));
            break;
        case platform::WM_TOTAL_PROGRESS:
            OnTotalProgress(message.wParam, message.lParam);
            break;
        case platform::WM_DOWN_RANGE:
            m_progDown.setRange(0, static_cast<int>(static_cast<std::uint32_t>(message.wParam)));
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
void CLauncherDlg::OnUpdateDone() {
    const UpdateResult result = m_updateManager.LastResult();
    if (result.failedFiles > 0) {
        OnUpdateIncomplete(result);
        return;
    }
    m_updateManager.ClearExcludeList();
    protocol::CClientConnection& connection = m_app.Connection();
    connection.SetLocalVersion(connection.GetVersionState().serverVersion);
    connection.m_config.currentGame = m_strGameName;
    m_bReady = 1;
    m_editFileView.setText(QStringLiteral("更新已完成.."));
    UpdateStartButton(true);
}

void CLauncherDlg::OnUpdateIncomplete(const UpdateResult& result) {
    const char* text = GetTextOr("Error", "UpdateIncomplete",
                                 "更新未完成：{count} 个文件未能更新（{file}），请再次点击更新");
    const std::string count = std::to_string(result.failedFiles);
    const std::string file = platform::AnsiToUtf8(result.firstFailed);
    m_editFileView.setText(QString::fromStdString(
        result.NoSpace()
            ? DiskSpaceText(result)
            : FillText(platform::AnsiToUtf8(text), {{"{count}", count}, {"{file}", file}})));
    UpdateStartButton(true);
    if (result.firstLocal.Failed())
        ShowLocalFileError(result.firstLocal);
}

void CLauncherDlg::OnStartGame() {
    if (m_bLoggedIn == 0 || m_bRunning == 0)
        return;
    m_gameManager.LaunchGame(m_app.UserId(), m_app.UserKey(), m_app.Underage());
    OnCancel();
}

void CLauncherDlg::OnDownFile(const std::string& path) {
    m_editFileView.setText(QString::fromStdString(path).left(kMaxPathText));
}

// The bar shows the bytes of the current file; a read shorter than a block ends the file and
// sets the bar back to 0.
void CLauncherDlg::OnDownProgress(std::intptr_t bytes) {
    const auto count = static_cast<std::uint32_t>(bytes);
    m_nDownBytes += count;
    if (count < kReadBlock)
        m_nDownBytes = 0;
    m_progDown.setValue(static_cast<int>(m_nDownBytes));
}

void CLauncherDlg::OnTotalProgress(std::intptr_t done, std::intptr_t range) {
    m_progTotal.setRange(0, static_cast<int>(std::clamp<std::intptr_t>(range, 0, INT_MAX)));
    m_progTotal.setValue(static_cast<int>(std::clamp<std::intptr_t>(done, 0, INT_MAX)));
}

// The launcher cannot go on without its server: it says so and ends at once.
void CLauncherDlg::OnServerMessage() {
    m_app.Connection().StopConnection();
    platform::ShowMessage(platform::AnsiToUtf8(GetGeneralText("Disconnected")));
    m_exitProcess(0);
}

// The first half of the groups goes to the left tree, the rest (one more when odd) to the right;
// a group of a game the list does not hold shows nowhere.
void CLauncherDlg::OnServerNotify(std::intptr_t wParam) {
    if (wParam != 1)
        return;
    m_treeLeft.RemoveAllServers();
    m_treeRight.RemoveAllServers();
    m_lists = m_app.Connection().Directory().Latest();
    const std::size_t count = m_lists->group_list.size();
    for (std::size_t i = 0; i < count; ++i) {
        const protocol::ServerGroup& group = m_lists->group_list[i];
        const protocol::GameRecord* game = m_lists->FindGame(group.game_name);
        if (game == nullptr)
            continue;
        CServerTree& tree = i < count / 2 ? m_treeLeft : m_treeRight;
        tree.AddServerGroup(m_lists, *game, group);
    }
    UpdateStartButton(true);
}

// ---- Selection ----

void CLauncherDlg::OnTreeFocus(CServerTree& tree, CServerTree& other) {
    other.SelectRow(nullptr);
    const CServerTree::FHitTest hit = tree.HitTest(QCursor::pos());
    if (hit.row != nullptr && hit.onItem) {
        tree.SelectRow(hit.row);
        SelectGameOf(tree.ItemData(hit.row));
        return;
    }
    QTreeWidgetItem* selected = tree.SelectedRow();
    if (selected != nullptr)
        SelectGameOf(tree.ItemData(selected));
}

// Only a row under the mouse selects a game; a change by keyboard does not.
void CLauncherDlg::OnTreeSelChanged(CServerTree& tree) {
    const CServerTree::FHitTest hit = tree.HitTest(QCursor::pos());
    if (hit.row != nullptr && hit.onItem)
        SelectGameOf(tree.ItemData(hit.row));
}

void CLauncherDlg::SelectGameOf(const FServerItem* item) {
    if (item != nullptr && item->game != nullptr)
        SelectGame(*item->game);
}

void CLauncherDlg::SelectGame(const protocol::GameRecord& game) {
    if (game.name == m_strGameName)
        return;
    m_strGameName = game.name;
    // An unlisted game gets an empty entry of its own: the receive thread reads the games of
    // the configuration, so the table itself is not changed here.
    const auto& games = m_app.Connection().m_config.games;
    const auto found = games.find(game.name);
    m_unlistedGame = GameInfo{};
    m_pGameInfo = found != games.end() ? &found->second : &m_unlistedGame;
    m_commonManager.FillGameDir();
    {
        std::lock_guard lock(m_selectionMutex);
        m_strUpdateUrl = game.update_url;
    }
    m_bReady = m_app.NoCheck() ? 1 : 0;
    UpdateStartButton(false);
}

void CLauncherDlg::UpdateStartButton(bool enable) {
    m_btnStart.SetImages(m_skin, m_bReady != 0 ? "Start" : "Update");
    m_btnStart.update();
    if (enable)
        m_btnStart.setEnabled(true);
}

// ---- Login ----

int CLauncherDlg::Login() {
    return CAccountLogin(*this).Login();
}

int CLauncherDlg::CheckSelection() {
    m_checkedLists = m_lists;
    return m_gameManager.CheckSelection();
}

std::string CLauncherDlg::UserNameText() const {
    return m_editUser.text().toStdString();
}

std::string CLauncherDlg::PasswordText() const {
    return m_editPassword.text().toStdString();
}

std::unique_ptr<SmsCodePrompt> CLauncherDlg::MakeSmsCodePrompt(const std::string& domain,
                                                               const std::string& mobile,
                                                               platform::HttpClient& http) {
    return std::make_unique<CSmsCodeDlg>(domain, mobile, http, this);
}

void CLauncherDlg::StoreSession(const std::string& userId, const std::string& userKey,
                                const std::string& underage) {
    m_app.StoreSession(userId, userKey, underage);
    m_bLoggedIn = 1;
}

// ---- Owner members for the workers ----

std::string CLauncherDlg::GameDir() const {
    std::lock_guard lock(m_selectionMutex);
    return m_szGameDir;
}

std::string CLauncherDlg::UpdateUrl() const {
    std::lock_guard lock(m_selectionMutex);
    return m_strUpdateUrl;
}

void CLauncherDlg::SetGameDir(std::string dir) {
    std::lock_guard lock(m_selectionMutex);
    m_szGameDir = std::move(dir);
}

}  // namespace ui
