// The Qt end of the message-box seam: a box asked for on any thread shows on the GUI thread.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

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
               (box->thread() == qApp->thread() ? " gui" : " worker");
        box->button(QMessageBox::Ok)->click();
    };
    QTimer::singleShot(20, closeBox);
    std::atomic<bool> returned = false;
    std::thread worker([&] {
        platform::ShowMessage("不允许启动多个登录器");
        returned = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 10000));
    worker.join();
    EXPECT_EQ(seen, "Launcher|不允许启动多个登录器|1 owned gui");
}

}  // namespace
