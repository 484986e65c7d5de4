#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "RecordBuilder.hpp"
#include "SameFigures.hpp"
#include "TempDir.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/Report.hpp"

using namespace vantery;
using vantery::fixtures::at;
using vantery::fixtures::expectSameReports;
using vantery::fixtures::figures;
using vantery::fixtures::makeRecord;

namespace {

LocalDay D(int y, int m, int d) {
    return LocalDay::fromYMD(y, m, d);
}

Aggregator aggregatorIn(const char* zone, std::string home = "/Users/u") {
    return Aggregator(fixtures::zone(zone), ProjectResolver(std::move(home), false));
}

Report all(const Aggregator& a, const std::vector<UsageRecord>& records, bool hours = false) {
    return a.aggregate(records, std::nullopt, std::nullopt, ScanDiagnostics{}, hours);
}

std::int64_t requestsOn(const Report& r, LocalDay d) {
    auto it = r.byDay.find(d);
    return it == r.byDay.end() ? 0 : it->second.requests;
}

} // namespace

TEST(Aggregator, MidnightDecidesTheDayInTheAggregatorsZone) {
    for (const char* zone :
         {"America/New_York", "Asia/Kolkata", "Australia/Lord_Howe", "Pacific/Chatham"}) {
        SCOPED_TRACE(zone);
        auto agg = aggregatorIn(zone);
        const auto& cal = agg.calendar();
        std::vector<UsageRecord> records = {makeRecord(at(cal, 2026, 3, 9, 23, 59, 59)),
                                            makeRecord(at(cal, 2026, 3, 10, 0, 0, 0))};
        auto r = all(agg, records);
        ASSERT_EQ(r.byDay.size(), 2u);
        EXPECT_EQ(requestsOn(r, D(2026, 3, 9)), 1);
        EXPECT_EQ(requestsOn(r, D(2026, 3, 10)), 1);
        EXPECT_EQ(agg.day(records[1].timestamp), D(2026, 3, 10));
    }
}

TEST(Aggregator, DaylightSavingDaysInNewYork) {
    auto agg = aggregatorIn("America/New_York");
    const auto& cal = agg.calendar();
    // 3 November 2024: 01:00–02:00 happens twice (EDT, then EST).
    double firstOneThirty = at(cal, 2024, 11, 3, 1, 30);
    double secondOneThirty = firstOneThirty + 3600;
    ASSERT_EQ(cal.localTime(secondOneThirty).hour, 1);
    // 10 March 2024: 02:00–03:00 does not exist; the day has 23 hours.
    std::vector<UsageRecord> records = {
        makeRecord(firstOneThirty),
        makeRecord(secondOneThirty),
        makeRecord(at(cal, 2024, 11, 3, 23, 59, 59)),
        makeRecord(at(cal, 2024, 3, 10, 1, 59, 59)),
        makeRecord(at(cal, 2024, 3, 10, 3, 0, 0)),
        makeRecord(at(cal, 2024, 3, 10, 23, 59, 59)),
        makeRecord(at(cal, 2024, 3, 11, 0, 0, 0)),
    };
    auto fall = agg.aggregate(records, D(2024, 11, 3), D(2024, 11, 3), {}, true);
    EXPECT_EQ(fall.total.requests, 3);
    ASSERT_EQ(fall.byHour.count(1), 1u);
    EXPECT_EQ(fall.byHour.at(1).requests, 2); // both 01:30s share one hour bucket
    EXPECT_EQ(fall.byHour.at(23).requests, 1);

    auto spring = agg.aggregate(records, D(2024, 3, 10), D(2024, 3, 10), {}, true);
    EXPECT_EQ(spring.total.requests, 3);
    EXPECT_EQ(spring.byHour.count(2), 0u);
    EXPECT_EQ(spring.byHour.at(1).requests, 1);
    EXPECT_EQ(spring.byHour.at(3).requests, 1);
    EXPECT_EQ(requestsOn(all(agg, records), D(2024, 3, 11)), 1);
}

TEST(Aggregator, DayWhoseMidnightWasSkipped) {
    // Havana, 10 March 2024: clocks jumped from 00:00 to 01:00, so the day starts at 01:00.
    auto agg = aggregatorIn("America/Havana");
    const auto& cal = agg.calendar();
    double start = cal.startOfDay(D(2024, 3, 10));
    ASSERT_EQ(cal.localTime(start).hour, 1);
    std::vector<UsageRecord> records = {makeRecord(start - 1), makeRecord(start),
                                        makeRecord(start + 3599)};
    auto r = all(agg, records, true);
    EXPECT_EQ(requestsOn(r, D(2024, 3, 9)), 1);
    EXPECT_EQ(requestsOn(r, D(2024, 3, 10)), 2);
    EXPECT_EQ(r.byHour.at(1).requests, 2);
    EXPECT_EQ(r.byHour.at(23).requests, 1);
    EXPECT_EQ(r.byHour.count(0), 0u);
}

