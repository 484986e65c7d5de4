#pragma once
// One running app per user and home: the first start listens on a local socket in the
// user's private runtime folder; a later start asks that one to show its window and
// leaves, instead of opening a second tray icon and window that scan the same files.
#include <QObject>
#include <QString>

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <thread>

namespace vantery::app {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Role {
        primary,    ///< no other instance: this one listens and runs the app
        handedOver, ///< another instance answered and shows its window: exit
        noAnswer,   ///< another instance took the request but never confirmed it
        alone,      ///< the socket could not be set up: run without the gate
        lockedOut,  ///< another process holds the start lock, and no instance answers
    };

    /// The socket for this user's runtime folder (XDG_RUNTIME_DIR, or Qt's fallback)
    /// and home folder, so that a run over another home (a sample, a test) is not
    /// mistaken for the user's own app. Empty when that folder is not private to the
    /// user (a real folder of theirs that nobody else may enter): a shared folder would
    /// let another user answer in the app's place.
    static QString defaultSocketPath();

    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    /// Stops answering and removes the socket, unless another instance took its place.
    ~SingleInstance() override;

    /// Hands over to a running instance of this user when one answers, else becomes the
    /// one that listens. A socket left by an instance that was killed, or bound by
    /// another user, is replaced. A lock beside the socket, held by the primary for as
    /// long as it lives, serialises two starts at once and makes a start wait for an
    /// instance that is still ending. The primary answers every connection from a thread
    /// of its own, each within its own deadline, so a later start is answered at once
    /// even while this one is still slow to start or silent peers are connected. Blocks
    /// for at most about `timeout` four times.
    Role claim(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

    /// For a primary that is quitting: stops answering and removes the socket, and keeps
    /// the start lock until the process exits, so that a start from now on waits for
    /// this process to be gone and then runs, rather than running beside it.
    void stopAnswering();

    /// Why the last claim returned `alone`, or `noAnswer` without an answering peer;
    /// empty otherwise.
    QString error() const { return error_; }

  signals:
    /// A later start asked this (primary) instance to show its main window. Emitted on
    /// the thread of this object once its event loop runs.
    void activationRequested();

  private:
    /// Asks a listening instance to show its window; absent when none of this user listens.
    std::optional<Role> handOver(std::chrono::milliseconds timeout);
    bool listen();
    void serve();
    void answer(int connection);
    void stopServing();

    QString path_;
    QString error_;
    int lock_ = -1; // the start lock, held by a primary
    bool keepLock_ = false;
    int listener_ = -1;
    int wake_[2] = {-1, -1}; // written to stop the serving thread
    dev_t boundDevice_ = 0;  // the socket file this instance bound
    ino_t boundInode_ = 0;
    std::thread server_;
};

} // namespace vantery::app
