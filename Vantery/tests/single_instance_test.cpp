// One running app: a later start hands over, even while the first is still starting; a
// socket left by a killed instance, a silent client or another user's socket does not
// block the next start, and a silent instance is not taken for an answer.
#include <QDir>
#include <QLocalServer>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "model/LocalChannel.hpp"
#include "model/SingleInstance.hpp"

namespace vantery::app {
namespace {

using namespace std::chrono_literals;
using Role = SingleInstance::Role;

constexpr uid_t kNobody = 65534;

// A later start runs in a process of its own; a thread of its own is enough here.
std::future<Role> startAnother(const QString& path) {
    return std::async(std::launch::async, [path] { return SingleInstance(path).claim(2s); });
}

// Runs `body` in a child process as user nobody; its exit status, or -1.
template <class Body> int asNobody(Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(90);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(SingleInstance, ASecondStartHandsOverAndTheFirstShowsItsWindow) {
    QTemporaryDir dir;
    const QString path = dir.filePath("app.instance");
    SingleInstance first(path);
    ASSERT_EQ(first.claim(), Role::primary) << first.error().toStdString();
    QSignalSpy shown(&first, &SingleInstance::activationRequested);

    for (int start = 1; start <= 2; ++start) {
        // Answered while this thread, like a first start still loading, runs no event
        // loop; the window is asked for once it does.
        EXPECT_EQ(startAnother(path).get(), Role::handedOver);
        ASSERT_TRUE(shown.wait(5000));
        EXPECT_EQ(shown.count(), start);
    }
    // Another home's path is another app.
    EXPECT_EQ(startAnother(dir.filePath("other.instance")).get(), Role::primary);
}

TEST(SingleInstance, ASocketLeftByAKilledInstanceDoesNotBlockTheNextStart) {
    QTemporaryDir dir;
    const QString path = dir.filePath("app.instance");
    // What a killed instance leaves: a bound socket file nobody listens on.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::copy(name.begin(), name.end(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(path));
    // And a lock file naming a process that still runs (pid 1): only a held lock waits.
    QFile lock(path + ".lock");
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("1\nVantery\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();

    SingleInstance next(path);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(next.claim(), Role::primary) << next.error().toStdString();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms);
    QSignalSpy shown(&next, &SingleInstance::activationRequested);
    EXPECT_EQ(startAnother(path).get(), Role::handedOver);
    EXPECT_TRUE(shown.wait(5000));
}

TEST(SingleInstance, AClientThatNeverSendsItsLineIsDroppedAndHoldsUpNoStart) {
    QTemporaryDir dir;
    const QString path = dir.filePath("app.instance");
    SingleInstance first(path);
    ASSERT_EQ(first.claim(), Role::primary) << first.error().toStdString();
    bool refused = false;
    const int silent = channel::connectTo(QFile::encodeName(path).toStdString(), 1s, refused);
    ASSERT_GE(silent, 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(startAnother(path).get(), Role::handedOver);
    char byte;
    EXPECT_EQ(::recv(silent, &byte, 1, 0), 0) << "the silent connection is closed";
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    ::close(silent);
}

// Silent peers of the same user are each given their own second: a real start beside
// them is answered at once, and the instance quits at once with them still connected.
TEST(SingleInstance, SilentConnectionsHoldUpNeitherAStartNorAQuit) {
    QTemporaryDir dir;
    const QString path = dir.filePath("app.instance");
    auto first = std::make_unique<SingleInstance>(path);
    ASSERT_EQ(first->claim(), Role::primary) << first->error().toStdString();
    std::vector<int> silent;
    for (int i = 0; i < 5; ++i) {
        bool refused = false;
        silent.push_back(channel::connectTo(QFile::encodeName(path).toStdString(), 1s, refused));
        ASSERT_GE(silent.back(), 0);
    }
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(startAnother(path).get(), Role::handedOver);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 300ms);
    started = std::chrono::steady_clock::now();
    first.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 300ms);
    for (int fd : silent)
        ::close(fd);
}

// A quitting instance keeps the start lock until its process is gone: a start meanwhile
// waits for it, then runs; one that waits in vain says who holds the lock.
TEST(SingleInstance, AStartWaitsForAnInstanceStillEnding) {
    QTemporaryDir dir;
    const QString path = dir.filePath("app.instance");
    SingleInstance quitting(path);
    ASSERT_EQ(quitting.claim(), Role::primary) << quitting.error().toStdString();
    quitting.stopAnswering();
    EXPECT_FALSE(QFile::exists(path));
    SingleInstance blocked(path);
    EXPECT_EQ(blocked.claim(100ms), Role::lockedOut);
    EXPECT_TRUE(blocked.error().contains("app.instance.lock")) << blocked.error().toStdString();

    // Another path's lock, held by a descriptor this test lets go of after a while.
    const QString next = dir.filePath("next.instance");
    const int held = ::open(QFile::encodeName(next + ".lock").constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    auto start = startAnother(next);
    EXPECT_EQ(start.wait_for(300ms), std::future_status::timeout);
    ::close(held);
    EXPECT_EQ(start.get(), Role::primary);
}

// Only as root, which can act as another user.
TEST(SingleInstance, AnotherUsersSocketIsNeitherTrustedNorServed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a process as another user";
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
    const std::string path = QFile::encodeName(dir.filePath("app.instance")).toStdString();

    // Another user listens where this user's app would, and says yes to anything.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t impostor = ::fork();
    if (impostor == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(90);
        std::string error;
        const int listener = channel::listenAt(path, error);
        ::chmod(path.c_str(), 0666);
        if (listener >= 0 && ::write(ready[1], "r", 1) != 1) ::_exit(91);
        while (listener >= 0) {
            const int c = ::accept(listener, nullptr, nullptr);
            channel::writeAll(c, "ok\n");
            ::close(c);
        }
        ::_exit(92);
    }
    ::close(ready[1]);
    struct Reaped {
        pid_t pid;
        int fd;
        ~Reaped() {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            ::close(fd);
        }
    } reaped{impostor, ready[0]};
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the other user's socket is not up";
    {
        SingleInstance app(QString::fromStdString(path));
        EXPECT_EQ(app.claim(), Role::primary) << app.error().toStdString();

        // Another user asks this one to show itself: no answer, no window.
        ::chmod(path.c_str(), 0666);
        QSignalSpy shown(&app, &SingleInstance::activationRequested);
        EXPECT_EQ(asNobody([&] {
                      bool refused = false;
                      const int fd = channel::connectTo(path, 1s, refused);
                      if (fd < 0) return 2;
                      channel::writeAll(fd, "show\n");
                      return channel::readLine(fd, 64, channel::Clock::now() + 2s) ? 1 : 0;
                  }),
                  0);
        EXPECT_FALSE(shown.wait(200));
    }
}

TEST(SingleInstance, AnInstanceThatNeverAnswersIsNoHandOver) {
    QTemporaryDir dir;
    const QString path = dir.filePath("app.instance");
    QLocalServer frozen; // listens, but this thread never gets to answer
    ASSERT_TRUE(frozen.listen(path));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(SingleInstance(path).claim(300ms), Role::noAnswer);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

TEST(SingleInstance, TheSocketIsPerRuntimeFolderAndHome) {
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("HOME", "/home/a");
    const QString a = SingleInstance::defaultSocketPath();
    qputenv("HOME", "/home/b");
    const QString b = SingleInstance::defaultSocketPath();
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    qputenv("HOME", savedHome);

    EXPECT_TRUE(a.startsWith(runtime.path() + "/ro.kelvora.vantery-")) << a.toStdString();
    EXPECT_NE(a, b);
}

// Without XDG_RUNTIME_DIR: never the shared temporary folder itself, and no socket in a
// fallback folder someone else made; the app then runs alone rather than ask a stranger.
TEST(SingleInstance, NoSocketOutsideARuntimeFolderPrivateToTheUser) {
    QTemporaryDir scratch;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(scratch.path()));
    const QString fallback = SingleInstance::defaultSocketPath();
    EXPECT_TRUE(fallback.startsWith(scratch.path() + "/runtime-")) << fallback.toStdString();
    if (::geteuid() == 0) {
        const passwd* me = ::getpwuid(::geteuid());
        const QByteArray taken = QFile::encodeName(scratch.filePath("runtime-")) + me->pw_name;
        QDir(QString::fromLocal8Bit(taken)).removeRecursively();
        ASSERT_EQ(::mkdir(taken.constData(), 0700), 0);
        ASSERT_EQ(::chown(taken.constData(), kNobody, kNobody), 0);
        EXPECT_EQ(SingleInstance::defaultSocketPath(), QString());
        SingleInstance app(SingleInstance::defaultSocketPath());
        EXPECT_EQ(app.claim(), Role::alone);
    }
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    if (savedTmp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", savedTmp);
}

} // namespace
} // namespace vantery::app
