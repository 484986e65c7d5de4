#include "widgets/AgeTicker.hpp"

#include "model/UsageStore.hpp"

namespace vantery::app {

AgeTicker& AgeTicker::of(UsageStore& store) {
    if (auto* existing = store.findChild<AgeTicker*>(QString(), Qt::FindDirectChildrenOnly))
        return *existing;
    return *new AgeTicker(store);
}

AgeTicker::AgeTicker(UsageStore& store) : QObject(&store), store_(store), now_(store.now()) {
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &AgeTicker::tick);
    // Made before the views that read it connect, so a new refresh is measured against
    // a read taken after it, not before ("-2s ago").
    connect(&store_, &UsageStore::lastRefreshChanged, this, &AgeTicker::tick);
    timer_.start();
}

void AgeTicker::tick() {
    now_ = store_.now();
    emit ticked(now_);
}

} // namespace vantery::app
