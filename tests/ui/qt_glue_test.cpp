// The Qt end of the message-box seam: a box asked for on any thread shows on the GUI thread.

#include <chrono>
#include <functional>
#include <future>
#include <string>

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "platform/message_box.h"
#include "support/message_box_recorder.h"
#include "ui/qt_message_box.h"

namespace {

// A server's text with markup in it is shown as it came, not rendered (nor a file it names loaded).
TEST(QtMessageBox, ABoxFromAWorkerShowsOnTheGuiThreadOwnedByTheMainWindow) {
    QWidget mainWindow;
    mainWindow.show();
    const quend::test::MessageBoxRecorder restores;  // the handler before it, at the end
    ui::InstallQtMessageBox([&mainWindow] { return &mainWindow; });
    platform::SetMessageCaption("Launcher");

    // Closes the box with OK once it is up, noting what it looked like.
    std::string seen;
    std::function<void()> closeBox = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return QTimer::singleShot(20, closeBox);
        seen = (box->windowTitle() + "|" + box->text()).toStdString() + "|" +
               std::to_string(box->buttons().size()) +
               (box->parentWidget() == &mainWindow ? " owned" : " unowned") +
               (box->thread() == qApp->thread() ? " gui" : " worker") +
               (box->textFormat() == Qt::PlainText ? " plain" : " markup");
        box->button(QMessageBox::Ok)->click();
    };
    QTimer::singleShot(20, closeBox);
    auto worker = std::async(std::launch::async, [] {
        platform::ShowMessage("<img src=\"/etc/x.png\"><b>密码错误</b>");
    });
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return worker.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        10000));
    EXPECT_EQ(seen, "Launcher|<img src=\"/etc/x.png\"><b>密码错误</b>|1 owned gui plain");
}

}  // namespace
