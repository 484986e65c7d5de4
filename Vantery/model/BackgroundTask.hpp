#pragma once
// Runs work on the app's own thread pool and hands its result back on the owner's
// thread; frees large values there too.
#include <QFutureWatcher>
#include <QObject>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <chrono>
#include <memory>
#include <type_traits>
#include <utility>

#include "vantery/base/AllocatorRetention.hpp"

namespace vantery::app {

/// The pool every background task of the app runs on, owned by the application object
/// (made on first use, waited for and deleted when the application object goes). Never
/// Qt's global pool: the raster paint engine borrows that one to fill large areas, and
/// on one CPU it has a single thread, which a scan held for its whole length while the
/// GUI thread waited to paint. Call it on the GUI thread.
QThreadPool& workPool();

/// Waits up to `budget` for the tasks still running on workPool(); false when some
/// still run then. Call it on the GUI thread, once the work has been asked to stop.
bool finishWork(std::chrono::milliseconds budget);

/// Runs `work` on a thread of workPool() and later calls `done(result)` on `owner`'s thread
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
    watcher->setFuture(QtConcurrent::run(&workPool(), [work = std::move(work), priority]() mutable {
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

namespace detail {
// Releases queued and not yet done: the last one of a batch gives the pages back.
inline std::atomic<int> releasesPending{0};
} // namespace detail

/// Destroys `value` on a thread of workPool() instead of the caller's: freeing a
/// large report or record list takes long enough to stall the GUI thread.
template <class T> void releaseInBackground(T&& value) {
    auto held = std::make_shared<std::decay_t<T>>(std::forward<T>(value));
    detail::releasesPending.fetch_add(1);
    workPool().start([held = std::move(held)]() mutable {
        held.reset();
        if (detail::releasesPending.fetch_sub(1) != 1) return;
        // glibc keeps a freed report's pages in the arenas of the worker threads that
        // made it; given back, six range changes over ten million requests peak at
        // 0.95 GiB instead of 1.0. A trim there takes about 35 ms: once a batch.
        giveBackFreedMemory();
    });
}

} // namespace vantery::app
