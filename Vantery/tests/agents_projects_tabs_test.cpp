// Offscreen smoke tests of the Agents and Projects tabs over a real store. Set
// VANTERY_GRAB_DIR to a folder to also write pictures of both tabs there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>

#include <fmt/format.h>

#include "StoreFixture.hpp"
#include "model/BucketTableModel.hpp"
#include "widgets/AgentsTab.hpp"
#include "widgets/BucketListView.hpp"
#include "widgets/ProjectsTab.hpp"
#include "widgets/ProvenanceTab.hpp"
#include "widgets/TableViews.hpp"

using namespace vantery;
using namespace vantery::app;
using vantery::app::testing::CacheGate;
using vantery::app::testing::StoreFixture;
using vantery::app::testing::waitFor;

namespace {

/// One usage line priced at `dollars` (haiku input), by `agentId` (none: the main session).
std::string line(int id, double dollars, const std::string& cwd, const std::string& agentId = {},
                 const std::string& session = "1a2b3c4d-0000-4000-8000-000000000001") {
    vantery::testing::UsageLine l;
    l.timestamp = "2025-10-05T09:00:00Z";
    l.messageId = "msg_" + std::to_string(id);
    l.requestId = "req_" + std::to_string(id);
    l.sessionId = session;
    l.cwd = cwd;
    l.agentId = agentId;
    l.model = "claude-haiku-4-5";
    l.input = static_cast<std::int64_t>(dollars * 1'000'000);
    l.output = 10;
    l.cacheRead = id * 1000;
    return vantery::testing::usageLine(l);
}

class TabsTest : public ::testing::Test {
  protected:
    StoreFixture fx;
    void SetUp() override { *fx.clock = fx.at(2025, 10, 5, 14, 0); }

    std::unique_ptr<UsageStore> loadedStore() {
        auto store = std::make_unique<UsageStore>(fx.options());
        QSignalSpy published(store.get(), &UsageStore::refreshPublished);
        EXPECT_TRUE(waitFor(published));
        return store;
    }

    static void grab(QWidget& w, const char* name) {
        const QByteArray dir = qgetenv("VANTERY_GRAB_DIR");
        if (dir.isEmpty()) return;
        w.resize(900, 1100);
        w.show();
        QApplication::processEvents();
        w.grab().save(QString::fromUtf8(dir) + "/" + name);
    }
};

std::vector<std::string> rowLabels(const BucketTableModel* model) {
    std::vector<std::string> out;
    for (const auto& r : model->rows())
        out.push_back(r.label);
    return out;
}

} // namespace

TEST_F(TabsTest, AgentsTabFiltersWithoutRebuildingAndKeepsTheQueryAcrossRefreshes) {
    const std::string root = fx.home.path() + "/w/app";
    fx.home.transcript("-w-app/a.jsonl",
                       line(1, 4, root) + line(2, 2, root, "areport-writer-3c9d0a7e51b2f846") +
                           line(3, 1, root + "/.claude/worktrees/agent-1", "axyz") +
                           line(4, 0.5, "/w/<b>x</b>", "aplanner-0123456789abcdef"));
    fx.home.write(".claude/teams/session-1/config.json",
                  R"({"members":[{"agentId":"report-writer@session-1a2b3c4d","agentType":"writer",)"
                  R"("model":"claude-opus-4-1"}]})");
    auto store = loadedStore();
    AgentsTab tab(*store);

    EXPECT_EQ(tab.rankingCard()->title()->text(), "Ranking (4)");
    auto* coverage = tab.findChild<QLabel*>("coverageText");
    ASSERT_NE(coverage, nullptr);
    EXPECT_EQ(coverage->textFormat(), Qt::RichText);
    EXPECT_FALSE(coverage->text().contains("**"));
    EXPECT_EQ(rowLabels(tab.rankingRows()),
              (std::vector<std::string>{"main session", "report-writer", "anonymous agent axyz",
                                        "planner"}));
    EXPECT_EQ(tab.rankingRows()->row(1).accessory,
              "session 1a2b3c4d \u00b7 type writer \u00b7 model claude-opus-4-1 \u00b7 ~/w/app");
    EXPECT_TRUE(tab.rankingEmpty()->isHidden());
    EXPECT_TRUE(tab.rankingCaption()->isHidden());
    EXPECT_EQ(tab.coverageTiles()->findChildren<StatTile*>().at(2)->figure()->text(), "50.0%");
    grab(tab, "agents-tab.png");

    auto* list = tab.findChild<BucketListView*>();
    tab.filterField()->setText("MAIN");
    EXPECT_EQ(tab.rankingCard()->title()->text(), "Ranking (1)");
    EXPECT_EQ(rowLabels(tab.rankingRows()), std::vector<std::string>{"main session"});
    EXPECT_EQ(tab.findChild<BucketListView*>(), list);
    EXPECT_EQ(list->height(), list->rowTop(1));

    // A refresh rebuilds from the store and keeps what was typed.
    QSignalSpy published(store.get(), &UsageStore::refreshPublished);
    store->refresh();
    ASSERT_TRUE(waitFor(published));
    QApplication::processEvents();
    EXPECT_EQ(tab.filterField()->text(), "MAIN");
    EXPECT_EQ(tab.rankingCard()->title()->text(), "Ranking (1)");

    tab.filterField()->setText("nobody");
    EXPECT_EQ(tab.rankingCard()->title()->text(), "Ranking (0)");
    EXPECT_FALSE(tab.rankingEmpty()->isHidden());
    EXPECT_EQ(list->height(), 0);

    // The split card is not filtered; history holds the same four agents here.
    tab.setScope(AgentsTabModel::Scope::all);
    EXPECT_EQ(tab.splitContent()->findChildren<StatTile*>().at(2)->figure()->text(), "3");
}

