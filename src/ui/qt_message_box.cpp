#include "ui/qt_message_box.h"

#include <cstdio>
#include <string>
#include <utility>

#include <QApplication>
#include <QMessageBox>

#include "platform/message_box.h"
#include "ui/qt_message_target.h"

namespace ui {

void ShowQtMessageBox(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    // Texts come from servers too; markup in them is shown as typed, as the Windows edition does.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void InstallQtMessageBox(std::function<QWidget*()> mainWindow) {
    platform::SetMessageHandler([mainWindow = std::move(mainWindow)](const std::string& caption,
                                                                     const std::string& text) {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
            return;
        }
        const auto show = [&] {
            QWidget* owner = QApplication::activeModalWidget();
            if (owner == nullptr && mainWindow)
                owner = mainWindow();
            ShowQtMessageBox(owner, QString::fromStdString(caption), QString::fromStdString(text));
        };
        RunOnThreadOf(app, show);
    });
}

}  // namespace ui
