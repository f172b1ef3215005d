#include "ui/explorer.h"

namespace ui {

CExplorer1::CExplorer1(QWidget* parent) : QWidget(parent) {
    // Explicitly hidden, so that showing the window does not show the panel.
    hide();
}

}  // namespace ui
