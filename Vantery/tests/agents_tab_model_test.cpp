// The Agents tab's texts and rows, headless: the split, the capped ranking, the filter,
// the row captions and the coverage tiles.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "TempDir.hpp"
#include "model/AgentsTabModel.hpp"
#include "support/RecordFixtures.hpp"

using namespace vantery;
using namespace vantery::app;
using namespace vantery::app::AgentsTabModel;
using vantery::app::fixtures::costing;

namespace {

FigureText known(std::string text) {
    return {std::move(text), Tone::primary, false, {}};
}

const AgentIdentity mainAgent = AgentIdentity::mainSession();

AgentRanking rankingOf(Report report, AgentRoster roster, const QLocale& locale = QLocale()) {
    return AgentRanking(std::make_shared<const Report>(std::move(report)),
                        std::make_shared<const AgentRoster>(std::move(roster)), locale);
}

std::vector<std::string> labels(const Ranking& r) {
    std::vector<std::string> out;
    for (const auto& row : r.rows)
        out.push_back(row.row.label);
    return out;
}

/// A report of `n` named agents costing 1..n dollars.
Report manyAgents(int n) {
    Report r;
    for (int i = 1; i <= n; ++i)
        r.byAgent.set(
            AgentIdentity::named(fmt::format("agent-{:03}", i), fmt::format("aagent-{:03}-ff", i)),
            costing(i));
    return r;
}

} // namespace

TEST(AgentsTabModel, SplitIsUnknownOnlyWithoutRequestsAndUnpricedOnesAreLowerBounds) {
    const Report empty;
    EXPECT_EQ(split(empty).unknownText, "unknown \u2014 no requests in the selected range");
    EXPECT_TRUE(split(empty).costTiles.empty());
    EXPECT_TRUE(split(empty).tiles.empty());
    const Ranking none = rankingOf(empty, AgentRoster{}).filtered("");
    EXPECT_EQ(none.title, "Ranking (0)");
    EXPECT_TRUE(none.rows.empty());

    // Nothing priced: still requests, so lower bounds without a share, never "no requests".
    Report unpriced;
    unpriced.byAgent.set(mainAgent, costing(0, 2));
    unpriced.byAgent.set(AgentIdentity::anonymous("0123456789abc"), costing(0, 1));
    const Split s = split(unpriced);
    EXPECT_FALSE(s.unknownText);
    ASSERT_EQ(s.costTiles.size(), 2u);
    EXPECT_EQ(s.costTiles[0], (CostTile{"main session", costing(0, 2).cost, std::nullopt}));
    EXPECT_EQ(s.costTiles[1].cost.unpricedRequests, 1);
    EXPECT_EQ(splitBar(s, 300).mainWidth, 0);
    EXPECT_EQ(splitBar(s, 300).look, BarLook::unknown);
    EXPECT_EQ(labels(rankingOf(unpriced, AgentRoster{}).filtered("")),
              (std::vector<std::string>{"main session", "anonymous agent 012345678"}));
}

