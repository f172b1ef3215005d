#include "ui/my_button.h"

#include <utility>

#include <QMouseEvent>
#include <QPainter>

#include "ui/skin_bitmap.h"

namespace ui {

CMyButton::CMyButton(QWidget* parent) : QAbstractButton(parent) {
    // Moves are needed without a pressed button to notice the mouse arriving.
    setMouseTracking(true);
}

void CMyButton::SetImages(const frontend::CSkin& skin, const std::string& base) {
    SetImages(skin.GetButtonImages(base));
}

void CMyButton::SetImages(frontend::ButtonImages images) {
    m_images = std::move(images);
}

void CMyButton::SetImagePaths(std::string normal, std::string over, std::string push,
                              std::string disable) {
    SetImages({std::move(normal), std::move(over), std::move(push), std::move(disable)});
}

const std::string& CMyButton::CurrentImagePath() const {
    return m_images.For(isDown(), m_bHover, isEnabled());
}

QSize CMyButton::sizeHint() const {
    const QPixmap image = LoadSkinBitmap(m_images.normal);
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
    if (over == (m_bHover)) {
        return;
    }
    m_bHover = over;
    update();
}

void CMyButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    if (m_bHover) {
        m_bHover = false;
        update();
    }
}

}  // namespace ui
