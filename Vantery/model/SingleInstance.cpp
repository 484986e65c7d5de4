#include "model/SingleInstance.hpp"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <optional>

namespace vantery::app {
namespace {

// One line each way: the request, and the confirmation once the window was asked for.
constexpr char kRequest[] = "show";
constexpr char kConfirmation[] = "ok";
constexpr qint64 kMaxLine = 64;

} // namespace

QString SingleInstance::defaultSocketPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    const QByteArray home =
        QCryptographicHash::hash(QDir::homePath().toUtf8(), QCryptographicHash::Sha1).toHex();
    return dir + QStringLiteral("/ro.kelvora.vantery-") + QString::fromLatin1(home.left(12)) +
           QStringLiteral(".instance");
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), path_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Role SingleInstance::claim(std::chrono::milliseconds timeout) {
    error_.clear();
    // Held only while deciding, so that of two starts at once one listens and the other
    // finds it. A lock left by a killed process is taken over by QLockFile itself; when
    // the lock cannot be had at all, deciding without it is still better than not running.
    QLockFile lock(path_ + QStringLiteral(".lock"));
    lock.tryLock(static_cast<int>(timeout.count()));
    if (std::optional<Role> other = handOver(timeout)) return *other;
    return listen() ? Role::primary : Role::alone;
}

std::optional<SingleInstance::Role> SingleInstance::handOver(std::chrono::milliseconds timeout) {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(static_cast<int>(timeout.count()))) return std::nullopt;
    socket.write(kRequest);
    socket.write("\n");
    const QDeadlineTimer deadline(timeout);
    while (!socket.canReadLine() && !deadline.hasExpired() &&
           socket.state() == QLocalSocket::ConnectedState)
        socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    if (socket.canReadLine() && socket.readLine(kMaxLine).trimmed() == kConfirmation)
        return Role::handedOver;
    return Role::noAnswer;
}

bool SingleInstance::listen() {
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Nobody answered on the path: whatever is left there belongs to a killed instance.
    QLocalServer::removeServer(path_);
    if (!server_->listen(path_)) {
        error_ = server_->errorString();
        server_.reset();
        return false;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::serve);
    return true;
}

void SingleInstance::serve() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                // Not a start of this app: nothing it sends is that long.
                if (socket->bytesAvailable() > kMaxLine) socket->abort();
                return;
            }
            if (socket->readLine(kMaxLine).trimmed() == kRequest) {
                emit activationRequested();
                socket->write(kConfirmation);
                socket->write("\n");
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

} // namespace vantery::app