TEST(Aggregator, PricesOnTheRequestsLocalDay) {
    // claude-sonnet-5 costs 2/10 through local 31 August 2026, then 3/15.
    auto ny = aggregatorIn("America/New_York");
    auto tokyo = aggregatorIn("Asia/Tokyo");
    double lateInNewYork = at(ny.calendar(), 2026, 8, 31, 23, 30); // already 1 September in UTC
    double earlyInTokyo = at(tokyo.calendar(), 2026, 9, 1, 0, 30); // still 31 August in UTC
    std::vector<UsageRecord> a = {makeRecord(lateInNewYork, "claude-sonnet-5", 1'000'000, 0)};
    std::vector<UsageRecord> b = {makeRecord(earlyInTokyo, "claude-sonnet-5", 1'000'000, 0)};
    EXPECT_DOUBLE_EQ(all(ny, a).total.cost.priced, 2.0);
    EXPECT_DOUBLE_EQ(all(tokyo, b).total.cost.priced, 3.0);
    EXPECT_DOUBLE_EQ(all(ny, a).byDay.at(D(2026, 8, 31)).cost.priced, 2.0);
}

TEST(Aggregator, BoundsCompareLocalDays) {
    auto agg = aggregatorIn("Europe/Berlin");
    const auto& cal = agg.calendar();
    std::vector<UsageRecord> records;
    for (int d = 1; d <= 5; ++d)
        records.push_back(makeRecord(at(cal, 2026, 4, d, 0, 0, 0)));
    ScanDiagnostics diag;
    diag.filesScanned = 7;
    EXPECT_EQ(agg.aggregate(records, D(2026, 4, 2), D(2026, 4, 4), diag, false).total.requests, 3);
    EXPECT_EQ(agg.aggregate(records, D(2026, 4, 2), std::nullopt, diag, false).total.requests, 4);
    EXPECT_EQ(agg.aggregate(records, std::nullopt, D(2026, 4, 2), diag, false).total.requests, 2);
    EXPECT_EQ(all(agg, records).total.requests, 5);

    auto empty = agg.aggregate(records, D(2026, 4, 4), D(2026, 4, 2), diag, true);
    EXPECT_EQ(empty.total.requests, 0);
    EXPECT_TRUE(empty.byDay.empty() && empty.byHour.empty() && empty.byProject.empty() &&
                empty.projectProvenance.empty() && empty.agentSession.empty());
    EXPECT_EQ(empty.diagnostics.filesScanned, 7);
    EXPECT_EQ(empty.activeDays(), 0);
    EXPECT_EQ(empty.averagePerActiveDay(),
              Estimate<CostEstimate>::unknown(UnknownReason::noData()));
    EXPECT_EQ(empty.medianPerActiveDay(), Estimate<CostEstimate>::unknown(UnknownReason::noData()));
    EXPECT_EQ(all(agg, {}).total.requests, 0);
}

TEST(Aggregator, HoursOnlyWhenAskedFor) {
    auto agg = aggregatorIn("America/New_York");
    const auto& cal = agg.calendar();
    std::vector<UsageRecord> records = {makeRecord(at(cal, 2026, 5, 1, 9, 15)),
                                        makeRecord(at(cal, 2026, 5, 2, 9, 15))};
    EXPECT_TRUE(agg.aggregate(records, D(2026, 5, 1), D(2026, 5, 1), {}, false).byHour.empty());
    auto both = all(agg, records, true);
    ASSERT_EQ(both.byHour.size(), 1u);
    EXPECT_EQ(both.byHour.at(9).requests, 2);
    EXPECT_TRUE(agg.report(records, DateRange(D(2026, 5, 1), D(2026, 5, 2)), {}).byHour.empty());
    EXPECT_EQ(
        agg.report(records, DateRange(D(2026, 5, 2), D(2026, 5, 2)), {}).byHour.at(9).requests, 1);
    EXPECT_EQ(agg.report(records, DateRange(D(2026, 5, 1), D(2026, 5, 2)), {}, true)
                  .byHour.at(9)
                  .requests,
              2);

    double now = at(cal, 2026, 5, 2, 18);
    const auto table = RequestTable::fromRecords(records);
    auto today =
        agg.report(table, RangeSelection(RangePreset::custom, now, now, now, cal), now, {});
    EXPECT_EQ(today.total.requests, 1);
    EXPECT_EQ(today.byHour.at(9).requests, 1);
    auto month =
        agg.report(table, RangeSelection(RangePreset::thisMonth, {}, {}, now, cal), now, {});
    EXPECT_EQ(month.total.requests, 2);
    EXPECT_TRUE(month.byHour.empty());
}

