#include "ui/qt_message_target.h"

#include <atomic>
#include <memory>
#include <utility>

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace ui {

CPostedEvent::CPostedEvent(platform::PostedMessage message)
    : QEvent(EventType()), m_message(std::move(message)) {}

QEvent::Type CPostedEvent::EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

CQtMessageTarget::CQtMessageTarget(QObject* receiver) : m_receiver(receiver) {}

CQtMessageTarget::~CQtMessageTarget() {
    Detach();
}

void CQtMessageTarget::Post(platform::PostedMessage message) {
    std::lock_guard lock(m_mutex);
    if (m_receiver == nullptr)
        return;
    // Qt takes the event over and deletes it once handled, or with the receiver.
    auto event = std::make_unique<CPostedEvent>(std::move(message));
    QCoreApplication::postEvent(m_receiver, event.release());
}

void CQtMessageTarget::Detach() {
    std::lock_guard lock(m_mutex);
    m_receiver = nullptr;
}

void RunOnThreadOf(QObject* context, const std::function<void()>& work) {
    if (QThread::currentThread() == context->thread()) {
        work();
        return;
    }
    // Qt's wait for the call is a futex that ThreadSanitizer cannot see; the flag shows it that
    // the work is done before the caller goes on.
    std::atomic<bool> done{false};
    const auto run = [&] {
        work();
        done.store(true, std::memory_order_release);
    };
    QMetaObject::invokeMethod(context, run, Qt::BlockingQueuedConnection);
    (void)done.load(std::memory_order_acquire);
}

}  // namespace ui
