// The Provenance and Sources tabs over a real store: redraws after refreshes, the cache
// buttons against a temporary cache, and the Sources figures on real transcripts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDateTime>
#include <QPushButton>
#include <QSignalSpy>

#include <filesystem>

#include "StoreFixture.hpp"
#include "model/Fmt.hpp"
#include "vantery/ingest/Scanner.hpp"
#include "widgets/FigureViews.hpp"
#include "widgets/ProvenanceTab.hpp"
#include "widgets/SourcesTab.hpp"
#include "widgets/TableViews.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {
namespace {

using testing::haikuLine;
using testing::StoreFixture;
using testing::waitFor;

void grab(QWidget& w, const char* name, int height = 760) {
    w.resize(900, height);
    w.show();
    QCoreApplication::processEvents();
    w.grab().save(QStringLiteral("/tmp/%1.png").arg(QString::fromUtf8(name)));
}

/// The rows that open and close a node, top to bottom.
std::vector<QAbstractButton*> nodeButtons(QWidget& tab) {
    std::vector<QAbstractButton*> out;
    for (auto* b : tab.findChildren<QAbstractButton*>())
        if (!qobject_cast<QPushButton*>(b)) out.push_back(b);
    return out;
}

/// A store over the home as written so far and its Provenance tab, the members built
/// and waited for in their order: the store's first publication, then the day index.
struct ProvenanceOverStore {
    explicit ProvenanceOverStore(const StoreFixture& f) : store(f.options()) {}