TEST(AgentsTabModel, SplitTilesAndBar) {
    Report r;
    r.byAgent.set(mainAgent, costing(3));
    r.byAgent.set(AgentIdentity::named("a", "aa-1"),
                  costing(0.5, 1)); // the unpriced request counts nowhere
    r.byAgent.set(AgentIdentity::anonymous("bb"), costing(0.5));
    const Split s = split(r);
    ASSERT_FALSE(s.unknownText);
    ASSERT_EQ(s.costTiles.size(), 2u);
    // The sub-agents' unpriced request makes their share a lower bound, the main
    // session's an upper one.
    EXPECT_EQ(s.costTiles[0], (CostTile{"main session", costing(3).cost, "\u2264 75.0%"}));
    EXPECT_EQ(s.costTiles[1], (CostTile{"sub-agents", costing(1, 1).cost, "\u2265 25.0%"}));
    EXPECT_EQ(s.tiles, (std::vector<TileText>{{"distinct agents", known("2"), std::nullopt}}));
    const SplitBar bar = splitBar(s, 400);
    EXPECT_DOUBLE_EQ(bar.mainWidth, 300);
    EXPECT_DOUBLE_EQ(bar.subagentX, 302);
    EXPECT_DOUBLE_EQ(bar.subagentWidth, 98);
    // Drawn at the priced proportions, but not as if exact: the open side is marked.
    EXPECT_EQ(bar.look, BarLook::subagentAtLeast);
    EXPECT_EQ(s.barTip, "main session \u2264 75.0% \u00b7 sub-agents \u2265 25.0%");

    // Both sides leave requests out: no share, so no division either.
    Report bothOpen = r;
    bothOpen.byAgent.set(mainAgent, costing(3, 1));
    const Split open = split(bothOpen);
    EXPECT_EQ(splitBar(open, 400).look, BarLook::unknown);
    EXPECT_DOUBLE_EQ(splitBar(open, 400).mainWidth, 0);
    EXPECT_EQ(open.barTip, open.costTiles[0].note); // the tiles' own words
    EXPECT_EQ(open.barTip,
              "share unknown \u2014 both it and the rest leave out requests with no known price");

    Report onlyMain;
    onlyMain.byAgent.set(mainAgent, costing(2));
    EXPECT_DOUBLE_EQ(splitBar(split(onlyMain), 400).mainWidth, 400); // spans the full width
    EXPECT_DOUBLE_EQ(splitBar(split(onlyMain), 400).subagentWidth, 0);
    EXPECT_EQ(splitBar(split(onlyMain), 400).look, BarLook::exact);
    EXPECT_EQ(split(onlyMain).costTiles[1].note, "0.0%");
    Report noMain;
    noMain.byAgent.set(AgentIdentity::anonymous("x"), costing(2));
    EXPECT_DOUBLE_EQ(splitBar(split(noMain), 400).mainWidth, 0);
    EXPECT_EQ(split(noMain).tiles[0].figure.text, "1");
}

TEST(AgentsTabModel, RankingShowsAtMost200RowsCostliestFirstAndCountsThemAll) {
    const Ranking big = rankingOf(manyAgents(250), AgentRoster{}).filtered("");
    EXPECT_EQ(big.title, "Ranking (250)");
    EXPECT_EQ(big.count, 250);
    ASSERT_EQ(big.rows.size(), 200u);
    EXPECT_EQ(big.rows.front().row.label, "agent-250");
    EXPECT_EQ(big.rows.back().row.label, "agent-051");
    EXPECT_FALSE(big.rows.front().isMain);
    EXPECT_EQ(big.caption, "showing the first 200 of 250");

    const Ranking exact = rankingOf(manyAgents(200), AgentRoster{}).filtered("");
    EXPECT_EQ(exact.rows.size(), 200u);
    EXPECT_FALSE(exact.caption);

    // The cap applies after the filter: 201 matches still get the caption.
    const Ranking filtered = rankingOf(manyAgents(250), AgentRoster{}).filtered("agent-");
    EXPECT_EQ(filtered.caption, "showing the first 200 of 250");
    EXPECT_EQ(rankingOf(manyAgents(250), AgentRoster{}).filtered("agent-2").count,
              51); // agent-200 … agent-250
}

TEST(AgentsTabModel, FilterIgnoresCaseKeepsBlanksAndMayMatchNothing) {
    Report r;
    r.byAgent.set(mainAgent, costing(1));
    r.byAgent.set(AgentIdentity::named("report-writer", "areport-writer-3c9d"), costing(2));
    r.byAgent.set(AgentIdentity::named("Ärger", "aÄrger-1"), costing(3));
    const AgentRanking ranking = rankingOf(r, AgentRoster{}, QLocale(QLocale::English));

    EXPECT_EQ(labels(ranking.filtered("MAIN")), std::vector<std::string>{"main session"});
    EXPECT_EQ(labels(ranking.filtered("main ")),
              std::vector<std::string>{"main session"}); // blank matches blank
    EXPECT_EQ(ranking.filtered("writer ").count, 0);     // no blank after it
    EXPECT_EQ(labels(ranking.filtered("äRG")), std::vector<std::string>{"Ärger"});
    EXPECT_EQ(labels(ranking.filtered("a\u0308rg")),
              std::vector<std::string>{"Ärger"}); // decomposed spelling
    EXPECT_EQ(labels(ranking.filtered("R")), (std::vector<std::string>{"Ärger", "report-writer"}));

    const Ranking none = ranking.filtered("zzz");
    EXPECT_EQ(none.title, "Ranking (0)");
    EXPECT_TRUE(none.rows.empty());
    EXPECT_FALSE(none.caption);
    EXPECT_TRUE(matches("anything", ""));
}

