#include "model/SingleInstance.hpp"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "model/LocalChannel.hpp"

namespace vantery::app {
namespace {

using namespace std::chrono_literals;

// One line each way: the request, and the confirmation that the window will be shown.
constexpr char kRequest[] = "show";
constexpr char kConfirmation[] = "ok";
constexpr std::size_t kMaxLine = 64;
// A start of this app sends its line at once; a connection that stays silent longer is
// something else, and must not keep the next start waiting.
constexpr auto kClientTimeout = 1000ms;

std::string native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// An exclusive lock on a file, held until destruction. The kernel drops it when its
// holder dies, so a killed start never leaves the next one waiting.
class StartLock {
  public:
    enum class Outcome { held, busy, failed };

    explicit StartLock(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {}
    ~StartLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    StartLock(const StartLock&) = delete;
    StartLock& operator=(const StartLock&) = delete;

    Outcome acquire(std::chrono::milliseconds wait) {
        if (fd_ < 0) return Outcome::failed;
        const auto deadline = channel::Clock::now() + wait;
        for (;;) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return Outcome::held;
            if (errno != EWOULDBLOCK && errno != EINTR) return Outcome::failed;
            if (channel::Clock::now() >= deadline) return Outcome::busy;
            ::usleep(10000);
        }
    }

  private:
    int fd_;
};

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

} // namespace

QString SingleInstance::defaultSocketPath() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty() || !channel::isPrivateFolder(native(dir))) return {};
    const QByteArray home =
        QCryptographicHash::hash(QDir::homePath().toUtf8(), QCryptographicHash::Sha1).toHex();
    return dir + QStringLiteral("/ro.kelvora.vantery-") + QString::fromLatin1(home.left(12)) +
           QStringLiteral(".instance");
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), path_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (server_.joinable()) {
        const char stop = 0;
        while (::write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
        }
        server_.join();
    }
    if (listener_ >= 0) {
        ::close(listener_);
        // A later instance that replaced the socket keeps it.
        struct stat st {};
        const std::string path = native(path_);
        if (::lstat(path.c_str(), &st) == 0 && st.st_dev == boundDevice_ &&
            st.st_ino == boundInode_)
            ::unlink(path.c_str());
    }
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
}

SingleInstance::Role SingleInstance::claim(std::chrono::milliseconds timeout) {
    error_.clear();
    if (path_.isEmpty()) {
        error_ = QStringLiteral("no runtime folder private to this user for the instance socket");
        return Role::alone;
    }
    // Held only while deciding, so that of two starts at once one listens and the other
    // finds it. Its holder decides within two timeouts, unless the instance it asks is
    // stuck, which makes this start stuck as well.
    StartLock lock(native(path_) + ".lock");
    switch (lock.acquire(3 * timeout)) {
    case StartLock::Outcome::held:
        break;
    case StartLock::Outcome::busy:
        error_ = QStringLiteral("another start holds the lock");
        return Role::noAnswer;
    case StartLock::Outcome::failed:
        error_ = QStringLiteral("cannot lock %1.lock: %2")
                     .arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
        return Role::alone;
    }
    if (std::optional<Role> other = handOver(timeout)) return *other;
    return listen() ? Role::primary : Role::alone;
}

std::optional<SingleInstance::Role> SingleInstance::handOver(std::chrono::milliseconds timeout) {
    bool refused = false;
    const Descriptor socket(channel::connectTo(native(path_), timeout, refused));
    if (socket.get() < 0) {
        if (refused) return std::nullopt;
        error_ = QStringLiteral("no connection within the time allowed");
        return Role::noAnswer;
    }
    // Only this user's own app may send this one away.
    if (!channel::peerIsThisUser(socket.get())) return std::nullopt;
    if (!channel::writeAll(socket.get(), std::string(kRequest) + "\n")) return Role::noAnswer;
    const auto line = channel::readLine(socket.get(), kMaxLine, channel::Clock::now() + timeout);
    return line && *line == kConfirmation ? Role::handedOver : Role::noAnswer;
}

bool SingleInstance::listen() {
    std::string error;
    const std::string path = native(path_);
    listener_ = channel::listenAt(path, error);
    if (listener_ < 0) {
        error_ = QString::fromLocal8Bit(error);
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        boundDevice_ = st.st_dev;
        boundInode_ = st.st_ino;
    }
    if (::pipe(wake_) != 0) {
        // A socket nobody serves would keep every later start waiting for an answer.
        error_ = QStringLiteral("no pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(listener_);
        listener_ = -1;
        ::unlink(path.c_str());
        return false;
    }
    for (int fd : wake_)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    server_ = std::thread([this] { serve(); });
    return true;
}

void SingleInstance::serve() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & POLLIN) == 0) continue;
        const Descriptor connection(::accept(listener_, nullptr, nullptr));
        if (connection.get() >= 0) answer(connection.get());
    }
}

void SingleInstance::answer(int connection) {
    // Another user never learns that the app runs, nor makes it show its window.
    if (!channel::peerIsThisUser(connection)) return;
    const auto line =
        channel::readLine(connection, kMaxLine, channel::Clock::now() + kClientTimeout);
    if (!line || *line != kRequest) return;
    // Queued: the window is shown by the GUI thread once its event loop runs.
    QMetaObject::invokeMethod(
        this, [this] { emit activationRequested(); }, Qt::QueuedConnection);
    channel::writeAll(connection, std::string(kConfirmation) + "\n");
}

} // namespace vantery::app