/// `line` on a model without a price.
std::string unpricedLine(int id, const std::string& cwd, const std::string& agentId = {}) {
    std::string l = line(id, 1, cwd, agentId);
    return l.replace(l.find("claude-haiku-4-5"), 16, "claude-unpriced-9");
}

TEST_F(TabsTest, AgentsSplitTilesShowLowerBoundsAsTheRankingDoes) {
    fx.home.transcript("-w-app/a.jsonl", line(1, 3.73, "/w/app") + unpricedLine(2, "/w/app") +
                                             unpricedLine(3, "/w/app", "axyz"));
    auto store = loadedStore();
    AgentsTab tab(*store);
    const auto tiles = tab.splitContent()->findChildren<StatTile*>();
    ASSERT_EQ(tiles.size(), 3u);
    ASSERT_NE(tiles[0]->cost(), nullptr);
    const BucketTableRow& mainRow = tab.rankingRows()->rows().at(0);
    ASSERT_EQ(mainRow.label, "main session");
    const CostFigure shown = FigureTexts::cost(mainRow.bucket.cost);
    EXPECT_EQ(tiles[0]->cost()->amount()->text().toStdString(), shown.text);
    EXPECT_EQ(shown.text, "\u2265 $3.73");
    EXPECT_FALSE(tiles[0]->cost()->marker()->isHidden());
    EXPECT_EQ(tiles[0]->cost()->marker()->toolTip().toStdString(), shown.caveat);

    // Every request unpriced: lower bounds of $0.00, not "no requests".
    fx.home.transcript("-w-app/a.jsonl", unpricedLine(1, "/w/app"));
    QSignalSpy published(store.get(), &UsageStore::refreshPublished);
    store->refresh();
    ASSERT_TRUE(waitFor(published));
    QApplication::processEvents();
    for (QLabel* label : tab.splitContent()->findChildren<QLabel*>())
        EXPECT_FALSE(label->text().contains("no requests")) << label->text().toStdString();
    EXPECT_EQ(tab.splitContent()->findChildren<StatTile*>().at(0)->cost()->amount()->text(),
              QStringLiteral("\u2265 $0.00"));
}

TEST_F(TabsTest, AgentsTabCapsThousandsOfAgentsAndStaysFluid) {
    std::string lines = line(0, 1, "/w/app");
    for (int i = 1; i <= 5000; ++i)
        lines += line(i, 0.001 * i, "/w/app", fmt::format("aworker{}-{:016x}", i, i));
    fx.home.transcript("-w-app/many.jsonl", lines);
    auto store = loadedStore();
    AgentsTab tab(*store);
    EXPECT_EQ(tab.rankingCard()->title()->text(), "Ranking (5001)");
    EXPECT_EQ(tab.rankingRows()->rowCount(), 200);
    EXPECT_EQ(tab.rankingCaption()->text(), "showing the first 200 of 5001");
    EXPECT_FALSE(tab.rankingCaption()->isHidden());

    QElapsedTimer clock;
    clock.start();
    const QString typed = "WORKER12";
    for (qsizetype n = 1; n <= typed.size(); ++n)
        tab.filterField()->setText(typed.left(n));
    const double perKey = double(clock.elapsed()) / double(typed.size());
    RecordProperty("ms_per_keystroke_5001_agents", QString::number(perKey, 'f', 1).toStdString());
    std::printf("filtering 5001 agents: %.1f ms per keystroke\n", perKey);
    EXPECT_EQ(tab.rankingCard()->title()->text(), "Ranking (111)"); // 12, 120–129, 1200–1299
    EXPECT_TRUE(tab.rankingCaption()->isHidden());
}

