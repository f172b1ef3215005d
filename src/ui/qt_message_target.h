#pragma once
// The Qt side of platform::MessageTarget: a post from any thread becomes a CPostedEvent queued
// for one receiver on the GUI thread. Posts made after Detach are dropped, so a worker can never
// reach a receiver that is gone. Post: any thread; Detach: the receiver's thread. Also the
// blocking call of a worker into the GUI thread.

#include <functional>
#include <mutex>

#include <QEvent>

#include "platform/message_target.h"

class QObject;

namespace ui {

// A posted window message, id and text carried inside the event.
class CPostedEvent final : public QEvent {
public:
    explicit CPostedEvent(platform::PostedMessage message);

    // The one event type of all posted window messages, registered with Qt on first use.
    static QEvent::Type EventType();

    const platform::PostedMessage& Message() const { return m_message; }

private:
    platform::PostedMessage m_message;
};

class CQtMessageTarget final : public platform::MessageTarget {
public:
    explicit CQtMessageTarget(QObject* receiver);
    ~CQtMessageTarget() override;
    CQtMessageTarget(const CQtMessageTarget&) = delete;
    CQtMessageTarget& operator=(const CQtMessageTarget&) = delete;

    void Post(platform::PostedMessage message) override;

    // No post reaches the receiver once this returns; events already queued are the
    // receiver's to handle or to drop with itself.
    void Detach();

private:
    std::mutex m_mutex;
    QObject* m_receiver;
};

// Runs `work` on the thread of `context` and waits until it has run; at once when called there.
void RunOnThreadOf(QObject* context, const std::function<void()>& work);

}  // namespace ui
