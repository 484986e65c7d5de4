#include <gtest/gtest.h>

#include "model/RangeTabModel.hpp"
#include "support/RecordFixtures.hpp"

using namespace vantery;
using namespace vantery::app;
using namespace vantery::app::fixtures;

namespace {

struct Period : BerlinAfternoon {
    RangeSelection selection{RangePreset::thisMonth, std::nullopt, std::nullopt, now, cal};
    Report report;
    bool computing = false;
    std::optional<std::string> loading;

    RangeTabModel build() const {
        return buildRangeTab({selection, report, computing, now, cal, cal, loading});
    }
    void custom(int fromDay, int toDay) {
        selection = withCustomTo(withCustomFrom(withPreset(selection, RangePreset::custom),
                                                LocalDay::fromYMD(2026, 11, fromDay), cal),
                                 LocalDay::fromYMD(2026, 11, toDay), cal);
    }
};

} // namespace

TEST(RangeTabModel, NoEmptyPeriodIsToldBeforeAReportIsPublished) {
    using State = UsageStore::LoadState;
    EXPECT_EQ(rangeLoadingText(State::scanning("first full scan"), std::nullopt, false),
              "first full scan");
    EXPECT_EQ(rangeLoadingText(State::ready(), 100.0, false), "computing the selected range");
    EXPECT_EQ(rangeLoadingText(State::ready(), 100.0, true), std::nullopt);

    Period p;
    p.loading = "reading the cache";
    const RangeTabModel m = p.build();
    EXPECT_EQ(m.loading, "reading the cache");
    EXPECT_TRUE(m.emptyText.empty()); // not "No request was found … between …"
    EXPECT_EQ(m.dayCount, "7 days");  // the selector still names the period
}

TEST(RangeTabModel, EachPresetResolvesItsTitleLineAndClockLine) {
    Period p;
    struct Expected {
        RangePreset preset;
        const char* title;
        std::optional<std::string> label;
        const char* days;
        bool includesToday;
    };
    const Expected cases[] = {
        {RangePreset::thisMonth, "2026-12-01 \u2192 2026-12-07", std::nullopt, "7 days", true},
        {RangePreset::lastMonth, "November 2026", "2026-11-01 \u2192 2026-11-30", "30 days", false},
        {RangePreset::last7Days, "2026-12-01 \u2192 2026-12-07", std::nullopt, "7 days", true},
        {RangePreset::last30Days, "2026-11-08 \u2192 2026-12-07", std::nullopt, "30 days", true},
        {RangePreset::yearToDate, "2026-01-01 \u2192 2026-12-07", std::nullopt, "341 days", true},
    };
    for (const auto& c : cases) {
        p.selection = withPreset(p.selection, c.preset);
        const RangeTabModel m = p.build();
        SCOPED_TRACE(std::string(c.preset.id()));
        EXPECT_EQ(m.title, c.title);
        EXPECT_EQ(m.label, c.label);
        EXPECT_EQ(m.dayCount, c.days);
        EXPECT_FALSE(m.showCustomDays);
        EXPECT_EQ(m.presets[static_cast<std::size_t>(m.selectedPreset)].preset, c.preset);
        if (c.includesToday)
            EXPECT_EQ(m.clockLine, "This range includes today, so the figure is not final yet.");
        else
            EXPECT_FALSE(m.clockLine);
    }
    const RangeTabModel m = p.build();
    ASSERT_EQ(m.presets.size(), 6u);
    EXPECT_EQ(m.presets[5].id, "custom");
    EXPECT_EQ(m.presets[5].label, "Custom range");
    EXPECT_EQ(m.presets[2].label, "Last 7 days");
}

TEST(RangeTabModel, CustomRangesOrderTheirDaysAndKeepThemAcrossPresets) {
    Period p;
    p.custom(20, 3); // first day after the last
    RangeTabModel m = p.build();
    EXPECT_TRUE(m.showCustomDays);
    EXPECT_EQ(m.customFrom, LocalDay::fromYMD(2026, 11, 20));
    EXPECT_EQ(m.customTo, LocalDay::fromYMD(2026, 11, 3));
    EXPECT_EQ(m.title, "2026-11-03 \u2192 2026-11-20");
    EXPECT_EQ(m.dayCount, "18 days");
    EXPECT_FALSE(m.hasRequests);
    EXPECT_EQ(m.empty.title, "No requests in this period");
    EXPECT_EQ(m.emptyText,
              "No request was found in the transcripts between 2026-11-03 and 2026-11-20. That "
              "is the absence of data, not a measurement of \u201c$0 spent\u201d: transcripts "
              "older than the retention window are deleted by Claude Code itself, so a period "
              "can be empty simply because its files are gone.");

    // Another preset hides the pickers and keeps the days.
    p.selection = withPreset(p.selection, RangePreset::last7Days);
    m = p.build();
    EXPECT_FALSE(m.showCustomDays);
    EXPECT_EQ(m.customFrom, LocalDay::fromYMD(2026, 11, 20));

    // One day: shown once, counted as 1; a whole month through custom days is titled.
    p.custom(3, 3);
    m = p.build();
    EXPECT_EQ(m.title, "2026-11-03");
    EXPECT_FALSE(m.label);
    EXPECT_EQ(m.dayCount, "1 days");
    p.custom(1, 30);
    EXPECT_EQ(p.build().title, "November 2026");
}

