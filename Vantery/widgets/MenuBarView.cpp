#include "widgets/MenuBarView.hpp"

#include <QCoreApplication>

#include "model/UsageStore.hpp"
#include "widgets/AgeTicker.hpp"

namespace vantery::app {

PanelModel buildPanel(const UsageStore& store, double now) {
    const PanelInputs in{store.state(),        store.today(),
                         store.history(),      store.sameTimeYesterday().cost,
                         store.lastRefresh(),  store.refreshStats(),
                         store.homeInventory()};
    return buildPanel(in, now, store.userCalendar());
}

MenuBarView::MenuBarView(UsageStore& store, Actions actions, QWidget* parent)
    : MenuBarPanel(parent), store_(store), actions_(std::move(actions)),
      scheduler_(this, [this] { rebuild(); }) {
    for (auto signal : {&UsageStore::stateChanged, &UsageStore::todayChanged,
                        &UsageStore::historyChanged, &UsageStore::lastRefreshChanged,
                        &UsageStore::refreshStatsChanged, &UsageStore::homeInventoryChanged})
        connect(&store_, signal, this, &MenuBarView::scheduleRebuild);
    // The status bar's clock read, so that the two never tell different ages.
    connect(&AgeTicker::of(store_), &AgeTicker::ticked, this, &MenuBarView::scheduleRebuild);
    connect(this, &MenuBarPanel::refreshRequested, &store_, &UsageStore::refresh);
    connect(this, &MenuBarPanel::openWindowRequested, this, [this] {
        if (isWindow()) hide();
        if (actions_.openMainWindow) actions_.openMainWindow();
    });
    connect(this, &MenuBarPanel::quitRequested, this, [this] {
        if (actions_.quit)
            actions_.quit();
        else
            QCoreApplication::quit();
    });
}

void MenuBarView::rebuild() {
    scheduler_.cancel();
    stale_ = false;
    setModel(buildPanel(store_, AgeTicker::of(store_).now()));
}

// A refresh publishes several values in a row: one rebuild after the last of them,
// and none while the panel is hidden (showing it rebuilds).
void MenuBarView::scheduleRebuild() {
    if (!isVisible()) {
        stale_ = true;
        return;
    }
    scheduler_.request();
}

void MenuBarView::showEvent(QShowEvent* event) {
    // A fresh read for every view at once: the panel opens with the status bar's age.
    AgeTicker::of(store_).tick();
    rebuild();
    MenuBarPanel::showEvent(event);
}

// Ages and rates move with the clock: the next showing builds afresh.
void MenuBarView::hideEvent(QHideEvent* event) {
    stale_ = true;
    MenuBarPanel::hideEvent(event);
}

} // namespace vantery::app
