// The store's refresh cycle: load and refresh states, the publish order, coalesced
// refreshes, the timer, the per-home inventory and clearing the cache mid-refresh.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <string>
#include <vector>

#include "StoreFixture.hpp"

namespace vantery::app {
namespace {

using testing::haikuLine;
using testing::StoreFixture;
using testing::waitFor;
using State = UsageStore::LoadState;

// Records every state the store passes through.
struct StateLog {
    std::vector<State> states;
    std::vector<bool> lastRefreshSetAt;
    StateLog(const UsageStore& store) {
        QObject::connect(&store, &UsageStore::stateChanged, [this, &store] {
            states.push_back(store.state());
            lastRefreshSetAt.push_back(store.lastRefresh().has_value());
        });
    }
};

class UsageStoreTest : public ::testing::Test {
  protected:
    StoreFixture fx;
    void SetUp() override {
        *fx.clock = fx.at(2025, 10, 5, 14, 0);
        fx.home.transcript("-w-app/a.jsonl",
                           haikuLine("1", "2025-10-04T08:00:00Z", 2) +   // yesterday
                               haikuLine("2", "2025-10-05T09:00:00Z", 3)); // today, 11:00 local
    }
};

TEST_F(UsageStoreTest, FirstStartReadsEverythingThenReloadsTheSavedCache) {
    {
        UsageStore store(fx.options());
        StateLog log(store);
        QSignalSpy published(&store, &UsageStore::refreshPublished);
        EXPECT_EQ(store.state(), State::scanning("reading the cache")); // set in the constructor
        ASSERT_TRUE(waitFor(published));
        EXPECT_EQ(log.states, (std::vector<State>{State::scanning("first full scan"), State::ready()}));
        EXPECT_EQ(log.lastRefreshSetAt, (std::vector<bool>{false, true}));
        EXPECT_EQ(store.history().total.requests, 2);
        EXPECT_EQ(store.today().total.requests, 1);
        EXPECT_DOUBLE_EQ(store.today().total.cost.priced, 3);
        EXPECT_EQ(store.today().byHour.count(11), 1u);
        EXPECT_TRUE(store.history().byHour.empty());
        EXPECT_FALSE(store.refreshStats()->fromCache);
    }
    UsageStore again(fx.options());
    StateLog log(again);
    QSignalSpy published(&again, &UsageStore::refreshPublished);
    ASSERT_TRUE(waitFor(published));
    EXPECT_EQ(log.states, (std::vector<State>{State::scanning("updating what changed"), State::ready()}));
    EXPECT_EQ(again.refreshStats()->filesUnchanged, 1);
    EXPECT_EQ(again.history().total.requests, 2);
}

} // namespace
} // namespace vantery::app