TEST_F(TabsTest, ProjectsTabSwitchesToTheRawBreakdown) {
    const std::string root = fx.home.path() + "/w/app";
    fx.home.transcript("-w-app/a.jsonl",
                       line(1, 4, root) + line(2, 2, root + "/.claude/worktrees/agent-1", "axyz") +
                           line(3, 1, "/w/<b>x</b>") + line(4, 0.5, ""));
    auto store = loadedStore();
    ProjectsTab tab(*store);

    EXPECT_FALSE(tab.showRaw());
    const QString canonicalTitle = tab.tableCard()->title()->text();
    EXPECT_TRUE(canonicalTitle.startsWith("Projects (")) << canonicalTitle.toStdString();
    EXPECT_EQ(tab.tableRows()->row(0).label, "~/w/app");
    EXPECT_EQ(tab.tableRows()->row(0).accessory, "includes worktrees");
    EXPECT_EQ(tab.tiles()->findChildren<StatTile*>().at(2)->figure()->text(), "1");
    grab(tab, "projects-tab.png");

    tab.toggle()->click();
    EXPECT_TRUE(tab.showRaw());
    EXPECT_EQ(tab.tableCard()->title()->text(), "Raw breakdown (4 rows)");
    EXPECT_EQ(tab.tableCard()->subtitle()->text(),
              "exactly what the transcript says, with no grouping at all");
    for (const auto& r : tab.tableRows()->rows())
        EXPECT_FALSE(r.accessory) << r.label;
    EXPECT_EQ(tab.tiles()->findChildren<StatTile*>().at(2)->figure()->text(), "1");
    grab(tab, "projects-tab-raw.png");
}

TEST_F(TabsTest, EmptyHistoryShowsUnknownsAndZeros) {
    auto loaded = loadedStore(); // a home without transcripts
    UsageStore& store = *loaded;
    ProjectsTab projects(store);
    EXPECT_EQ(projects.tableCard()->title()->text(), "Projects (0)");
    EXPECT_FALSE(projects.tableEmpty()->isHidden());
    for (auto* tile : projects.tiles()->findChildren<StatTile*>())
        EXPECT_EQ(tile->figure()->text(), "0");

    AgentsTab agents(store);
    EXPECT_EQ(agents.rankingCard()->title()->text(), "Ranking (0)");
    EXPECT_FALSE(agents.rankingEmpty()->isHidden());
    const auto texts = agents.splitContent()->findChildren<QLabel*>();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(texts[0]->text(), "unknown \u2014 no requests in the selected range");
    EXPECT_EQ(agents.coverageTiles()->findChildren<StatTile*>().at(2)->figure()->text(), "unknown");
}

// Until the first publish nothing was read: no count, ranking or day may be told as found.
TEST_F(TabsTest, BeforeTheFirstPublishTabsShowTheScanNotZeros) {
    fx.home.transcript("-w-app/a.jsonl", line(1, 4, "/w/app") + line(2, 1, "/w/app", "axyz"));
    CacheGate gate;
    UsageStore::Options options = fx.options();
    options.beforeLoad = gate.hold();
    UsageStore store(options);
    ProjectsTab projects(store);
    AgentsTab agents(store);
    ProvenanceTab provenance(store);
    QApplication::processEvents();

    EXPECT_EQ(projects.tableCard()->title()->text(), "Projects");
    EXPECT_EQ(projects.tableLoading()->text(), "reading the cache");
    EXPECT_EQ(projects.tiles(), nullptr);
    EXPECT_TRUE(projects.tableEmpty()->isHidden());
    EXPECT_EQ(agents.rankingCard()->title()->text(), "Ranking");
    EXPECT_EQ(agents.rankingLoading()->text(), "reading the cache");
    EXPECT_TRUE(agents.rankingEmpty()->isHidden());
    EXPECT_TRUE(agents.splitContent()->findChildren<StatTile*>().empty());
    EXPECT_TRUE(agents.coverageTiles()->findChildren<StatTile*>().empty());
    EXPECT_EQ(provenance.view().loading, "reading the cache");
    EXPECT_FALSE(provenance.view().emptyText);

    agents.filterField()->setText("MAIN"); // applies once the agents are read
    // The message follows the store's.
    std::vector<QString> shown;
    QObject::connect(&store, &UsageStore::stateChanged,
                     [&] { shown.push_back(projects.tableLoading()->text()); });
    QSignalSpy published(&store, &UsageStore::refreshPublished);
    QSignalSpy redrawn(&provenance, &ProvenanceTab::redrawn);
    gate.open();
    ASSERT_TRUE(waitFor(published));
    while (provenance.view().loading) // its first redraw after the publish waits for its index
        ASSERT_TRUE(waitFor(redrawn, redrawn.count() + 1));
    QApplication::processEvents();
    EXPECT_EQ(shown.front(), "first full scan");

    EXPECT_EQ(projects.tableCard()->title()->text(), "Projects (1)");
    EXPECT_TRUE(projects.tableLoading()->isHidden());
    ASSERT_NE(projects.tiles(), nullptr);
    EXPECT_EQ(agents.rankingCard()->title()->text(), "Ranking (1)");
    EXPECT_TRUE(agents.rankingLoading()->isHidden());
    EXPECT_EQ(agents.coverageTiles()->findChildren<StatTile*>().size(), 3u);
    EXPECT_FALSE(provenance.view().loading);
    EXPECT_EQ(provenance.view().rows.size(), 1u);
}
