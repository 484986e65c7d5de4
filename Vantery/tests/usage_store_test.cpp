// The store's refresh cycle: load and refresh states, the publish order, coalesced
// refreshes, the timer, the per-home inventory, clearing the cache mid-refresh and when
// the cache file is written.
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QThreadPool>

#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "StoreFixture.hpp"

namespace vantery::app::testing {
namespace {

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
                           haikuLine("1", "2025-10-04T08:00:00Z", 2) +     // yesterday
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
        EXPECT_EQ(log.states,
                  (std::vector<State>{State::scanning("first full scan"), State::ready()}));
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
    EXPECT_EQ(log.states,
              (std::vector<State>{State::scanning("updating what changed"), State::ready()}));
    EXPECT_EQ(again.refreshStats()->filesUnchanged, 1);
    EXPECT_EQ(again.history().total.requests, 2);
}

// Qt's raster engine borrows its global pool to paint, and on one CPU that pool has a
// single thread: store work queued there held painting up for a whole first scan.
TEST_F(UsageStoreTest, WorkNeverWaitsForQtsGlobalPool) {
    QThreadPool& global = *QThreadPool::globalInstance();
    const int threads = global.maxThreadCount();
    global.setMaxThreadCount(1);
    CacheGate taken; // holds the global pool's one thread
    global.start(taken.hold());
    {
        UsageStore store(fx.options());
        QSignalSpy range(&store, &UsageStore::rangeReportChanged);
        EXPECT_TRUE(waitFor(range)); // loaded, scanned, published, range computed
        EXPECT_EQ(store.rangeReport().total.requests, 2);
    }
    taken.open();
    global.waitForDone();
    global.setMaxThreadCount(threads);
}

// Every published signal of the store, by name, in the order emitted.
std::vector<std::string> signalLog(UsageStore& store, std::vector<std::string>& log) {
    auto on = [&](auto signal, const char* name) {
        QObject::connect(&store, signal, [&log, name] { log.emplace_back(name); });
    };
    on(&UsageStore::stateChanged, "state");
    on(&UsageStore::todayChanged, "today");
    on(&UsageStore::historyChanged, "history");
    on(&UsageStore::rangeReportChanged, "rangeReport");
    on(&UsageStore::rangeIsComputingChanged, "rangeIsComputing");
    on(&UsageStore::lastRefreshChanged, "lastRefresh");
    on(&UsageStore::refreshStatsChanged, "refreshStats");
    on(&UsageStore::verificationChanged, "verification");
    on(&UsageStore::rosterChanged, "roster");
    on(&UsageStore::homeInventoryChanged, "homeInventory");
    on(&UsageStore::refreshPublished, "published");
    return log;
}

TEST_F(UsageStoreTest, ARefreshPublishesNothingUntilItsScanReturnsThenInOrder) {
    UsageStore store(fx.options(false));
    std::vector<std::string> log;
    signalLog(store, log);
    QSignalSpy range(&store, &UsageStore::rangeReportChanged);
    store.refresh();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(store.state(), State::idle());
    ASSERT_TRUE(waitFor(range));
    EXPECT_EQ(log,
              (std::vector<std::string>{"refreshStats", "history", "today", "roster",
                                        "homeInventory", "lastRefresh", "state", "rangeIsComputing",
                                        "published", "rangeReport", "rangeIsComputing"}));
    EXPECT_FALSE(store.rangeIsComputing());
}

TEST_F(UsageStoreTest, RefreshWhileOneRunsIsDroppedAndTheTimerRefreshes) {
    {
        UsageStore store(fx.options(false));
        QSignalSpy published(&store, &UsageStore::refreshPublished);
        store.refresh();
        store.refresh();
        ASSERT_TRUE(waitFor(published));
        drainBackgroundWork();
        EXPECT_EQ(published.count(), 1);
    }
    UsageStore timed(fx.options(true, 30));
    QSignalSpy published(&timed, &UsageStore::refreshPublished);
    ASSERT_TRUE(waitFor(published, 3)); // bootstrap, then two ticks
    EXPECT_TRUE(timed.refreshStats()->fromCache);
    EXPECT_EQ(timed.refreshStats()->filesUnchanged, 1);
}

TEST_F(UsageStoreTest, InventoryHasOneRowPerHomeEvenWithoutFilesOrRequests) {
    fx.home.transcript("-w-x/notes.jsonl",
                       R"({"type":"user","message":{"content":"hi"}})"
                       "\n",
                       ".claude-work");
    UsageStore store(fx.options(false));
    QSignalSpy published(&store, &UsageStore::refreshPublished);
    store.refresh();
    ASSERT_TRUE(waitFor(published));
    const auto& rows = store.homeInventory();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].name, ".claude");
    EXPECT_EQ(rows[0].path, fx.home / ".claude/projects");
    EXPECT_TRUE(rows[0].exists);
    EXPECT_EQ(rows[0].fileCount, 1);
    EXPECT_EQ(rows[0].requests, 2);
    EXPECT_DOUBLE_EQ(rows[0].cost.priced, 5);
    EXPECT_EQ(rows[0].firstActivity, fx.at(2025, 10, 4, 10, 0));
    EXPECT_EQ(rows[0].lastActivity, fx.at(2025, 10, 5, 11, 0));

    UsageStore::HomeInfo noRequests{
        ".claude-work", fx.home / ".claude-work/projects", true, 1, 0, {}, {}, {}};
    EXPECT_EQ(rows[1], noRequests);
    UsageStore::HomeInfo missing{
        ".claude-outlook", fx.home / ".claude-outlook/projects", false, 0, 0, {}, {}, {}};
    EXPECT_EQ(rows[2], missing);
    EXPECT_TRUE(rows[2].cost.isComplete());
}

