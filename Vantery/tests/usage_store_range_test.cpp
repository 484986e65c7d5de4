// The store's range computation, full verification and same-time delta.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "StoreFixture.hpp"

namespace vantery::app::testing {
namespace {

using State = UsageStore::LoadState;

class UsageStoreRangeTest : public ::testing::Test {
  protected:
    StoreFixture fx;
    std::unique_ptr<UsageStore> store;
    // Every range report published: its selection and its number of requests.
    std::vector<std::pair<RangeSelection, std::int64_t>> published;

    void SetUp() override {
        *fx.clock = fx.at(2025, 10, 5, 14, 0);
        fx.home.transcript("-w-app/a.jsonl", haikuLine("1", "2025-09-20T10:00:00Z", 1) +
                                                 haikuLine("2", "2025-10-04T08:00:00Z", 2) +
                                                 haikuLine("3", "2025-10-05T09:00:00Z", 3));
        store = std::make_unique<UsageStore>(fx.options(false));
        QObject::connect(store.get(), &UsageStore::rangeReportChanged, [this] {
            published.emplace_back(*store->rangeReportSelection(),
                                   store->rangeReport().total.requests);
        });
        QSignalSpy refreshed(store.get(), &UsageStore::refreshPublished);
        store->refresh();
        ASSERT_TRUE(waitFor(refreshed));
        drainBackgroundWork();
    }

    RangeSelection selection(RangePreset preset, std::optional<double> from = {},
                             std::optional<double> to = {}) const {
        return {preset, from, to, *fx.clock, testCalendar()};
    }
    void show(const RangeSelection& s) {
        store->selectRange(s);
        drainBackgroundWork();
    }
};

TEST_F(UsageStoreRangeTest, OnlyTheLatestComputationForTheCurrentSelectionPublishes) {
    const auto thisMonth = selection(RangePreset::thisMonth);
    ASSERT_EQ(published.size(), 1u); // the refresh's own computation
    EXPECT_EQ(published[0], std::make_pair(thisMonth, std::int64_t{2}));

    store->selectRange(thisMonth);
    store->selectRange(thisMonth); // cancels the one before
    drainBackgroundWork();
    EXPECT_EQ(published.size(), 2u);
    EXPECT_FALSE(store->rangeIsComputing());

    // The selection moves on while its computation runs: that result is stale.
    store->selectRange(selection(RangePreset::last30Days));
    EXPECT_TRUE(store->rangeIsComputing());
    const auto oneDay =
        selection(RangePreset::custom, fx.at(2025, 10, 4, 12), fx.at(2025, 10, 4, 18));
    store->selectRange(oneDay);
    EXPECT_EQ(store->rangeReportSelection(), thisMonth);
    drainBackgroundWork();
    ASSERT_EQ(published.size(), 3u);
    EXPECT_EQ(published[2], std::make_pair(oneDay, std::int64_t{1}));
    EXPECT_FALSE(store->rangeIsComputing());
}

TEST_F(UsageStoreRangeTest, ReportsCarryTheirRangeAndHoursOnlyForASingleDay) {
    show(selection(RangePreset::custom, fx.at(2025, 10, 4, 23), fx.at(2025, 10, 4, 1)));
    const DateRange oct4(LocalDay::fromYMD(2025, 10, 4), LocalDay::fromYMD(2025, 10, 4));
    EXPECT_EQ(store->rangeReportRange(), oct4);
    EXPECT_EQ(store->rangeReport().total.requests, 1);
    EXPECT_EQ(store->rangeReport().byHour.count(10), 1u);

    show(selection(RangePreset::last30Days));
    EXPECT_EQ(store->rangeReportRange(),
              DateRange(LocalDay::fromYMD(2025, 9, 6), LocalDay::fromYMD(2025, 10, 5)));
    EXPECT_EQ(store->rangeReport().total.requests, 3);
    EXPECT_TRUE(store->rangeReport().byHour.empty());
}

TEST(UsageStoreVerification, EndsInReadyOnlyOnceARefreshHasPublished) {
    StoreFixture fx;
    fx.home.transcript("-w-app/a.jsonl", haikuLine("1", "2025-10-04T08:00:00Z", 2) +
                                             haikuLine("2", "2025-10-05T09:00:00Z", 3));
    CacheGate gate; // holds the first load until opened
    auto options = fx.options();
    options.beforeLoad = gate.hold();
    UsageStore store(options);
    std::vector<State> states;
    QObject::connect(&store, &UsageStore::stateChanged, [&] { states.push_back(store.state()); });
    QSignalSpy verdict(&store, &UsageStore::verificationChanged);
    QSignalSpy published(&store, &UsageStore::refreshPublished);

    store.runFullVerification();
    ASSERT_TRUE(waitFor(verdict));
    EXPECT_EQ(store.state(), State::scanning("reading the cache"));
    gate.open();
    ASSERT_TRUE(waitFor(published));
    store.runFullVerification();
    ASSERT_TRUE(waitFor(verdict, 2));

    EXPECT_EQ(states, (std::vector<State>{State::scanning("full verification"),
                                          State::scanning("reading the cache"),
                                          State::scanning("first full scan"), State::ready(),
                                          State::scanning("full verification"), State::ready()}));
    ASSERT_TRUE(store.verification());
    EXPECT_TRUE(store.verification()->isClean());
    EXPECT_EQ(store.verification()->freshRequests, 2);
    store.clearVerification();
    EXPECT_FALSE(store.verification());
}

// Today's cost against yesterday's up to 14:00, as published by a refresh of these lines.
PercentFigure deltaAtTwoPm(const std::string& lines) {
    StoreFixture fx;
    *fx.clock = fx.at(2025, 10, 5, 14, 0);
    fx.home.transcript("-w-app/a.jsonl", lines);
    UsageStore store(fx.options(false));
    QSignalSpy published(&store, &UsageStore::refreshPublished);
    store.refresh();
    EXPECT_TRUE(waitFor(published));
    return store.sameTimeYesterday().change;
}

TEST(UsageStoreDelta, ComparesWithYesterdayUpToTheSameTimeOfDay) {
    const std::string yesterdayLate = haikuLine("late", "2025-10-04T18:00:00Z", 100); // 20:00
    EXPECT_EQ(deltaAtTwoPm(haikuLine("y", "2025-10-04T07:00:00Z", 40) + yesterdayLate),
              PercentFigure::exact(-100));
    EXPECT_EQ(deltaAtTwoPm(haikuLine("y", "2025-10-04T07:00:00Z", 20) + yesterdayLate +
                           haikuLine("t", "2025-10-05T08:00:00Z", 30)),
              PercentFigure::exact(50));
    EXPECT_EQ(deltaAtTwoPm(yesterdayLate + haikuLine("t", "2025-10-05T08:00:00Z", 30)),
              PercentFigure::unknown(UnknownReason::noData().text()));
}

} // namespace
} // namespace vantery::app::testing
