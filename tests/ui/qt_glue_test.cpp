// The Qt end of the message-box seam: a box asked for on any thread shows on the GUI thread.

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
#include "ui/qt_message_box.h"

namespace {

// What a box looked like when it was up, recorded on the GUI thread.
struct SeenBox {
    QString caption;
    QString text;
    int buttons = 0;
    bool ok = false;
    QWidget* owner = nullptr;
    bool onGuiThread = false;
};

// Closes the next box that comes up with its OK button, recording it first.
void CloseNextBox(SeenBox& seen) {
    QTimer::singleShot(20, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return CloseNextBox(seen);
        seen = {box->windowTitle(),
                box->text(),
                static_cast<int>(box->buttons().size()),
                box->button(QMessageBox::Ok) != nullptr,
                box->parentWidget(),
                QThread::currentThread() == qApp->thread()};
        box->button(QMessageBox::Ok)->click();
    });
}

TEST(QtMessageBox, ABoxFromAWorkerShowsOnTheGuiThreadOwnedByTheMainWindow) {
    QWidget mainWindow;
    mainWindow.show();
    const platform::MessageHandler saved = platform::SetMessageHandler({});
    ui::InstallQtMessageBox([&mainWindow] { return &mainWindow; });
    platform::SetMessageCaption("Launcher");

    SeenBox seen;
    CloseNextBox(seen);
    bool returned = false;
    std::thread worker([&] {
        platform::ShowMessage("不允许启动多个登录器");
        returned = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return returned; }, 10000));
    worker.join();
    platform::SetMessageHandler(saved);

    EXPECT_EQ(seen.caption, "Launcher");
    EXPECT_EQ(seen.text, "不允许启动多个登录器");
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_TRUE(seen.ok);
    EXPECT_EQ(seen.owner, &mainWindow);
    EXPECT_TRUE(seen.onGuiThread);
}

}  // namespace
