#pragma once
// A skinned push button: shows one of four images by state (pressed, mouse over, disabled,
// normal) at its own size from the top-left corner and never draws its caption. GUI thread only.

#include <string>

#include <QAbstractButton>

#include "frontend/skin.h"

namespace ui {

class CMyButton final : public QAbstractButton {
    Q_OBJECT

public:
    explicit CMyButton(QWidget* parent = nullptr);

    // The images of base + "Normal", "Over", "Push" and "Disable", read from the skin in this
    // order. No repaint: the new set shows at the next paint.
    void SetImages(const frontend::CSkin& skin, const std::string& base);
    void SetImages(frontend::ButtonImages images);
    void SetImagePaths(std::string normal, std::string over, std::string push, std::string disable);

    // The image path the next paint shows.
    const std::string& CurrentImagePath() const;
    bool IsHover() const { return m_bHover; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_bHover = false;
    frontend::ButtonImages m_images;  // m_strNormal, m_strOver, m_strPush, m_strDisable
};

}  // namespace ui
