#include "widgets/RebuildScheduler.hpp"

#include <QTimer>

namespace vantery::app {

RebuildScheduler::RebuildScheduler(QObject* owner, std::function<void()> rebuild)
    : owner_(owner), rebuild_(std::move(rebuild)) {}

void RebuildScheduler::request() {
    if (pending_) return;
    pending_ = true;
    QTimer::singleShot(0, owner_, [this] {
        if (!pending_) return; // cancelled
        pending_ = false;
        rebuild_();
    });
}

} // namespace vantery::app