TEST_F(UsageStoreTest, TheProvenanceResolverAndTheReportsShareOneLabelPerDirectory) {
    vantery::testing::UsageLine line;
    line.cwd = fx.home / "repo/sub";
    fx.home.transcript("-repo/b.jsonl", usageLine(line));
    UsageStore store(fx.options(false));
    // Resolved for the Provenance tab before the repository appears; reports resolving
    // afresh would fold the same directory to ~/repo.
    EXPECT_EQ(store.resolver().resolve(*line.cwd).canonical, "~/repo/sub");
    fx.home.mkdir("repo/.git");
    QSignalSpy published(&store, &UsageStore::refreshPublished);
    store.refresh();
    ASSERT_TRUE(waitFor(published));
    EXPECT_EQ(store.history().byProject.count("~/repo/sub"), 1u);
    EXPECT_EQ(store.history().byProject.count("~/repo"), 0u);
}

TEST_F(UsageStoreTest, ClearingTheCacheDuringARefreshReadsEverythingAgainAfterIt) {
    UsageStore store(fx.options());
    QSignalSpy published(&store, &UsageStore::refreshPublished);
    ASSERT_TRUE(waitFor(published));
    QSignalSpy verdict(&store, &UsageStore::verificationChanged);
    store.refresh();
    store.clearCache(); // the refresh above is still running
    EXPECT_EQ(verdict.count(), 1);
    store.refresh(); // dropped: a refresh runs
    ASSERT_TRUE(waitFor(published, 3));
    drainBackgroundWork();
    EXPECT_EQ(published.count(), 3);
    const auto& stats = *store.refreshStats();
    EXPECT_FALSE(stats.fromCache);
    EXPECT_EQ(stats.filesNew, 1);
    EXPECT_GT(stats.bytesRead, 0u);
    EXPECT_EQ(store.history().total.requests, 2);
    ScanCache saved(fx.cachePath());
    EXPECT_TRUE(saved.load());
    EXPECT_EQ(saved.snapshot().size(), 1u);
}

TEST_F(UsageStoreTest, OnlyARefreshThatChangedTheTableWritesTheCacheFile) {
    UsageStore store(fx.options(false));
    QSignalSpy published(&store, &UsageStore::refreshPublished);
    auto fileId = [&] {
        struct stat st {};
        return ::stat(fx.cachePath().c_str(), &st) == 0 ? st.st_ino : 0;
    };
    store.refresh();
    ASSERT_TRUE(waitFor(published));
    const auto firstSave = fileId();
    ASSERT_NE(firstSave, 0u);
    const Bucket before = store.history().total;

    store.refresh();
    ASSERT_TRUE(waitFor(published, 2));
    EXPECT_EQ(fileId(), firstSave); // the file already held this table
    EXPECT_EQ(store.history().total.requests, before.requests);
    EXPECT_EQ(store.history().total.cost, before.cost);

    fx.home.transcript("-w-app/b.jsonl", haikuLine("3", "2025-10-05T10:00:00Z", 1));
    store.refresh();
    ASSERT_TRUE(waitFor(published, 3));
    EXPECT_NE(fileId(), firstSave);
    ScanCache saved(fx.cachePath());
    ASSERT_TRUE(saved.load());
    EXPECT_EQ(saved.snapshot().size(), 2u);
}

TEST_F(UsageStoreTest, AStoreDestroyedWhileItsWorkRunsIsLeftAlone) {
    CacheGate gate;
    auto options = fx.options();
    options.beforeLoad = gate.hold();
    auto store = std::make_unique<UsageStore>(options);
    std::weak_ptr<const RequestTable> table = store->table();
    store->refresh();
    store->runFullVerification();
    store->selectRange(store->rangeSelection());
    store.reset();
    gate.open();
    drainBackgroundWork();        // the work above ends with nothing to publish to
    EXPECT_TRUE(table.expired()); // and lets go of the table it kept alive
    // Asked to stop, the scan that had not begun saved no half-read cache.
    EXPECT_FALSE(QFile::exists(QString::fromStdString(fx.cachePath())));
}

TEST_F(UsageStoreTest, AnExplicitHomeKeepsItsCacheWhateverXdgDataHomeSays) {
    const char* before = std::getenv("XDG_DATA_HOME");
    const std::optional<std::string> saved =
        before ? std::optional<std::string>(before) : std::nullopt;
    ::setenv("XDG_DATA_HOME", (fx.cacheDir / "user-data").c_str(), 1);
    auto options = fx.options(false);
    options.cachePath.reset();
    const std::string path = UsageStore(options).cachePath();
    if (saved)
        ::setenv("XDG_DATA_HOME", saved->c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(path, fx.home.path() + "/.local/share/ro.kelvora.vantery/scan-cache.v2.bin");
}

} // namespace
} // namespace vantery::app::testing
