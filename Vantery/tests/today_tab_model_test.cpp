#include <gtest/gtest.h>

#include "model/TodayTabModel.hpp"
#include "support/RecordFixtures.hpp"
#include "vantery/report/Derived.hpp"

using namespace vantery;
using namespace vantery::app;
using namespace vantery::app::fixtures;

namespace {

struct Day : BerlinAfternoon {
    std::vector<UsageRecord> records;
    Report today, history;

    TodayTabModel build(std::optional<std::string> loading = std::nullopt) {
        auto agg = aggregator(cal);
        const LocalDay d = cal.dayOf(now);
        history = agg.aggregate(records, std::nullopt, std::nullopt, {}, false);
        today = agg.aggregate(records, d, d, {}, true);
        const auto yesterday = Derived::yesterdayAtSameTime(records, now, cal);
        const auto delta = Derived::sameTimeChange(today.total.cost, yesterday);
        return buildTodayTab({today, history, yesterday, delta, now, cal, std::move(loading)});
    }
};

std::vector<std::string> titles(const std::vector<TileText>& tiles) {
    std::vector<std::string> out;
    for (const auto& t : tiles)
        out.push_back(t.title);
    return out;
}

} // namespace

TEST(TodayTabModel, BeforeTheFirstPublishShowsTheScanInsteadOfAnyFigure) {
    Day day;
    const TodayTabModel m = day.build("first full scan");
    EXPECT_EQ(m.headline.title, "Today \u2014 2026-12-07");
    EXPECT_EQ(m.loading, "first full scan");
    EXPECT_TRUE(m.firstRow.empty());
    EXPECT_TRUE(m.secondRow.empty());
    EXPECT_TRUE(m.noRequestsText.empty());
    EXPECT_FALSE(day.build().loading);
}

TEST(TodayTabModel, DayWithoutRequestsShowsHeadlineAndAbsenceOnly) {
    Day day;
    const TodayTabModel m = day.build();

    EXPECT_EQ(m.headline.title, "Today \u2014 2026-12-07");
    EXPECT_EQ(m.headline.subtitle,
              "the day is still running, so these figures grow until midnight");
    EXPECT_EQ(m.cost.formatted(), "$0.00");
    EXPECT_FALSE(m.costCaveat);
    EXPECT_FALSE(m.hasRequests);
    EXPECT_EQ(m.noRequests.title, "No requests today");
    EXPECT_EQ(m.noRequestsText,
              "No request was found in the transcripts for today. That is not the same as "
              "\u201c$0 spent\u201d: it is the absence of data, not a measurement of zero.");

    EXPECT_EQ(titles(m.firstRow),
              (std::vector<std::string>{"requests", "current rate", "yesterday, same time"}));
    EXPECT_EQ(
        titles(m.secondRow),
        (std::vector<std::string>{"yesterday", "median, last 7 full days", "mean per active day"}));
    EXPECT_EQ(m.firstRow[0].figure.text, "0");
    EXPECT_NE(m.firstRow[0].figure.tone, Tone::unknown);
    // Nothing derived can be known: every figure is "unknown" with the core's reason.
    for (const auto* t :
         {&m.firstRow[1], &m.firstRow[2], &m.secondRow[0], &m.secondRow[1], &m.secondRow[2]}) {
        EXPECT_EQ(t->figure.text, "unknown") << t->title;
        EXPECT_EQ(t->figure.tooltip, "no requests in the selected range") << t->title;
    }
    EXPECT_EQ(m.firstRow[2].note, "no activity at this hour yesterday");
    EXPECT_EQ(m.secondRow[2].note, "0 days with activity");
    EXPECT_TRUE(m.hourRows.empty());
    EXPECT_TRUE(m.agents.empty());
}

TEST(TodayTabModel, PopulatedDayFillsEveryTileCardAndTable) {
    Day day;
    const auto helper = AgentIdentity::named("helper", "a1234567890");
    day.records = {
        request(at(day.cal, 2026, 12, 7, 9, 10), 1'000'000),            // $1, main
        request(at(day.cal, 2026, 12, 7, 14, 5), 0, 2'000'000, helper), // $10
        request(at(day.cal, 2026, 12, 6, 10, 0), 2'000'000),            // yesterday $2
        request(at(day.cal, 2026, 12, 6, 20, 0), 4'000'000),            // yesterday later $4
        request(at(day.cal, 2026, 12, 3, 10, 0), 10'000'000),           // $10
    };
    day.records[0].cacheWriteBreakdownAssumed = true;
    const TodayTabModel m = day.build();

    ASSERT_TRUE(m.hasRequests);
    EXPECT_EQ(m.cost.formatted(), "$11.00");
    EXPECT_EQ(m.firstRow[0].figure.text, "2");
    EXPECT_EQ(m.firstRow[0].note, std::nullopt);
    // 14:30: the running hour holds $10, scaled by 60 / 30.
    EXPECT_EQ(m.firstRow[1].figure.text, "$20.00/h");
    EXPECT_EQ(m.firstRow[1].note, "the hour you are in, or a recent finished one \u2014 unknown "
                                  "after a few idle hours");
    EXPECT_EQ(m.firstRow[2].figure.text, "$2.00");
    EXPECT_EQ(m.firstRow[2].note, "today +450.0% vs the same window");
    EXPECT_EQ(m.secondRow[0].figure.text, "$6.00");
    EXPECT_EQ(m.secondRow[1].figure.text, "$8.00"); // median of $6 and $10
    EXPECT_EQ(m.secondRow[1].note, "days with activity, today excluded \u2014 it is the "
                                   "yardstick today is measured against");
    EXPECT_EQ(m.secondRow[2].figure.text, "$9.00"); // $27 over 3 days
    EXPECT_EQ(m.secondRow[2].note, "3 days with activity");

    EXPECT_EQ(m.composition.title, "What the cost is made of");
    ASSERT_EQ(m.legend.size(), 4u);
    EXPECT_EQ(m.legend[2].label, "output");
    EXPECT_EQ(m.legend[2].tokens, "2.00M");
    EXPECT_EQ(m.legend[2].share, "(66.7%)");
    EXPECT_EQ(m.legend[3].share, "(33.3%)");
    EXPECT_EQ(m.legend[0].share, "(0.0%)");
    EXPECT_TRUE(m.dominant.known);
    EXPECT_EQ(m.dominant.lead + m.dominant.name + m.dominant.rest,
              "Dominant: output, with 66.7% of the tokens.");
    // The plural stays for one request.
    EXPECT_EQ(m.assumedSplitWarning,
              "1 requests had no 5m/1h cache write breakdown in the transcript \u2014 they were "
              "treated as 5m, which can understate what they cost.");

    ASSERT_EQ(m.hourRows.size(), 2u);
    EXPECT_EQ(m.hourRows[0].label, "09:00");
    EXPECT_EQ(m.hourRows[1].label, "14:00");
    EXPECT_EQ(m.byHour.size(), 2u);

    EXPECT_EQ(m.agentsCard.title, "Today\u2019s agents");
    ASSERT_EQ(m.agents.size(), 2u);
    EXPECT_EQ(m.agents[0].label, "helper");
    EXPECT_FALSE(m.agents[0].isMain);
    EXPECT_EQ(m.agents[1].label, "main session");
    EXPECT_TRUE(m.agents[1].isMain);
    EXPECT_EQ(m.agents[1].requests, "1");
    ASSERT_EQ(m.models.size(), 1u);
    EXPECT_EQ(m.models[0].model, "claude-haiku-4-5");
    EXPECT_EQ(m.models[0].cost.formatted(), "$11.00");
}