TEST(Aggregator, RawDirectoryKeysAndMissingDirectories) {
    auto agg = aggregatorIn("UTC", "/Users/a");
    auto r0 = makeRecord(1e9);
    r0.rawCwd = "";
    auto r1 = makeRecord(1e9);
    r1.rawCwd = "/Users/a";
    auto r2 = makeRecord(1e9);
    r2.rawCwd = "/Users/ab/x";
    auto r3 = makeRecord(1e9);
    r3.rawCwd = "/Users/a/src/.claude/worktrees/w1/pkg";
    auto r = all(agg, {r0, r1, r2, r3});
    EXPECT_EQ(r.byRawCwd.at("(unknown cwd)").requests, 1);
    EXPECT_EQ(r.byProject.at("(unknown cwd)").requests, 1);
    EXPECT_EQ(r.projectProvenance.at("(unknown cwd)"), std::set<std::string>{"missing"});
    EXPECT_EQ(r.byRawCwd.at("~").requests, 1);
    EXPECT_EQ(r.byRawCwd.at("~b/x").requests, 1);
    EXPECT_EQ(r.byRawCwd.at("~/src/.claude/worktrees/w1/pkg").requests, 1);
    EXPECT_EQ(r.byProject.at("~/src").requests, 1);
    EXPECT_EQ(r.projectProvenance.at("~/src"), std::set<std::string>{"worktreeFolded"});
    EXPECT_EQ(r.projectProvenance.at("~"), std::set<std::string>{"rawFallback"});
}

TEST(Aggregator, ProjectGathersEveryProvenanceThatProducedIt) {
    vantery::testing::TempDir tmp;
    const std::string home = tmp.path();
    tmp.mkdir("app/.git");
    tmp.mkdir("app/lib");
    tmp.mkdir("app/.claude/worktrees/w/x");
    Aggregator agg(Calendar::utc(), ProjectResolver(home, true));
    std::vector<UsageRecord> records;
    for (const char* sub : {"/app", "/app/lib", "/app/.claude/worktrees/w/x"}) {
        records.push_back(makeRecord(1e9));
        records.back().rawCwd = home + sub;
    }
    auto r = all(agg, records);
    ASSERT_EQ(r.byProject.size(), 1u);
    EXPECT_EQ(r.byProject.at("~/app").requests, 3);
    EXPECT_EQ(r.projectProvenance.at("~/app"),
              (std::set<std::string>{"exact", "gitRootFolded", "worktreeFolded"}));
    EXPECT_EQ(r.byRawCwd.size(), 3u);
}

TEST(Aggregator, SessionKeepsProjectOfLatestRequestAgentOfFirst) {
    auto agg = aggregatorIn("UTC");
    auto rec = [](double t, const char* session, const char* cwd, AgentIdentity agent) {
        auto r = makeRecord(t);
        r.sessionId = session;
        r.rawCwd = cwd;
        r.agent = std::move(agent);
        return r;
    };
    auto planner = AgentIdentity::parse(std::string_view("aplanner-0123456789abcdef"));
    std::vector<UsageRecord> records = {
        rec(200, "s1", "/late", planner),          // latest of s1, arrives first
        rec(100, "s1", "/early", planner),         // earlier, arrives later: ignored for s1
        rec(300, "s2", "/tie-a", AgentIdentity()), // s2: two records at the same latest time
        rec(300, "s2", "/tie-b", planner),         // later in input order wins
        rec(50, "s3", "/other", planner),          // planner keeps its first session and project
    };
    auto r = all(agg, records);
    EXPECT_EQ(r.sessionProject.at("s1"), "/late");
    EXPECT_EQ(r.sessionProject.at("s2"), "/tie-b");
    EXPECT_EQ(r.sessionProject.at("s3"), "/other");
    EXPECT_EQ(r.agentSession.at(planner), "s1");
    EXPECT_EQ(r.agentProject.at(planner), "/late");
    EXPECT_EQ(r.agentSession.at(AgentIdentity()), "s2");
    EXPECT_EQ(r.agentProject.at(AgentIdentity()), "/tie-a");
    EXPECT_EQ(r.byAgent.at(planner).requests, 4);
}