    UsageStore store;
    QSignalSpy published{&store, &UsageStore::refreshPublished};
    const bool storePublished = waitFor(published);
    ProvenanceTab tab{store};
    QSignalSpy redrawn{&tab, &ProvenanceTab::redrawn};
    const bool indexShown = tab.indexReady() || waitFor(redrawn);
};

/// Lets queued redraws run.
void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

TEST(ProvenanceTab, OpensADayFromTheIndexAndRedrawsAfterARefresh) {
    StoreFixture f;
    f.home.transcript("p/a.jsonl", haikuLine("1", "2025-03-03T09:00:00Z", 2, "session-one") +
                                       haikuLine("2", "2025-03-04T09:00:00Z", 1, "session-two"));
    ProvenanceOverStore p(f);
    ASSERT_TRUE(p.storePublished && p.indexShown);
    ASSERT_TRUE(p.tab.indexReady());
    ASSERT_EQ(p.tab.view().rows.size(), 2u);
    EXPECT_EQ(p.tab.view().rows[0].label, "2025-03-04");
    EXPECT_EQ(p.tab.moreDaysButton(), nullptr);

    nodeButtons(p.tab).at(0)->click();
    settle();
    ASSERT_EQ(p.tab.view().rows.size(), 3u);
    EXPECT_EQ(p.tab.view().rows[1].label, "/w/app");
    EXPECT_TRUE(p.tab.state().expandedDays.contains(LocalDay::fromYMD(2025, 3, 4)));

    // A new request on a new day: the open day stays open, the new day comes on top.
    f.home.transcript("p/b.jsonl", haikuLine("3", "2025-03-05T09:00:00Z", 1, "session-three"));
    p.redrawn.clear();
    p.store.refresh();
    ASSERT_TRUE(waitFor(p.published, 2));
    ASSERT_TRUE(waitFor(p.redrawn));
    ASSERT_EQ(p.tab.view().rows.size(), 4u);
    EXPECT_EQ(p.tab.view().rows[0].label, "2025-03-05");
    EXPECT_EQ(p.tab.view().rows[2].kind, ProvenanceRow::Kind::project);

    // Open the project and its session: the agent row names its models.
    nodeButtons(p.tab).at(2)->click();
    settle();
    nodeButtons(p.tab).at(3)->click();
    settle();
    ASSERT_EQ(p.tab.view().rows.size(), 6u);
    EXPECT_EQ(p.tab.view().rows[3].label, "session-");
    EXPECT_EQ(p.tab.view().rows[4].accessory, "claude-haiku-4-5 \u00D71");
    grab(p.tab, "h10-provenance");
}

// Row texts inside a button draw in ButtonText: it must carry the same colours as WindowText.
TEST(ProvenanceTab, ButtonRowsKeepTheLowerBoundAndSecondaryColours) {
    StoreFixture f;
    std::string unpriced = haikuLine("2", "2025-03-04T10:00:00Z", 1, "session-one");
    unpriced.replace(unpriced.find("claude-haiku-4-5"), 16, "claude-unpriced-9");
    f.home.transcript("p/a.jsonl",
                      haikuLine("1", "2025-03-04T09:00:00Z", 2, "session-one") + unpriced);
    ProvenanceOverStore p(f);
    ASSERT_TRUE(p.storePublished && p.indexShown);
    nodeButtons(p.tab).at(0)->click();
    settle();
    nodeButtons(p.tab).at(1)->click();
    settle();
    ASSERT_EQ(p.tab.view().rows.at(2).kind, ProvenanceRow::Kind::session);

    const auto buttons = nodeButtons(p.tab);
    ASSERT_EQ(buttons.size(), 3u);
    for (QAbstractButton* button : buttons) {
        auto* cost = button->findChild<CostText*>();
        ASSERT_NE(cost, nullptr);
        EXPECT_EQ(cost->amount()->palette().color(QPalette::ButtonText), Theme::accent());
    }
    QLabel* lastActivity = buttons[2]->findChild<BucketRow*>()->accessory();
    ASSERT_NE(lastActivity, nullptr);
    EXPECT_EQ(lastActivity->palette().color(QPalette::ButtonText), Theme::secondary());
}

TEST(SourcesTab, VerifiesAndClearsTheStoresCache) {
    StoreFixture f;
    f.home.transcript("p/a.jsonl",
                      haikuLine("1", "2025-03-03T09:00:00Z", 2) + "{\"usage\": broken\n");
    UsageStore store(f.options(false));
    SourcesTab tab(store);
    EXPECT_FALSE(tab.view().cacheGrid); // before the first refresh
    EXPECT_FALSE(tab.view().verdict);

    QSignalSpy published(&store, &UsageStore::refreshPublished);
    store.refresh();
    ASSERT_TRUE(waitFor(published));
    settle();
    ASSERT_TRUE(tab.view().cacheGrid);
    EXPECT_EQ(tab.view().cacheGrid->at(2).second, "0 / 1");
    EXPECT_EQ(tab.view().rejection.text.substr(0, 2), "1 ");
    ASSERT_TRUE(std::filesystem::exists(f.cachePath()));

    QSignalSpy verified(&store, &UsageStore::verificationChanged);
    tab.verifyButton()->click();
    ASSERT_TRUE(waitFor(verified));
    settle();
    ASSERT_TRUE(tab.view().verdict);
    EXPECT_TRUE(tab.view().verdict->clean);
    EXPECT_EQ(tab.view().verdict->summary.rfind("divergence 0", 0), 0u);

    // Clearing drops the verdict at once and re-reads every transcript.
    tab.clearButton()->click();
    settle();
    EXPECT_FALSE(tab.view().verdict);
    ASSERT_TRUE(waitFor(published, 2));
    settle();
    ASSERT_TRUE(store.refreshStats());
    EXPECT_EQ(store.refreshStats()->filesNew, 1);
    EXPECT_EQ(tab.view().cacheGrid->at(2).second, "0 / 1");
    EXPECT_EQ(tab.view().parsing[2].second, "1");
}

TEST(SourcesTab, CountsOnRealTranscriptsEqualAFullScanAndVerifyClean) {
    const std::filesystem::path real =
        std::filesystem::path(VANTERY_SHARED_DIR) / "testdata" / "real";
    if (!std::filesystem::exists(real)) GTEST_SKIP() << "no real transcripts at " << real;
    StoreFixture f;
    *f.clock =
        static_cast<double>(QDateTime::currentSecsSinceEpoch()); // the verdict's age reads sensibly
    const auto projects = std::filesystem::path(f.home.path()) / ".claude" / "projects";
    std::filesystem::create_directories(projects);
    std::filesystem::copy(real, projects, std::filesystem::copy_options::recursive);

    UsageStore store(f.options());
    QSignalSpy published(&store, &UsageStore::refreshPublished);
    ASSERT_TRUE(waitFor(published));
    SourcesTab tab(store);
    const ScanDiagnostics fresh = Scanner::scan(store.homes(), true).diagnostics;
    const ScanDiagnostics& shown = store.history().diagnostics;
    EXPECT_EQ(shown.filesScanned, fresh.filesScanned);
    EXPECT_EQ(shown.usageLines, fresh.usageLines);
    EXPECT_EQ(shown.uniqueRequests, fresh.uniqueRequests);
    EXPECT_EQ(shown.rejectedInvalidJSON, fresh.rejectedInvalidJSON);
    EXPECT_EQ(shown.rejectedNoMessage, fresh.rejectedNoMessage);
    EXPECT_EQ(shown.rejectedNoTimestamp, fresh.rejectedNoTimestamp);
    EXPECT_EQ(shown.rejectedNoIdentity, fresh.rejectedNoIdentity);
    EXPECT_EQ(shown.notUsageBearing, fresh.notUsageBearing);
    EXPECT_EQ(shown.skippedZeroUsage, fresh.skippedZeroUsage);
    EXPECT_EQ(shown.filesUnreadable.size(), fresh.filesUnreadable.size());
    EXPECT_GT(fresh.uniqueRequests, 0);
    // And what the tab writes is those figures.
    const auto& grid = tab.view().parsing;
    EXPECT_EQ(grid[0].second, Fmt::exact(fresh.filesScanned));
    EXPECT_EQ(grid[1].second, Fmt::exact(fresh.usageLines));
    EXPECT_EQ(grid[2].second, Fmt::exact(fresh.uniqueRequests));
    EXPECT_EQ(grid[3].second, Fmt::exact(fresh.totalRejected()));
    EXPECT_EQ(grid[4].second, Fmt::exact(fresh.notUsageBearing));
    EXPECT_EQ(grid[5].second, Fmt::exact(fresh.skippedZeroUsage));
    EXPECT_EQ(grid[6].second, Fmt::exact(fresh.longestLineBytes) + " bytes");

    QSignalSpy verified(&store, &UsageStore::verificationChanged);
    tab.verifyButton()->click();
    ASSERT_TRUE(waitFor(verified));
    settle();
    ASSERT_TRUE(tab.view().verdict);
    EXPECT_TRUE(tab.view().verdict->clean) << tab.view().verdict->summary;
    grab(tab, "h10-sources", 1500);
}

} // namespace
} // namespace vantery::app
