#include "widgets/AgeTicker.hpp"

#include <algorithm>

#include "model/UsageStore.hpp"

namespace vantery::app {

AgeTicker& AgeTicker::of(UsageStore& store) {
    if (auto* existing = store.findChild<AgeTicker*>(QString(), Qt::FindDirectChildrenOnly))
        return *existing;
    return *new AgeTicker(store);
}

AgeTicker::AgeTicker(UsageStore& store) : QObject(&store), store_(store), now_(store.now()) {
    schedule();
    connect(&timer_, &QTimer::timeout, this, &AgeTicker::tick);
    // Made before the views that read it connect, so a new refresh is measured against
    // a read taken after it, not before ("-2s ago").
    connect(&store_, &UsageStore::lastRefreshChanged, this, &AgeTicker::tick);
    connect(&store_, &UsageStore::verificationChanged, this, &AgeTicker::tick);
    timer_.start();
}

void AgeTicker::tick() {
    now_ = store_.now();
    schedule();
    emit ticked(now_);
}

void AgeTicker::schedule() {
    double youngest = -1;
    if (auto refreshed = store_.lastRefresh()) youngest = *refreshed;
    if (const auto& v = store_.verification()) youngest = std::max(youngest, v->checkedAt);
    // "3s ago" must not read "0s ago" for ten seconds; minutes and hours can wait.
    const int interval = youngest >= 0 && now_ - youngest < 60 ? secondsIntervalMs : intervalMs;
    if (timer_.interval() != interval) timer_.setInterval(interval);
}

} // namespace vantery::app