TEST(Aggregator, UnpricedRequestsCountedNotPriced) {
    auto agg = aggregatorIn("UTC");
    std::vector<UsageRecord> records = {makeRecord(1e9, "gpt-x"), makeRecord(1e9 + 1, "gpt-x"),
                                        makeRecord(1e9 + 2, "claude-sonnet-4-5", 1'000'000, 0)};
    auto r = all(agg, records);
    EXPECT_EQ(r.total.cost.unpricedRequests, 2);
    EXPECT_EQ(r.total.cost.unpricedModels, std::set<std::string>{"gpt-x"});
    EXPECT_DOUBLE_EQ(r.total.cost.priced, 3.0);
    EXPECT_EQ(r.total.modelCounts.at("gpt-x"), 2);
    EXPECT_EQ(r.byModel.at("gpt-x").cost.unpricedRequests, 2);
    EXPECT_TRUE(r.byModel.at("claude-sonnet-4-5").cost.unpricedModels.empty());
}

TEST(Report, PerActiveDayFigures) {
    auto agg = aggregatorIn("UTC");
    std::vector<UsageRecord> records;
    // 4 active days costing 1, 2, 3 and 4 dollars (1M input tokens at 1, 2, 3, 4 × $1).
    for (int d = 0; d < 4; ++d)
        for (int k = 0; k <= d; ++k)
            records.push_back(makeRecord(1.7e9 + d * 86400.0, "claude-haiku-4-5", 1'000'000, 0));
    records.push_back(makeRecord(1.7e9, "gpt-x"));
    auto r = all(agg, records);
    EXPECT_EQ(r.activeDays(), 4);
    auto avg = r.averagePerActiveDay();
    ASSERT_TRUE(avg.isKnown());
    EXPECT_DOUBLE_EQ(avg.knownValue().priced, 2.5);
    EXPECT_EQ(avg.knownValue().unpricedRequests, 1);
    auto median = r.medianPerActiveDay();
    ASSERT_TRUE(median.isKnown());
    EXPECT_DOUBLE_EQ(median.knownValue().priced, 2.5);
    EXPECT_EQ(median.knownValue().unpricedModels, std::set<std::string>{"gpt-x"});
}

TEST(CalendarOffsetSpan, AgreesWithTheZoneAroundTransitions) {
    for (const char* zone :
         {"America/New_York", "Australia/Lord_Howe", "America/Havana", "Asia/Kathmandu", "UTC"}) {
        SCOPED_TRACE(zone);
        auto cal = fixtures::zone(zone);
        for (double t : {at(cal, 2024, 3, 10, 1, 59, 59), at(cal, 2024, 3, 10, 3),
                         at(cal, 2024, 11, 3, 1, 30), at(cal, 2024, 4, 7, 1, 45),
                         at(cal, 2024, 10, 6, 2, 15), at(cal, 1950, 1, 1), 1.7e9}) {
            auto span = cal.offsetSpan(t);
            ASSERT_TRUE(span.contains(t));
            EXPECT_EQ(span.offsetSeconds, cal.offsetSeconds(t));
            EXPECT_EQ(cal.offsetSeconds(span.begin), span.offsetSeconds);
            EXPECT_EQ(cal.offsetSeconds(span.end - 1), span.offsetSeconds);
            // Local days worked out from the span's offset match the calendar's own.
            double local = std::floor(t) + span.offsetSeconds;
            EXPECT_EQ(static_cast<std::int32_t>(std::floor(local / 86400)),
                      cal.dayOf(t).daysSinceEpoch());
        }
    }
}

