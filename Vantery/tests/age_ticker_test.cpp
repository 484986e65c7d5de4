// The ages of the status bar and the Sources tab move on while nothing else happens
// and always come from the same clock read.
#include <QCoreApplication>
#include <QLabel>

#include <gtest/gtest.h>

#include "StoreFixture.hpp"
#include "widgets/AgeTicker.hpp"
#include "widgets/MainWindow.hpp"
#include "widgets/MenuBarView.hpp"
#include "widgets/SourcesTab.hpp"

namespace vantery::app {
namespace {

using testing::haikuLine;
using testing::StoreFixture;
using testing::waitFor;

// A store over one request of 09:00 that has published, the clock at 12:00 that day.
class AgeTickerTest : public ::testing::Test {
  protected:
    StoreFixture f;
    UsageStore store{oneRequestAtNoon(f)};
    QSignalSpy published{&store, &UsageStore::refreshPublished};

    void SetUp() override { ASSERT_TRUE(waitFor(published)); }

  private:
    static UsageStore::Options oneRequestAtNoon(StoreFixture& f) {
        *f.clock = f.at(2025, 3, 4, 12);
        f.home.transcript("p/a.jsonl", haikuLine("1", "2025-03-04T09:00:00Z", 1));
        return f.options();
    }
};

std::string lastRefreshText(const SourcesTab& tab) {
    for (const auto& [label, value] : tab.view().cacheGrid.value_or(SourcesGrid{}))
        if (label == "last refresh") return value;
    return "(none)";
}

TEST_F(AgeTickerTest, StatusBarAndSourcesTabAgeTogetherOnEveryTick) {
    MainWindow window(store, Tab::sources);
    auto* freshness = window.findChild<QLabel*>("freshness");
    auto* sources = qobject_cast<SourcesTab*>(window.currentPage());
    ASSERT_TRUE(freshness && sources);
    QCoreApplication::processEvents();
    EXPECT_EQ(freshness->text(), "updated 0s ago");
    EXPECT_EQ(lastRefreshText(*sources), "0s ago");

    AgeTicker& ticker = AgeTicker::of(store);
    EXPECT_EQ(&AgeTicker::of(store), &ticker); // one per store, so one clock read
    EXPECT_TRUE(ticker.timer().isActive());
    EXPECT_LE(ticker.timer().interval(), 15'000);

    *f.clock += 47;
    QCoreApplication::processEvents();
    EXPECT_EQ(freshness->text(), "updated 0s ago"); // nothing reads the clock between ticks
    ticker.tick();                                  // what its timer does
    QCoreApplication::processEvents();
    EXPECT_EQ(freshness->text(), "updated 47s ago");
    EXPECT_EQ(lastRefreshText(*sources), "47s ago");

    // A refresh publishes: both measure against a read taken after it.
    *f.clock += 200;
    store.refresh();
    ASSERT_TRUE(waitFor(published, 2));
    QCoreApplication::processEvents();
    EXPECT_EQ(freshness->text(), "updated 0s ago");
    EXPECT_EQ(lastRefreshText(*sources), "0s ago");
}

TEST_F(AgeTickerTest, EveryTimestampThatChangesIsMeasuredAgainstALaterRead) {
    AgeTicker& ticker = AgeTicker::of(store);
    // Seconds count while the last refresh is under a minute old, then minutes.
    EXPECT_EQ(ticker.timer().interval(), AgeTicker::secondsIntervalMs);
    *f.clock += 120;
    ticker.tick();
    EXPECT_EQ(ticker.timer().interval(), AgeTicker::intervalMs);

    // A verdict is read against the clock after it, like a refresh.
    *f.clock += 30;
    QSignalSpy verdict(&store, &UsageStore::verificationChanged);
    store.runFullVerification();
    ASSERT_TRUE(waitFor(verdict));
    EXPECT_EQ(ticker.now(), *f.clock);

    // The panel opens with the status bar's read, taken as it opens.
    MainWindow window(store, Tab::sources);
    MenuBarView panel(store, {});
    *f.clock += 23;
    panel.show();
    QCoreApplication::processEvents();
    auto* freshness = window.findChild<QLabel*>("freshness");
    ASSERT_TRUE(freshness);
    EXPECT_EQ(freshness->text(), "updated 2 min ago");
    bool panelAgrees = false;
    for (QLabel* l : panel.findChildren<QLabel*>())
        panelAgrees |= l->isVisibleTo(&panel) && l->text() == "updated 2 min ago";
    EXPECT_TRUE(panelAgrees);
}

} // namespace
} // namespace vantery::app
