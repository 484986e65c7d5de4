#include "model/BackgroundTask.hpp"

#include <QCoreApplication>
#include <QPointer>

namespace vantery::app {

namespace {

// Enough for every kind of work to run at once (the first scan, a refresh asked for
// meanwhile, a verification, a range, an index or an export, the releases) so that none
// waits behind a long scan. The scan, the merge and the verification spread over the
// cores with threads of their own, so more pool threads would not go faster.
constexpr int maxWorkThreads = 6;
// An idle thread goes after this long, and its stack with it: between two timed refreshes
// (90 s) the pool holds no thread, while the threads that idle through a long first scan
// are still there when it publishes.
constexpr int idleThreadExpiryMs = 30'000;

} // namespace

QThreadPool& workPool() {
    static QPointer<QThreadPool> pool;
    if (!pool) {
        // A child of the application object: its destruction waits for the tasks still
        // running, before the statics they may use are torn down.
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setObjectName(QStringLiteral("vantery work"));
        pool->setMaxThreadCount(maxWorkThreads);
        pool->setExpiryTimeout(idleThreadExpiryMs);
    }
    return *pool;
}

bool finishWork(std::chrono::milliseconds budget) {
    return workPool().waitForDone(static_cast<int>(budget.count()));
}

} // namespace vantery::app