TEST(Aggregator, KeptRecordsGiveTheReportOfTheCopiedSubset) {
    auto agg = aggregatorIn("America/New_York");
    auto planner = AgentIdentity::parse(std::string_view("aplanner-0123456789abcdef"));
    std::vector<UsageRecord> records;
    for (int i = 0; i < 40; ++i) {
        auto r = makeRecord(1.7e9 + i * 5000.0, i % 3 ? "claude-sonnet-4-5" : "gpt-x", 1000 + i);
        r.sessionId = i % 4 ? "s1" : "s2";
        r.rawCwd = i % 5 ? "/Users/u/a" : "/Users/u/b";
        if (i % 2) r.agent = planner;
        records.push_back(std::move(r));
    }
    const auto table = RequestTable::fromRecords(records);
    auto keep = [&](const RequestRow& r) {
        return table.sessionId(r) == "s1" || table.rawCwd(r) == "/Users/u/b";
    };
    std::vector<UsageRecord> subset;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (keep(table[i])) subset.push_back(records[i]);
    auto from = agg.day(1.7e9 + 30000), to = agg.day(1.7e9 + 150000);
    for (bool hours : {false, true}) {
        auto a = agg.aggregate(table, from, to, ScanDiagnostics{}, hours, keep);
        auto b = agg.aggregate(subset, from, to, ScanDiagnostics{}, hours);
        EXPECT_EQ(a.total.requests, b.total.requests);
        EXPECT_EQ(a.total.cost.priced, b.total.cost.priced);
        EXPECT_EQ(a.byDay.size(), b.byDay.size());
        EXPECT_EQ(a.byHour.size(), b.byHour.size());
        EXPECT_EQ(a.bySession.size(), b.bySession.size());
        EXPECT_EQ(a.sessionProject, b.sessionProject);
        EXPECT_EQ(a.agentSession, b.agentSession);
        EXPECT_EQ(a.agentProject, b.agentProject);
        EXPECT_EQ(a.total.modelCounts, b.total.modelCounts);
    }
    // An empty predicate keeps everything.
    auto everything =
        agg.aggregate(table, std::nullopt, std::nullopt, ScanDiagnostics{}, false, {});
    EXPECT_EQ(everything.total.requests, 40);
}

TEST(Aggregator, AgentsPerGroupEqualOneReportPerGroup) {
    auto agg = aggregatorIn("Australia/Lord_Howe");
    auto planner = AgentIdentity::parse(std::string_view("aplanner-0123456789abcdef"));
    auto anon = AgentIdentity::parse(std::string_view("a0123456789abcdef"));
    std::vector<UsageRecord> records;
    for (int i = 0; i < 60; ++i) {
        // Two priced models and one without a price, over several local days.
        const char* model = i % 3 == 0   ? "claude-sonnet-4-5"
                            : i % 3 == 1 ? "gpt-x"
                                         : "claude-opus-4-1";
        auto r = makeRecord(1.7e9 + i * 7000.0, model, 1000 + i * 37);
        r.sessionId = i % 4 ? "s1" : "s2";
        r.rawCwd = i % 5 ? "/Users/u/a" : "/Users/u/b";
        if (i % 2) r.agent = planner;
        if (i % 7 == 0) r.agent = anon;
        records.push_back(std::move(r));
    }
    // Groups by model; the unpriced model only in one session, its other records in none.
    const auto table = RequestTable::fromRecords(records);
    auto groupOf = [&](const RequestRow& r) -> std::optional<std::size_t> {
        if (table.model(r) == "claude-sonnet-4-5") return 0;
        if (table.model(r) == "claude-opus-4-1") return 2;
        if (table.model(r) == "gpt-x" && table.sessionId(r) == "s1") return 1;
        return std::nullopt;
    };
    auto from = agg.day(1.7e9 + 40000), to = agg.day(1.7e9 + 300000);
    auto perGroup = agg.agentsPerGroup(table, from, to, 4, groupOf);
    ASSERT_EQ(perGroup.size(), 4u);
    for (std::size_t g = 0; g < 4; ++g) {
        SCOPED_TRACE(g);
        auto alone = agg.aggregate(table, from, to, ScanDiagnostics{}, false,
                                   [&](const RequestRow& r) { return groupOf(r) == g; });
        ASSERT_EQ(perGroup[g].size(), alone.byAgent.size());
        for (const auto& [agent, bucket] : alone.byAgent) {
            auto it = perGroup[g].find(agent);
            ASSERT_NE(it, perGroup[g].end()) << agent.description();
            const Bucket& b = it->second;
            EXPECT_EQ(b.requests, bucket.requests);
            EXPECT_EQ(b.cost.priced, bucket.cost.priced) << "summed in the same order";
            EXPECT_EQ(b.cost.unpricedRequests, bucket.cost.unpricedRequests);
            EXPECT_EQ(b.cost.unpricedModels, bucket.cost.unpricedModels);
            EXPECT_EQ(b.modelCounts, bucket.modelCounts);
            EXPECT_EQ(b.totalTokens(), bucket.totalTokens());
            EXPECT_EQ(b.firstActivity, bucket.firstActivity);
            EXPECT_EQ(b.lastActivity, bucket.lastActivity);
        }
    }
    EXPECT_TRUE(perGroup[3].empty()) << "a group no record names";
    EXPECT_FALSE(perGroup[2].empty());
    EXPECT_TRUE(agg.agentsPerGroup(table, from, to, 0, groupOf).empty());
}