TEST(RangeTabModel, PickedDaysSurviveZonesWithoutMidnight) {
    // Midnight did not exist in Sao Paulo on 2018-11-04; a picked day must still be that day.
    const Calendar sp = *Calendar::named("America/Sao_Paulo");
    RangeSelection s{RangePreset::custom, std::nullopt, std::nullopt, 0, sp};
    s = withCustomFrom(s, LocalDay::fromYMD(2018, 11, 4), sp);
    s = withCustomTo(s, LocalDay::fromYMD(2018, 11, 4), sp);
    EXPECT_EQ(s.resolved(0, sp).label(), "2018-11-04");
}

TEST(RangeTabModel, PopulatedPeriodFillsTilesAndTables) {
    Period p;
    p.custom(1, 30);
    const auto named = [](int i) {
        return AgentIdentity::named("agent" + std::to_string(i), "a" + std::to_string(i));
    };
    std::vector<UsageRecord> records;
    records.push_back(request(at(p.cal, 2026, 11, 3, 9), 30'000'000)); // main: the costliest
    for (int i = 0; i < 20; ++i)
        records.push_back(request(at(p.cal, 2026, 11, 10, 9, i), (i + 1) * 100'000, 0, named(i),
                                  "/work/p" + std::to_string(i % 4)));
    records.push_back(request(at(p.cal, 2026, 11, 28, 9), 0, 0, {}, "/work/zzz", "unpriced-x"));
    p.report = aggregator(p.cal).aggregate(records, LocalDay::fromYMD(2026, 11, 1),
                                           LocalDay::fromYMD(2026, 11, 30), {}, false);
    const RangeTabModel m = p.build();

    ASSERT_TRUE(m.hasRequests);
    EXPECT_EQ(m.totals.title, "What this period cost");
    EXPECT_EQ(m.cost.formatted(), "\u2265 $51.00");
    EXPECT_EQ(m.costCaveat, "1 request with no known price (unpriced-x) are not included");
    EXPECT_EQ(m.firstRow[0].figure.text, "22");
    EXPECT_EQ(m.firstRow[1].figure.text, "51.00M");
    EXPECT_EQ(m.firstRow[2].title, "days with activity");
    EXPECT_EQ(m.firstRow[2].figure.text, "3");
    EXPECT_EQ(m.firstRow[2].note, "out of 30 in the period");
    EXPECT_EQ(m.secondRow[0].figure.text, "\u2265 $17.00");
    EXPECT_EQ(m.secondRow[1].figure.text, "\u2265 $21.00");
    EXPECT_EQ(m.secondRow[1].note, "the median, not the mean \u2014 the real spread is wide");
    EXPECT_EQ(m.secondRow[2].figure.text, "6");  // /work/a, four /work/pN, /work/zzz
    EXPECT_EQ(m.secondRow[3].figure.text, "21"); // the main session counts as one

    // Projects: cost descending, the all-unpriced project as cost 0 at the end.
    EXPECT_EQ(m.projectsCard.title, "By project (6)");
    ASSERT_EQ(m.projects.size(), 6u);
    EXPECT_EQ(m.projects.front().label, "/work/a");
    EXPECT_EQ(m.projects.back().label, "/work/zzz");

    // Agents: top 15 with main included, "sub-agent" under every other.
    EXPECT_EQ(m.agentsCard.title, "By agent");
    ASSERT_EQ(m.agents.size(), 15u);
    EXPECT_EQ(m.agents[0].label, "main session");
    EXPECT_FALSE(m.agents[0].accessory);
    EXPECT_EQ(m.agents[1].label, "agent19");
    for (std::size_t i = 1; i < m.agents.size(); ++i)
        EXPECT_EQ(m.agents[i].accessory, "sub-agent");

    ASSERT_EQ(m.days.size(), 3u);
    EXPECT_EQ(m.days[0].label, "2026-11-03");
    EXPECT_EQ(m.days[2].label, "2026-11-28");
    EXPECT_EQ(m.daysCard.subtitle, "days with no activity are absent, not zero");
}

TEST(RangeTabModel, EqualCostsKeepTheReportOrderAndUnknownFiguresStayUnknown) {
    Period p;
    p.computing = true;
    Bucket b;
    b.requests = 1;
    b.cost.priced = 2;
    p.report.total.requests = 3;
    p.report.byProject = {{"b", b}, {"a", b}, {"c", b}};
    // A report with requests but no day entries: mean and median cannot be stated.
    const RangeTabModel m = p.build();
    EXPECT_TRUE(m.computing);
    ASSERT_EQ(m.projects.size(), 3u);
    EXPECT_EQ(m.projects[0].label, "a"); // the map's own order
    EXPECT_EQ(m.projects[2].label, "c");
    EXPECT_EQ(m.secondRow[0].figure.text, "unknown");
    EXPECT_EQ(m.secondRow[0].figure.tooltip, "no requests in the selected range");
    EXPECT_EQ(m.secondRow[1].figure.text, "unknown");
    EXPECT_EQ(m.firstRow[2].figure.text, "0");
}
