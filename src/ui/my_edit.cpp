#include "ui/my_edit.h"

#include <utility>

#include <QPalette>

#include "ui/skin_bitmap.h"

namespace ui {

CMyEdit::CMyEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, [this] { update(); });
}

void CMyEdit::SetBackground(const std::string& path, const QColor& text) {
    QPixmap image = LoadSkinBitmap(path);
    if (!image.isNull()) {
        m_bmpBackground = std::move(image);
    }
    m_crText = text;
    if (m_bmpBackground.isNull()) {
        return;
    }
    m_brBack = QBrush(m_bmpBackground);
    // The image is the box's whole look; the style's frame would cover its edge.
    setFrame(false);
    QPalette colours = palette();
    for (const QPalette::ColorGroup group :
         {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setBrush(group, QPalette::Base, m_brBack);
        colours.setColor(group, QPalette::Text, m_crText);
    }
    setPalette(colours);
}

}  // namespace ui
