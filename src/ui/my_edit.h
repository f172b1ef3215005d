#pragma once
// A skinned one-line text box: a bitmap tiled from the box's origin as its background and a
// fixed text colour; the whole box is repainted after each change so typed text leaves no
// traces on the image. GUI thread only.

#include <string>

#include <QBrush>
#include <QColor>
#include <QLineEdit>
#include <QPixmap>

namespace ui {

class CMyEdit final : public QLineEdit {
    Q_OBJECT

public:
    explicit CMyEdit(QWidget* parent = nullptr);

    // A box whose image cannot be loaded keeps the platform's default look.
    void SetBackground(const std::string& path, const QColor& text);

    bool HasBackground() const { return !m_bmpBackground.isNull(); }

private:
    QColor m_crText;
    QPixmap m_bmpBackground;
    QBrush m_brBack;
};

}  // namespace ui