TEST(Aggregator, ReportDoesNotDependOnDictionaryIdsAndKeepsWideCounters) {
    auto agg = aggregatorIn("Europe/Berlin");
    std::vector<UsageRecord> records;
    for (int i = 0; i < 50; ++i) {
        auto r = makeRecord(1.7e9 + i * 4000.0, i % 3 ? "claude-sonnet-4-5" : "mystery", 900 + i);
        r.sessionId = "s" + std::to_string(i % 5);
        r.rawCwd = "/Users/u/p" + std::to_string(i % 4);
        r.sourceHome = i % 2 ? ".claude" : ".claude-work";
        if (i % 3 == 1) r.agent = AgentIdentity::anonymous("a" + std::to_string(i % 7));
        r.cacheWriteBreakdownAssumed = i % 6 == 0;
        records.push_back(std::move(r));
    }
    records[7].input = 6'000'000'000; // beyond a row's 32 bits
    records[7].webFetch = 2;

    // The same requests with every id given in the reverse order of their first meeting.
    auto dictionary = std::make_shared<RequestDictionary>();
    for (auto r = records.rbegin(); r != records.rend(); ++r) {
        dictionary->internModel(r->model);
        dictionary->internSession(r->sessionId);
        dictionary->internCwd(r->rawCwd);
        dictionary->internHome(r->sourceHome);
        dictionary->internAgent(r->agent);
    }
    FileBlock::Builder block;
    for (std::size_t i = 0; i < records.size(); ++i)
        block.add("m" + std::to_string(i) + ":r", dictionary->rowOf(records[i]));
    const RequestTable reversed(dictionary, {block.finish()});
    const auto plain = RequestTable::fromRecords(records);

    const Report a = agg.aggregate(plain, std::nullopt, std::nullopt, {}, true);
    const Report b = agg.aggregate(reversed, std::nullopt, std::nullopt, {}, true);
    expectSameReports(a, b);

    // Row by row through Bucket::add: the same sums, bit for bit, wide counters included.
    Bucket byRow;
    for (const RequestRow& row : reversed)
        byRow.add(reversed, row, agg.day(row.timestamp));
    EXPECT_EQ(figures(byRow), figures(b.total));
    EXPECT_EQ(b.total.webFetch, 2);
    std::int64_t input = 0;
    for (const auto& r : records)
        input += r.input;
    EXPECT_EQ(b.total.input, input);
    EXPECT_EQ(b.total.cost.unpricedModels, std::set<std::string>{"mystery"});
}

TEST(Aggregator, DaysMetOutOfOrderAndFarApartEachPricedOnTheirOwnDay) {
    // Across a price change, before the first day met, and decades away (past any
    // window of days kept together): each as Bucket::add prices it on its own day.
    auto agg = aggregatorIn("UTC");
    const double days[] = {
        at(agg.calendar(), 2026, 9, 1, 12, 0), at(agg.calendar(), 2026, 8, 31, 12, 0),
        at(agg.calendar(), 2080, 1, 1, 12, 0), at(agg.calendar(), 2026, 9, 1, 13, 0),
        at(agg.calendar(), 1990, 6, 1, 12, 0), at(agg.calendar(), 2026, 8, 31, 13, 0)};
    std::vector<UsageRecord> records;
    for (double t : days)
        records.push_back(makeRecord(t, "claude-sonnet-5", 1'000'000, 1'000'000));
    Bucket total;
    std::map<LocalDay, Bucket> byDay;
    for (const auto& r : records) {
        const LocalDay day = agg.calendar().dayOf(r.timestamp);
        total.add(r, day);
        byDay[day].add(r, day);
    }
    const auto report = all(agg, records);
    EXPECT_EQ(report.total.cost.priced, total.cost.priced);
    ASSERT_EQ(report.byDay.size(), byDay.size());
    for (const auto& [day, bucket] : byDay)
        EXPECT_EQ(report.byDay.at(day).cost.priced, bucket.cost.priced);
    EXPECT_NE(byDay.at(D(2026, 8, 31)).cost.priced, byDay.at(D(2026, 9, 1)).cost.priced);
}
