#pragma once
// The single-instance lock: a local server named after the program file and the user. While it
// is held, a later start under the same name finds it, asks this process to raise its window and
// gives up. GUI thread only (the lock answers callers from the Qt event loop).

#include <functional>
#include <memory>
#include <string>

#include <QObject>

#include "frontend/instance_lock.h"

class QLocalServer;

namespace app {

class CInstanceLock final : public QObject, public frontend::InstanceLock {
    Q_OBJECT

public:
    // What the holder does when a later start asks for its window.
    using RaiseHandler = std::function<void()>;

    // Holds the lock of a listening `server`.
    CInstanceLock(std::unique_ptr<QLocalServer> server, RaiseHandler onRaise);
    ~CInstanceLock() override;

    // False when another process holds the lock named after `fileName`; it has then been asked
    // to raise its window. True otherwise, with `lock` holding the lock, or left null when no
    // lock can be made here at all (no usable temporary folder), which does not stop a start.
    static bool Acquire(const std::string& fileName, RaiseHandler onRaise,
                        std::unique_ptr<CInstanceLock>& lock);

    // "quend-<uid>-<fileName>": one namespace per user, so that users do not lock each other out.
    static QString LockName(const std::string& fileName);

private:
    void OnConnection();

    std::unique_ptr<QLocalServer> m_server;
    RaiseHandler m_onRaise;
};

}  // namespace app
