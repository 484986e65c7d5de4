#include <gtest/gtest.h>

#include "model/PanelModel.hpp"
#include "support/TodayFixture.hpp"

using namespace vantery;
using namespace vantery::app;
using State = UsageStore::LoadState;

namespace {

struct Built {
    Report today, history;
    PanelModel model;
};

// By default a refresh has published (at the epoch: long ago).
Built build(const TodayFixture& f, State state = State::ready(),
            std::optional<double> lastRefresh = 0.0,
            std::optional<ScanCache::RefreshStats> stats = {},
            std::vector<UsageStore::HomeInfo> homes = {}) {
    Built b{f.today(), f.history(), {}};
    const PanelInputs in{state,       b.today, b.history, f.yesterdayAtSameTime(),
                         lastRefresh, stats,   homes};
    b.model = buildPanel(in, f.now, f.cal);
    return b;
}

std::string shown(const CostEstimate& c) {
    return FigureTexts::cost(c).text;
}

FigureText unknownBecause(const UnknownReason& r) {
    return {"unknown", Tone::unknown, true, r.text()};
}

UsageStore::HomeInfo home(std::string name, std::int64_t files) {
    UsageStore::HomeInfo h;
    h.name = std::move(name);
    h.fileCount = files;
    return h;
}

// A day with the main session, two sub-agents, an unpriced request and three projects,
// with yesterday and an earlier day behind it.
TodayFixture busyDay() {
    TodayFixture f;
    f.add(0, 9, 10, 3);
    f.add(0, 14, 5, 1, AgentIdentity::named("reviewer", "agent-reviewer-1"));
    f.add(0, 14, 20, 2, AgentIdentity::anonymous("abcdef1234567"), "/srv/dev/work/api");
    f.add(0, 10, 0, 0, {}, "/h/app");
    f.add(-1, 8, 0, 4);  // inside yesterday's same window
    f.add(-1, 20, 0, 6); // after it
    f.add(-3, 12, 0, 8);
    return f;
}

} // namespace

TEST(PanelModel, EmptyTodayShowsZeroHeaderAndOnlyTheExplanation) {
    TodayFixture f;
    f.add(-1, 8, 0, 4);
    const PanelModel m = build(f).model;
    EXPECT_EQ(m.header.title, "Today");
    EXPECT_EQ(shown(m.header.cost), "$0.00");
    EXPECT_EQ(m.header.requests, "0 requests");
    EXPECT_EQ(m.header.tokens, "0 tokens");
    ASSERT_TRUE(m.emptyToday);
    EXPECT_EQ(m.emptyToday->headline, "No requests today.");
    EXPECT_EQ(
        m.emptyToday->note,
        "That is not $0 spent \u2014 it means no request was found in the transcripts for today.");
    EXPECT_FALSE(m.day);
}

TEST(PanelModel, BeforeTheFirstPublishOnlyTheScanShows) {
    TodayFixture f;
    PanelModel m = build(f, State::scanning("first full scan"), std::nullopt).model;
    EXPECT_EQ(m.loading, "first full scan");
    EXPECT_FALSE(m.emptyToday);
    EXPECT_FALSE(m.day);
    EXPECT_EQ(build(f, State::idle(), std::nullopt).model.loading, "waiting for the first scan");
    EXPECT_EQ(build(f, State::idle(), std::nullopt, {}, {home(".claude", 0)}).model.footer.sources,
              ""); // no home counted yet: not "0 sources"
    // A later scan of a loaded store keeps the figures.
    m = build(busyDay(), State::scanning("updating what changed"), f.now - 60).model;
    EXPECT_FALSE(m.loading);
    EXPECT_TRUE(m.day);
}

TEST(PanelModel, PopulatedDaySections) {
    const PanelModel m = build(busyDay()).model;
    EXPECT_EQ(shown(m.header.cost), "\u2265 $6.00");
    EXPECT_EQ(m.header.cost.unpricedModels, std::set<std::string>{"mystery-model"});
    EXPECT_EQ(m.header.requests, "4 requests");
    EXPECT_EQ(m.header.tokens, "6.00M tokens");
    EXPECT_FALSE(m.emptyToday);
    ASSERT_TRUE(m.day);

    const PanelRhythm& r = m.day->rhythm;
    EXPECT_EQ(r.title, "RATE");
    EXPECT_EQ(r.sparkline.bars[14].fill, SparklineBar::Fill::current);
    EXPECT_EQ(r.rate.caption, "current rate");
    EXPECT_EQ(r.rate.value,
              (FigureText{"$6.00/h", Tone::primary, false, {}})); // 14:00–14:30 at $3, per hour
    EXPECT_NE(r.rate.help.find("after a few idle hours"), std::string::npos);
    EXPECT_EQ(r.yesterdaySameWindow.caption, "yesterday, same window");
    EXPECT_EQ(r.yesterdaySameWindow.value.text, "$4.00");

    const PanelAgents& a = m.day->agents;
    EXPECT_EQ(a.title, "BY AGENT");
    // The main session leaves an unpriced request out: the sub-agents' half is at most.
    EXPECT_EQ(a.share, "sub-agents \u2264 50.0%");
    EXPECT_EQ(a.shareHelp,
              "how much of today\u2019s cost comes from sub-agents, not the main session");
    ASSERT_EQ(a.rows.size(), 3u);
    EXPECT_TRUE(a.rows[0].mainSession);
    EXPECT_EQ(a.rows[0].label, "main session");
    EXPECT_EQ(a.rows[0].requests, "2");
    EXPECT_EQ(shown(a.rows[0].cost), "\u2265 $3.00");
    EXPECT_FALSE(a.rows[1].mainSession);
    EXPECT_EQ(a.rows[1].label, "anonymous agent abcdef123");
    EXPECT_EQ(shown(a.rows[1].cost), "$2.00");
    EXPECT_EQ(a.rows[2].label, "reviewer");

    const PanelProjects& p = m.day->projects;
    EXPECT_EQ(p.title, "BY PROJECT");
    ASSERT_EQ(p.rows.size(), 3u);
    EXPECT_EQ(p.rows[0].label, "\u2026/code/app");
    EXPECT_EQ(shown(p.rows[0].cost), "$4.00");
    EXPECT_EQ(p.rows[1].label, "\u2026/work/api");
    EXPECT_EQ(p.rows[2].label, "~/app"); // fewer than three pieces: whole
    EXPECT_EQ(shown(p.rows[2].cost), "\u2265 $0.00");

    const PanelComparison& c = m.day->comparison;
    EXPECT_EQ(c.yesterday.caption, "yesterday");
    EXPECT_EQ(c.yesterday.value.text, "$10.00");
    EXPECT_EQ(c.median.caption, "median, 7 full days");
    EXPECT_EQ(c.median.value.text, "$9.00"); // of $10 and $8; today left out
}

