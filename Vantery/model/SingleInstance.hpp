#pragma once
// One running app per user and home: the first start listens on a local socket in the
// user's runtime folder; a later start asks that one to show its window and leaves,
// instead of opening a second tray icon and window that scan the same files.
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class QLocalServer;

namespace vantery::app {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Role {
        primary,    ///< no other instance: this one listens and runs the app
        handedOver, ///< another instance answered and shows its window: exit
        noAnswer,   ///< another instance took the request but never confirmed it
        alone,      ///< the socket could not be set up: run without the gate
    };

    /// The socket for this user's runtime folder (XDG_RUNTIME_DIR, or Qt's fallback)
    /// and home folder, so that a run over another home (a sample, a test) is not
    /// mistaken for the user's own app.
    static QString defaultSocketPath();

    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    /// Hands over to a running instance when one answers, else becomes the one that
    /// listens. A socket file left by an instance that was killed is replaced. Two
    /// starts at once are serialised by a lock file beside the socket. Blocks for at
    /// most about `timeout` twice (the lock, then the answer).
    Role claim(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

    /// Why the last claim returned `alone`; empty otherwise.
    QString error() const { return error_; }

  signals:
    /// A later start asked this (primary) instance to show its main window.
    void activationRequested();

  private:
    /// Asks a listening instance to show its window; absent when none listens.
    std::optional<Role> handOver(std::chrono::milliseconds timeout);
    bool listen();
    void serve();

    QString path_;
    QString error_;
    std::unique_ptr<QLocalServer> server_;
};

} // namespace vantery::app
