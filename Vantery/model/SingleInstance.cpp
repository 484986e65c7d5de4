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

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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
// Connections waited on at once; a start needs one.
constexpr std::size_t kMaxPending = 32;

std::string native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// An exclusive lock on a file. The kernel drops it when its holder dies, so a killed
// start or instance never leaves the next one waiting.
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

    Outcome tryAcquire() {
        if (fd_ < 0) return Outcome::failed;
        for (;;) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return Outcome::held;
            if (errno == EWOULDBLOCK) return Outcome::busy;
            if (errno != EINTR) return Outcome::failed;
        }
    }
    /// The descriptor, held from now on by the caller.
    int release() { return std::exchange(fd_, -1); }

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
    stopServing();
    // After stopAnswering() the descriptor stays open: the kernel drops the lock only
    // when the process is gone.
    if (lock_ >= 0 && !keepLock_) ::close(lock_);
}

void SingleInstance::stopAnswering() {
    stopServing();
    keepLock_ = true;
}

void SingleInstance::stopServing() {
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
        listener_ = -1;
    }
    for (int& fd : wake_)
        if (fd >= 0) ::close(std::exchange(fd, -1));
}

SingleInstance::Role SingleInstance::claim(std::chrono::milliseconds timeout) {
    error_.clear();
    if (path_.isEmpty()) {
        error_ = QStringLiteral("no runtime folder private to this user for the instance socket");
        return Role::alone;
    }
    // The primary holds the lock for its whole life: while it is busy, the holder is a
    // running instance (which answers), another start deciding (which soon listens) or
    // an instance still ending (which is soon gone).
    const std::string lockPath = native(path_) + ".lock";
    StartLock lock(lockPath);
    const auto deadline = channel::Clock::now() + 3 * timeout;
    for (;;) {
        switch (lock.tryAcquire()) {
        case StartLock::Outcome::held:
            // An instance of an older build listens without holding the lock.
            if (std::optional<Role> other = handOver(timeout)) return *other;
            if (!listen()) return Role::alone;
            lock_ = lock.release();
            return Role::primary;
        case StartLock::Outcome::failed:
            error_ = QStringLiteral("cannot lock %1: %2")
                         .arg(QFile::decodeName(lockPath.c_str()),
                              QString::fromLocal8Bit(std::strerror(errno)));
            return Role::alone;
        case StartLock::Outcome::busy:
            break;
        }
        if (std::optional<Role> other = handOver(timeout)) return *other;
        if (channel::Clock::now() >= deadline) {
            error_ = QStringLiteral("another process holds %1 and no running Vantery answers")
                         .arg(QFile::decodeName(lockPath.c_str()));
            return Role::lockedOut;
        }
        std::this_thread::sleep_for(20ms);
    }
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
    if (!channel::writeAll(socket.get(), std::string(kRequest) + "\n")) return std::nullopt;
    bool closed = false;
    const auto line =
        channel::readLine(socket.get(), kMaxLine, channel::Clock::now() + timeout, &closed);
    // Closed without an answer: an instance that is quitting.
    if (!line && closed) return std::nullopt;
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
    // The server accepts until nothing waits; a peer gone meanwhile must not block it.
    ::fcntl(listener_, F_SETFL, ::fcntl(listener_, F_GETFL) | O_NONBLOCK);
    server_ = std::thread([this] { serve(); });
    return true;
}

void SingleInstance::serve() {
    struct Pending {
        int fd;
        channel::Clock::time_point deadline;
        std::string line;
    };
    std::vector<Pending> pending; // in the order accepted, so by deadline
    auto drop = [&](std::size_t i) {
        ::close(pending[i].fd);
        pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
    };
    for (;;) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const Pending& p : pending)
            fds.push_back({p.fd, POLLIN, 0});
        int wait = -1;
        if (!pending.empty()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                pending.front().deadline - channel::Clock::now());
            wait = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        if (::poll(fds.data(), fds.size(), wait) < 0 && errno != EINTR) break;
        if (fds[0].revents != 0) break;
        // Every connection that spoke, from the last, so that a drop shifts none still unseen.
        for (std::size_t i = pending.size(); i-- > 0;) {
            if (fds[i + 2].revents == 0) continue;
            const auto state = channel::readAvailable(pending[i].fd, pending[i].line, kMaxLine);
            if (state == channel::LineState::partial) continue;
            if (state == channel::LineState::complete && pending[i].line == kRequest)
                answer(pending[i].fd);
            drop(i);
        }
        const auto now = channel::Clock::now();
        while (!pending.empty() && pending.front().deadline <= now)
            drop(0);
        if ((fds[1].revents & POLLIN) == 0) continue;
        for (;;) {
            const int connection = ::accept(listener_, nullptr, nullptr);
            if (connection < 0) break; // the listener does not block: nothing more waits
            ::fcntl(connection, F_SETFD, FD_CLOEXEC);
            // Another user never learns that the app runs, nor makes it show its window.
            if (!channel::peerIsThisUser(connection)) {
                ::close(connection);
                continue;
            }
            // Silent peers by the dozen must not starve a real start: the oldest goes.
            if (pending.size() >= kMaxPending) drop(0);
            pending.push_back({connection, now + kClientTimeout, {}});
        }
    }
    for (const Pending& p : pending)
        ::close(p.fd);
}

void SingleInstance::answer(int connection) {
    // Queued: the window is shown by the GUI thread once its event loop runs.
    QMetaObject::invokeMethod(
        this, [this] { emit activationRequested(); }, Qt::QueuedConnection);
    channel::writeAll(connection, std::string(kConfirmation) + "\n");
}

} // namespace vantery::app
