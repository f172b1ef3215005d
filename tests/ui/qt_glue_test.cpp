// The Qt ends of the platform seams: message boxes asked for on any thread, and posts that
// reach a window only while it listens.

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
#include "ui/qt_message_target.h"

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

// A receiver that counts the posted messages it is handed.
class Receiver final : public QObject {
public:
    std::vector<platform::PostedMessage> got;
    bool event(QEvent* event) override {
        if (event->type() != ui::CPostedEvent::EventType())
            return QObject::event(event);
        got.push_back(static_cast<ui::CPostedEvent*>(event)->Message());
        return true;
    }
};

TEST(QtMessageTarget, PostsCarryTheirTextAndStopAtDetach) {
    Receiver receiver;
    ui::CQtMessageTarget target(&receiver);
    std::thread([&] {
        std::string path = "/games/Data/world.pak";
        target.Post({0x407, 0, 0, path});
        path.assign(path.size(), 'x');  // the poster's copy may change at once
    }).join();
    QCoreApplication::processEvents();
    target.Detach();
    target.Post({0x406, 5, 0, {}});
    QCoreApplication::processEvents();
    ASSERT_EQ(receiver.got.size(), 1u);
    EXPECT_EQ(receiver.got[0].id, 0x407u);
    EXPECT_EQ(receiver.got[0].text, "/games/Data/world.pak");
}

}  // namespace
