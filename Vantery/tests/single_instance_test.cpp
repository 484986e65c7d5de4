// One running app: a later start hands over, a socket left by a killed instance does
// not block the next start, and a silent instance is not taken for an answer.
#include <QLocalServer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "model/SingleInstance.hpp"

namespace vantery::app {
namespace {

using namespace std::chrono_literals;
using Role = SingleInstance::Role;

// A later start runs in a process of its own; a thread of its own is enough here, since
// it blocks until the first instance's event loop answers.
std::future<Role> startAnother(const QString& path) {
    return std::async(std::launch::async, [path] { return SingleInstance(path).claim(2s); });
}

TEST(SingleInstance, ASecondStartHandsOverAndTheFirstShowsItsWindow) {
    QTemporaryDir dir;
    const QString path = dir.filePath("app.instance");
    SingleInstance first(path);
    ASSERT_EQ(first.claim(), Role::primary) << first.error().toStdString();
    QSignalSpy shown(&first, &SingleInstance::activationRequested);

    for (int start = 1; start <= 2; ++start) {
        auto second = startAnother(path);
        ASSERT_TRUE(shown.wait(5000));
        EXPECT_EQ(second.get(), Role::handedOver);
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

    SingleInstance next(path);
    EXPECT_EQ(next.claim(), Role::primary) << next.error().toStdString();
    QSignalSpy shown(&next, &SingleInstance::activationRequested);
    auto later = startAnother(path);
    EXPECT_TRUE(shown.wait(5000));
    EXPECT_EQ(later.get(), Role::handedOver);
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

} // namespace
} // namespace vantery::app