TEST(AgentsTabModel, RowCaptionsFromSessionRosterAndProject) {
    vantery::testing::TempDir dir;
    dir.write(
        ".claude/teams/session-1/config.json",
        R"({"members":[{"agentId":"writer@session-1a2b3c4d","model":"claude-opus-4-1"},)"
        R"({"agentId":"planner@session-1a2b3c4d","agentType":"plan","model":"claude-sonnet-4-5"},)"
        R"({"agentId":"typed@session-1a2b3c4d","agentType":"review"}]})");
    AgentRoster roster;
    roster.load({SourceHome(".claude", dir.path())});

    const AgentIdentity bare = AgentIdentity::named("bare", "abare-1");
    const AgentIdentity writer = AgentIdentity::named("writer", "awriter-1");
    const AgentIdentity planner = AgentIdentity::named("planner", "aplanner-1");
    const AgentIdentity typed = AgentIdentity::named("typed", "atyped-1");
    const AgentIdentity anon = AgentIdentity::anonymous("writer");
    const AgentIdentity projectOnly = AgentIdentity::named("p", "ap-1");
    Report r;
    for (const auto& a : {bare, writer, planner, typed, anon, projectOnly, mainAgent})
        r.byAgent.set(a, costing(1));
    for (const auto& a : {writer, planner, typed, anon})
        r.agentSession.set(a, "1a2b3c4d-5e6f-7081");
    for (const auto& a : {writer, projectOnly, mainAgent})
        r.agentProject.set(a, "~/w/<b>app</b>");
    r.agentSession.set(mainAgent, "short");

    EXPECT_EQ(accessory(r, roster, bare), std::nullopt);
    EXPECT_EQ(accessory(r, roster, writer),
              "session 1a2b3c4d \u00b7 model claude-opus-4-1 \u00b7 ~/w/<b>app</b>");
    EXPECT_EQ(accessory(r, roster, planner),
              "session 1a2b3c4d \u00b7 type plan \u00b7 model claude-sonnet-4-5");
    EXPECT_EQ(accessory(r, roster, typed), "session 1a2b3c4d \u00b7 type review");
    EXPECT_EQ(accessory(r, roster, anon),
              "session 1a2b3c4d"); // anonymous agents have no roster entry
    EXPECT_EQ(accessory(r, roster, projectOnly), "~/w/<b>app</b>");
    EXPECT_EQ(accessory(r, roster, mainAgent), "session short \u00b7 ~/w/<b>app</b>");

    // The ranking's rows carry the same captions.
    for (const auto& row : rankingOf(r, roster).filtered("").rows)
        if (row.row.label == "writer") {
            EXPECT_EQ(row.row.accessory, accessory(r, roster, writer));
        }
}

TEST(AgentsTabModel, CoverageTextBoldsItsEmphasisAndEscapesTheRest) {
    EXPECT_EQ(emphasized("a <x> **b & c** d ** e").toStdString(),
              "a &lt;x&gt; <b>b &amp; c</b> d ** e");
    EXPECT_TRUE(emphasized(coverageText()).contains("<b>declared anonymous</b>"));
}

TEST(AgentsTabModel, CoverageTiles) {
    RosterCoverage none;
    none.rostersRead = 2;
    none.entriesLoaded = 3;
    none.anonymousAgentsSeen = 1234;
    const auto tiles = coverageTiles(none);
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_EQ(tiles[0], (TileText{"named agents", known("0"), std::nullopt}));
    EXPECT_EQ(tiles[1], (TileText{"anonymous", known("1,234"), "no name in the id and no roster"}));
    EXPECT_EQ(tiles[2].figure,
              (FigureText{"unknown", Tone::unknown, true, "no requests in the selected range"}));
    EXPECT_EQ(tiles[2].note, "3 entries from 2 rosters");

    RosterCoverage some = none;
    some.namedAgentsSeen = 3;
    some.namedAgentsMatched = 1;
    EXPECT_EQ(coverageTiles(some)[2].figure.text, "33.3%");
}