// Today: an unpriced main-session request at 09:00, then the helper agent's at 09:30.
PanelModel unpricedMainThenHelper(double helperDollars) {
    TodayFixture f;
    f.add(0, 9, 0, 0);
    f.add(0, 9, 30, helperDollars, AgentIdentity::named("helper", "agent-h"));
    return build(f).model;
}

TEST(PanelModel, UnpricedOnlyDayListsRowsWithoutAShare) {
    const PanelModel m = unpricedMainThenHelper(0);
    ASSERT_TRUE(m.day);
    EXPECT_FALSE(m.day->agents.share);
    EXPECT_EQ(m.day->agents.rows.size(), 2u);
    EXPECT_EQ(m.day->projects.rows.size(), 1u);
    // Nothing yesterday, no finished day: unknown with a reason, never a number.
    EXPECT_EQ(m.day->comparison.yesterday.value, unknownBecause(UnknownReason::noData()));
    EXPECT_EQ(m.day->comparison.median.value, unknownBecause(UnknownReason::noData()));
}

TEST(PanelModel, ASubAgentShareAgainstAnUnpricedMainSessionIsUnknown) {
    const PanelModel m = unpricedMainThenHelper(2);
    ASSERT_TRUE(m.day);
    EXPECT_EQ(m.day->agents.share, "sub-agents unknown"); // not "100.0%"
    EXPECT_EQ(m.day->agents.shareHelp,
              "unknown \u2014 none of the other requests has a known price");
}

TEST(PanelModel, MainSessionAloneAndIdleHours) {
    TodayFixture f;
    f.add(0, 8, 0, 2);
    const PanelModel m = build(f).model;
    ASSERT_TRUE(m.day);
    EXPECT_EQ(m.day->agents.share, "sub-agents 0.0%");
    ASSERT_EQ(m.day->agents.rows.size(), 1u);
    EXPECT_TRUE(m.day->agents.rows[0].mainSession);
    EXPECT_EQ(m.day->rhythm.rate.value, unknownBecause(UnknownReason::noRecentActivity()));
}

TEST(PanelModel, FooterFollowsTheStoreState) {
    TodayFixture f;
    const std::vector<UsageStore::HomeInfo> homes{home(".claude", 3), home(".claude-work", 0),
                                                  home(".claude-outlook", 0)};
    ScanCache::RefreshStats stats;
    stats.duration = 0.25;

    PanelFooter ft =
        build(f, State::scanning("first full scan"), f.now - 300, stats, homes).model.footer;
    EXPECT_EQ(ft.scanning, "first full scan");
    EXPECT_FALSE(ft.updated);
    EXPECT_EQ(ft.sources, "1 sources");
    EXPECT_EQ(ft.sourcesHelp, ".claude: 3 files\n.claude-work: 0 files\n.claude-outlook: 0 files");

    ft = build(f, State::ready(), f.now - 300, stats, homes).model.footer;
    EXPECT_FALSE(ft.scanning);
    EXPECT_EQ(ft.updated, "updated 5 min ago");
    EXPECT_EQ(ft.duration, "\u00b7 250 ms");

    ft = build(f, State::ready(), f.now - 42).model.footer;
    EXPECT_EQ(ft.updated, "updated 42s ago");
    EXPECT_FALSE(ft.duration);
    EXPECT_EQ(ft.sources, "0 sources");

    ft = build(f, State::idle(), std::nullopt).model.footer;
    EXPECT_FALSE(ft.scanning);
    EXPECT_FALSE(ft.updated);
    EXPECT_EQ(std::tuple(ft.openWindow, ft.refreshHelp, ft.quit),
              std::tuple("Open window", "refresh now", "Quit"));
}

TEST(PanelModel, ShortProjectKeepsTheLastTwoPieces) {
    EXPECT_EQ(shortProject("~/code/app"), "\u2026/code/app");
    EXPECT_EQ(shortProject("/home/dev/work/api"), "\u2026/work/api");
    EXPECT_EQ(shortProject("~/app"), "~/app");
    EXPECT_EQ(shortProject("/a//b/"), "/a//b/");
    EXPECT_EQ(shortProject("//a///b//c"), "\u2026/b/c");
    EXPECT_EQ(shortProject("plain"), "plain");
    EXPECT_EQ(shortProject(""), "");
}
