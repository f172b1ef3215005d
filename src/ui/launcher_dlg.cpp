#include "ui/launcher_dlg.h"

#include <utility>

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

#include "platform/codepage.h"
#include "ui/skin_bitmap.h"
#include "ui/sms_code_dlg.h"

namespace ui {
namespace {

using frontend::RowId;
using frontend::TreeSide;

// Template 102 in dialog units of its 9-point font: 1.5 pixels each way.
QRect TemplateRect(int x, int y, int width, int height) {
    const auto px = [](int units) { return (units * 3 + 1) / 2; };
    return {px(x), px(y), px(width), px(height)};
}

QRect ToQRect(const frontend::SkinRect& rect) {
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

CLauncherDlg::CLauncherDlg(frontend::LauncherHost& app, ExitHook exitProcess)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint),
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
      m_controller(app, *this, m_target, std::move(exitProcess)) {
    CreateControls();
    ConnectControls();
    LoadBackground();
    OnInitDialog();
}

// The rules go first (a member declared last): they stop the workers, which post to the target.
CLauncherDlg::~CLauncherDlg() = default;

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
    connect(&m_btnStart, &QAbstractButton::clicked, this, [this] { m_controller.OnStart(); });
    connect(&m_btnHome, &QAbstractButton::clicked, this, [this] { m_controller.OnHome(); });
    connect(&m_btnHelp, &QAbstractButton::clicked, this, [this] { m_controller.OnHelp(); });
    connect(&m_btnExit, &QAbstractButton::clicked, this, [this] { m_controller.OnExit(); });
    for (const TreeSide side : {TreeSide::Left, TreeSide::Right}) {
        connect(&Tree(side), &CServerTree::focusGained, this, [this, side] { OnTreeFocus(side); });
        connect(&Tree(side), &CServerTree::selChanged, this,
                [this, side] { OnTreeSelChanged(side); });
    }
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
    LayoutSkin();
    m_controller.OnInitDialog();
}

void CLauncherDlg::LayoutSkin() {
    m_layout = m_skin.ReadLayout();
    const frontend::SkinLayout& l = m_layout;
    m_editUser.SetBackground(l.userBox, Qt::white);
    m_editPassword.SetBackground(l.passwordBox, Qt::white);
    const std::pair<QWidget*, frontend::SkinRect> places[] = {
        {&m_btnStart, l.gameButton},
        {&m_editUser, l.userName},
        {&m_editPassword, l.password},
        {&m_treeLeft, l.leftTree},
        {&m_treeRight, l.rightTree},
        {&m_editFileView, l.fileView},
        {&m_progDown, l.downProgress},
        {&m_progTotal, l.totalProgress},
        {&m_webCashItem, l.cashItem},
        {&m_webNotice, l.notice},
        {&m_webOneLine, l.oneLineNotice},
        {&m_btnHome, l.home},
        {&m_btnHelp, l.help},
        {&m_btnExit, l.exit},
    };
    for (const auto& [control, rect] : places)
        control->setGeometry(ToQRect(rect));
    for (CServerTree* tree : {&m_treeLeft, &m_treeRight}) {
        tree->SetBkColor(Qt::black);
        tree->SetTextColor(Qt::white);
    }
    m_progDown.setStyleSheet(ProgressStyle(QColor(174, 112, 65)));
    m_progTotal.setStyleSheet(ProgressStyle(QColor(250, 227, 141)));
    m_btnStart.SetImages(l.start);
    m_btnHome.SetImages(l.homeButton);
    m_btnHelp.SetImages(l.helpButton);
    m_btnExit.SetImages(l.exitButton);
}

// ---- Window events ----

bool CLauncherDlg::event(QEvent* event) {
    if (event->type() == CPostedEvent::EventType()) {
        m_controller.WindowProc(static_cast<CPostedEvent*>(event)->Message());
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
    m_controller.OnCancel();
}

// ---- What the rules show ----

void CLauncherDlg::SetStartImages(const std::string& imageSet) {
    m_btnStart.SetImages(m_skin, imageSet);
    m_btnStart.update();
}

void CLauncherDlg::EnableStart(bool enable) {
    m_btnStart.setEnabled(enable);
}

void CLauncherDlg::SetStatusText(const std::string& text) {
    m_editFileView.setText(QString::fromStdString(text));
}

void CLauncherDlg::SetDownRange(std::uint32_t range) {
    m_progDown.setRange(0, static_cast<int>(range));
}

void CLauncherDlg::SetDownPosition(std::uint32_t position) {
    m_progDown.setValue(static_cast<int>(position));
}

void CLauncherDlg::SetTotalRange(int range) {
    m_progTotal.setRange(0, range);
}

void CLauncherDlg::SetTotalPosition(int position) {
    m_progTotal.setValue(position);
}

CServerTree& CLauncherDlg::Tree(TreeSide side) {
    return side == TreeSide::Left ? m_treeLeft : m_treeRight;
}

void CLauncherDlg::FillTree(TreeSide side, const frontend::CServerTreeModel& model) {
    Tree(side).Fill(model);
}

void CLauncherDlg::SelectTreeRow(TreeSide side, RowId row) {
    Tree(side).SelectRow(row);
}

std::string CLauncherDlg::UserNameText() const {
    return m_editUser.text().toStdString();
}

std::string CLauncherDlg::PasswordText() const {
    return m_editPassword.text().toStdString();
}

std::unique_ptr<account::SmsCodePrompt> CLauncherDlg::MakeSmsCodePrompt(
    const std::string& domain, const std::string& mobile, platform::HttpClient& http) {
    return std::make_unique<CSmsCodeDlg>(domain, mobile, http, this);
}

void CLauncherDlg::Navigate(frontend::WebPanel panel, const std::string& url) {
    switch (panel) {
        case frontend::WebPanel::Home:
            return m_webHome.Navigate(url);
        case frontend::WebPanel::CashItem:
            return m_webCashItem.Navigate(url);
        case frontend::WebPanel::Notice:
            return m_webNotice.Navigate(url);
        case frontend::WebPanel::OneLine:
            return m_webOneLine.Navigate(url);
    }
}

void CLauncherDlg::OpenInBrowser(const std::string& url) {
    QDesktopServices::openUrl(
        QUrl(QString::fromStdString(platform::AnsiToUtf8(url)), QUrl::TolerantMode));
}

void CLauncherDlg::CloseWindow() {
    QDialog::reject();
}

// ---- Tree events: the mouse position is the window's to read ----

void CLauncherDlg::OnTreeFocus(TreeSide side) {
    const CServerTree::FHitTest hit = Tree(side).HitTest(QCursor::pos());
    m_controller.OnTreeFocus(side, hit.onItem ? hit.row : frontend::kNoRow);
}

void CLauncherDlg::OnTreeSelChanged(TreeSide side) {
    const CServerTree::FHitTest hit = Tree(side).HitTest(QCursor::pos());
    m_controller.OnTreeSelChanged(side, Tree(side).SelectedRow(),
                                  hit.onItem ? hit.row : frontend::kNoRow);
}

}  // namespace ui