TEST(TodayTabModel, TablesKeepTenCostliestAgentsAndEveryModel) {
    Day day;
    for (int i = 0; i < 12; ++i)
        day.records.push_back(request(at(day.cal, 2026, 12, 7, 9, i), (i + 1) * 100'000, 0,
                                      AgentIdentity::anonymous("a" + std::to_string(100 + i))));
    day.records.push_back(
        request(at(day.cal, 2026, 12, 7, 10, 0), 0, 0, {}, "/w", "claude-sonnet-4-5"));
    day.records.push_back(
        request(at(day.cal, 2026, 12, 7, 10, 1), 5, 0, {}, "/w", "no-such-model"));
    const TodayTabModel m = day.build();
    ASSERT_EQ(m.agents.size(), 10u);
    EXPECT_EQ(m.agents.front().label, "anonymous agent a111");
    EXPECT_EQ(m.agents.back().label, "anonymous agent a102");
    // Unpriced models: every model listed, the cost a lower bound with its caveat.
    EXPECT_EQ(m.models.size(), 3u);
    EXPECT_TRUE(m.costCaveat.has_value());
    EXPECT_EQ(m.cost.formatted(), "\u2265 $7.80");
}

TEST(TodayTabModel, DominantLineAndLegendFollowTheTokens) {
    Day day;
    auto r = request(at(day.cal, 2026, 12, 7, 9, 0), 0);
    r.cacheRead = 5'000;
    day.records = {r};
    TodayTabModel m = day.build();
    EXPECT_EQ(m.dominant.name, "cache read");
    EXPECT_EQ(m.dominant.rest,
              ", with 100.0% of the tokens. Cache read costs 10% of the input price \u2014 that is "
              "why the token volume is huge while the cost stays well below its share.");
    EXPECT_EQ(m.legend[0].share, "(100.0%)");
    EXPECT_EQ(m.legend[1].share, "(0.0%)");
    EXPECT_FALSE(m.assumedSplitWarning);

    // A request without tokens: no share, the dominant line unknown.
    day.records = {request(at(day.cal, 2026, 12, 7, 9, 0), 0)};
    m = day.build();
    ASSERT_TRUE(m.hasRequests);
    EXPECT_FALSE(m.dominant.known);
    for (const auto& item : m.legend) {
        EXPECT_EQ(item.tokens, "0");
        EXPECT_FALSE(item.share);
    }
    ASSERT_EQ(m.hourRows.size(), 1u);
    EXPECT_EQ(m.secondRow[2].note, "1 days with activity");
}

TEST(TodayTabModel, DeltaNoteSignsAndUnknown) {
    EXPECT_EQ(deltaNote(PercentFigure::exact(12.5)), "today +12.5% vs the same window");
    EXPECT_EQ(deltaNote(PercentFigure::exact(0)), "today +0.0% vs the same window");
    EXPECT_EQ(deltaNote(PercentFigure::exact(-40)), "today -40.0% vs the same window");
    EXPECT_EQ(deltaNote(PercentFigure::unknown(UnknownReason::noData().text())),
              "no activity at this hour yesterday");
    // Today all unpriced against a priced yesterday: the server's unknown, not "-100.0%".
    CostEstimate unpriced{0, 2, {"mystery-model"}};
    const auto change =
        Derived::sameTimeChange(unpriced, Estimate<CostEstimate>::known({40, 0, {}}));
    EXPECT_EQ(deltaNote(change), "change unknown \u2014 none of today\u2019s requests has a known "
                                 "price");
    unpriced.priced = 50;
    EXPECT_EQ(
        deltaNote(Derived::sameTimeChange(unpriced, Estimate<CostEstimate>::known({40, 0, {}}))),
        "today \u2265 +25.0% vs the same window");
}
