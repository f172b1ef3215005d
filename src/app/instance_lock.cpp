#include "app/instance_lock.h"

#include <unistd.h>

#include <utility>

#include <QLocalServer>
#include <QLocalSocket>

namespace app {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr char kRaiseRequest[] = "raise\n";

// Answers true when a holder listens under `name`; it has then been asked to raise its window.
bool AskHolderToRaise(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(kRaiseRequest);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

}  // namespace

CInstanceLock::CInstanceLock(std::unique_ptr<QLocalServer> server, RaiseHandler onRaise)
    : m_server(std::move(server)), m_onRaise(std::move(onRaise)) {
    connect(m_server.get(), &QLocalServer::newConnection, this, &CInstanceLock::OnConnection);
}

CInstanceLock::~CInstanceLock() = default;

QString CInstanceLock::LockName(const std::string& fileName) {
    return QStringLiteral("quend-%1-%2")
        .arg(static_cast<qulonglong>(::getuid()))
        .arg(QString::fromStdString(fileName));
}

bool CInstanceLock::Acquire(const std::string& fileName, RaiseHandler onRaise,
                            std::unique_ptr<CInstanceLock>& lock) {
    const QString name = LockName(fileName);
    auto server = std::make_unique<QLocalServer>();
    if (!server->listen(name)) {
        if (AskHolderToRaise(name))
            return false;
        // Nobody answers: the socket file was left by a launcher that ended without closing it
        // (self-update ends the first process at once).
        QLocalServer::removeServer(name);
        if (!server->listen(name))
            return !AskHolderToRaise(name);
    }
    lock = std::make_unique<CInstanceLock>(std::move(server), std::move(onRaise));
    return true;
}

void CInstanceLock::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        // The request itself carries nothing more; the socket goes with its server.
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (m_onRaise)
            m_onRaise();
    }
}

}  // namespace app
