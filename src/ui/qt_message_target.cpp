#include "ui/qt_message_target.h"

#include <memory>
#include <utility>

#include <QCoreApplication>

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

}  // namespace ui
