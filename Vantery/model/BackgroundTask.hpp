#pragma once
// Runs work on the global thread pool and hands its result back on the owner's thread.
#include <QFutureWatcher>
#include <QObject>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <type_traits>
#include <utility>

namespace vantery::app {

/// Runs `work` on a worker thread and later calls `done(result)` on `owner`'s thread
/// through the event loop. `work` must own everything it touches (copies, shared
/// pointers): it may outlive `owner`. When `owner` is destroyed first, `done` is never
/// called and the result is dropped. `priority` is the worker thread's priority while
/// `work` runs.
template <class Work, class Done>
void runInBackground(QObject* owner, Work work, Done done,
                     QThread::Priority priority = QThread::InheritPriority) {
    using Result = std::invoke_result_t<Work&>;
    // A child of the owner: destroying the owner destroys the watcher and so its connection.
    auto* watcher = new QFutureWatcher<Result>(owner);
    QObject::connect(watcher, &QFutureWatcherBase::finished, owner,
                     [watcher, done = std::move(done)]() mutable {
                         watcher->deleteLater();
                         done(watcher->future().takeResult());
                     });
    watcher->setFuture(QtConcurrent::run([work = std::move(work), priority]() mutable {
        if (priority == QThread::InheritPriority) return work();
        QThread* self = QThread::currentThread();
        const auto before = self->priority();
        self->setPriority(priority);
        struct Restore {
            QThread* thread;
            QThread::Priority to;
            ~Restore() { thread->setPriority(to); }
        } restore{self, before == QThread::InheritPriority ? QThread::NormalPriority : before};
        return work();
    }));
}

} // namespace vantery::app
