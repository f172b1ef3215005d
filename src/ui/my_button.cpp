#include "ui/my_button.h"

#include <utility>

#include <QMouseEvent>
#include <QPainter>

#include "ui/skin.h"
#include "ui/skin_bitmap.h"

namespace ui {

CMyButton::CMyButton(QWidget* parent) : QAbstractButton(parent) {
    // Moves are needed without a pressed button to notice the mouse arriving.
    setMouseTracking(true);
}

void CMyButton::SetImages(const CSkin& skin, const std::string& base) {
    std::string normal = skin.GetSkinImagePath(base + "Normal");
    std::string over = skin.GetSkinImagePath(base + "Over");
    std::string push = skin.GetSkinImagePath(base + "Push");
    std::string disable = skin.GetSkinImagePath(base + "Disable");
    SetImagePaths(std::move(normal), std::move(over), std::move(push), std::move(disable));
}

void CMyButton::SetImagePaths(std::string normal, std::string over, std::string push,
                              std::string disable) {
    m_strNormal = std::move(normal);
    m_strOver = std::move(over);
    m_strPush = std::move(push);
    m_strDisable = std::move(disable);
}

// Pressed wins over hover, and hover over disabled: a button disabled by its own click handler
// keeps showing "Over" while the mouse stays on it.
const std::string& CMyButton::CurrentImagePath() const {
    if (isDown()) {
        return m_strPush;
    }
    if (m_bHover != 0) {
        return m_strOver;
    }
    if (!isEnabled()) {
        return m_strDisable;
    }
    return m_strNormal;
}

QSize CMyButton::sizeHint() const {
    const QPixmap image = LoadSkinBitmap(m_strNormal);
    return image.isNull() ? QSize(0, 0) : image.size();
}

// Read from disk at every paint, so a changed file shows at once.
void CMyButton::paintEvent(QPaintEvent* /*event*/) {
    const QPixmap image = LoadSkinBitmap(CurrentImagePath());
    if (image.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, image);
}

void CMyButton::mouseMoveEvent(QMouseEvent* event) {
    QAbstractButton::mouseMoveEvent(event);
    // While pressed the button sees moves outside itself too: those end the hover.
    const bool over = rect().contains(event->position().toPoint());
    if (over == (m_bHover != 0)) {
        return;
    }
    m_bHover = over ? 1 : 0;
    update();
}

void CMyButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    if (m_bHover != 0) {
        m_bHover = 0;
        update();
    }
}

}  // namespace ui
