#include <gtest/gtest.h>

#include <cmath>

#include "RecordBuilder.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/Derived.hpp"

using namespace vantery;
using vantery::fixtures::at;
using vantery::fixtures::makeRecord;

namespace {

using Figure = Estimate<CostEstimate>;
const Figure noData = Figure::unknown(UnknownReason::noData());
const Figure noRecent = Figure::unknown(UnknownReason::noRecentActivity());

LocalDay D(int y, int m, int d) {
    return LocalDay::fromYMD(y, m, d);
}

// A today report with the given hours active, hour h costing (h + 1) dollars.
Report todayWithHours(std::initializer_list<int> hours) {
    Report r;
    for (int h : hours) {
        Bucket b;
        b.requests = 1;
        b.cost.priced = h + 1;
        r.byHour[h] = b;
        r.total.requests += 1;
    }
    return r;
}

double priced(const Figure& f) {
    return f.isKnown() ? f.knownValue().priced : -1;
}

} // namespace

TEST(CurrentHourlyRate, Scenarios) {
    auto cal = fixtures::zone("Europe/Paris");
    auto t = [&](int h, int m) { return at(cal, 2026, 6, 15, h, m); };
    EXPECT_DOUBLE_EQ(priced(Derived::currentHourlyRate(todayWithHours({14}), t(14, 25), cal)),
                     15 * 2.4);
    EXPECT_DOUBLE_EQ(priced(Derived::currentHourlyRate(todayWithHours({13, 14}), t(14, 5), cal)),
                     14);
    EXPECT_DOUBLE_EQ(priced(Derived::currentHourlyRate(todayWithHours({14}), t(14, 5), cal)),
                     15 * 12.0);
    EXPECT_DOUBLE_EQ(priced(Derived::currentHourlyRate(todayWithHours({11, 14}), t(14, 1), cal)),
                     12);
    EXPECT_EQ(Derived::currentHourlyRate(todayWithHours({14}), t(14, 1), cal), noRecent);
    EXPECT_DOUBLE_EQ(priced(Derived::currentHourlyRate(todayWithHours({0}), t(0, 30), cal)), 2);
    EXPECT_EQ(Derived::currentHourlyRate(todayWithHours({}), t(0, 30), cal), noData);
    EXPECT_EQ(Derived::currentHourlyRate(todayWithHours({8}), t(14, 20), cal), noRecent);
    // At hour 1 only hour 0 lies behind; hour 23 of an earlier day never counts.
    EXPECT_DOUBLE_EQ(priced(Derived::currentHourlyRate(todayWithHours({0}), t(1, 5), cal)), 1);
    // The unpriced part travels with the rate.
    auto r = todayWithHours({14});
    r.byHour[14].cost.unpricedRequests = 2;
    auto rate = Derived::currentHourlyRate(r, t(14, 30), cal);
    ASSERT_TRUE(rate.isKnown());
    EXPECT_EQ(rate.knownValue().unpricedRequests, 2);
}

TEST(YesterdayAtSameTime, WindowEdgesAreIncluded) {
    auto cal = fixtures::zone("America/New_York");
    double now = at(cal, 2026, 6, 15, 14, 30, 10.75);
    double yStart = at(cal, 2026, 6, 14);
    double yEnd = yStart + (14 * 3600 + 30 * 60 + 10); // elapsed time truncated to whole seconds
    std::vector<UsageRecord> records = {
        makeRecord(yStart - 1, "claude-haiku-4-5", 1'000'000, 0), // the day before: out
        makeRecord(yStart, "claude-haiku-4-5", 1'000'000, 0),     // 1 dollar
        makeRecord(yEnd, "claude-haiku-4-5", 2'000'000, 0),       // 2 dollars
        makeRecord(yEnd + 1, "claude-haiku-4-5", 4'000'000, 0),   // a second late: out
        makeRecord(at(cal, 2026, 6, 15, 1), "claude-haiku-4-5", 8'000'000, 0), // today: out
    };
    EXPECT_DOUBLE_EQ(priced(Derived::yesterdayAtSameTime(records, now, cal)), 3);
    EXPECT_EQ(Derived::yesterdayAtSameTime(RequestTable(), now, cal), noData);
}

TEST(YesterdayAtSameTime, UnpricedWindowIsKnownZero) {
    auto cal = fixtures::zone("Asia/Kolkata");
    double now = at(cal, 2026, 6, 15, 12);
    std::vector<UsageRecord> records = {makeRecord(at(cal, 2026, 6, 14, 9), "gpt-x"),
                                        makeRecord(at(cal, 2026, 6, 14, 10), "gpt-x")};
    auto f = Derived::yesterdayAtSameTime(records, now, cal);
    ASSERT_TRUE(f.isKnown());
    EXPECT_EQ(f.knownValue().priced, 0);
    EXPECT_EQ(f.knownValue().unpricedRequests, 2);
    EXPECT_EQ(f.knownValue().unpricedModels, std::set<std::string>{"gpt-x"});
    EXPECT_EQ(Derived::delta(10, f), Estimate<double>::unknown(UnknownReason::noData()));
}

TEST(YesterdayAtSameTime, AfterASkippedMidnight) {
    // Havana, 11 March 2024 10:00: yesterday began at 01:00 (its midnight was skipped),
    // 10 hours of today have passed, so yesterday's window ends at 11:00.
    auto cal = fixtures::zone("America/Havana");
    double now = at(cal, 2024, 3, 11, 10);
    double yStart = cal.startOfDay(D(2024, 3, 10));
    std::vector<UsageRecord> records = {
        makeRecord(yStart, "claude-haiku-4-5", 1'000'000, 0),
        makeRecord(at(cal, 2024, 3, 10, 11), "claude-haiku-4-5", 2'000'000, 0),
        makeRecord(at(cal, 2024, 3, 10, 11, 0, 1), "claude-haiku-4-5", 4'000'000, 0)};
    EXPECT_DOUBLE_EQ(priced(Derived::yesterdayAtSameTime(records, now, cal)), 3);

    // Today is the skipped-midnight day: it began at 01:00, so at 10:00 nine hours have
    // passed and yesterday's window is 00:00–09:00 of 9 March.
    double onSkippedDay = at(cal, 2024, 3, 10, 10);
    std::vector<UsageRecord> before = {
        makeRecord(at(cal, 2024, 3, 9, 0, 0), "claude-haiku-4-5", 1'000'000, 0),
        makeRecord(at(cal, 2024, 3, 9, 9, 0), "claude-haiku-4-5", 2'000'000, 0),
        makeRecord(at(cal, 2024, 3, 9, 9, 0, 1), "claude-haiku-4-5", 4'000'000, 0)};
    EXPECT_DOUBLE_EQ(priced(Derived::yesterdayAtSameTime(before, onSkippedDay, cal)), 3);
}

TEST(Delta, PercentAgainstPricedBaseline) {
    EXPECT_DOUBLE_EQ(Derived::delta(15, Figure::known({10, 0, {}})).knownValue(), 50);
    EXPECT_DOUBLE_EQ(Derived::delta(5, Figure::known({10, 3, {"x"}})).knownValue(), -50);
    EXPECT_FALSE(Derived::delta(5, Figure::known({0, 0, {}})).isKnown());
    EXPECT_FALSE(Derived::delta(5, noData).isKnown());
}

namespace {

// A cost of `priced` dollars leaving out `unpriced` requests of model "x".
CostEstimate cost(double priced, std::int64_t unpriced = 0) {
    CostEstimate c;
    c.priced = priced;
    c.unpricedRequests = unpriced;
    if (unpriced > 0) c.unpricedModels.insert("x");
    return c;
}

} // namespace

TEST(PercentFigures, ChangeIsExactOnlyWhenBothSidesArePriced) {
    using K = PercentFigure::Kind;
    const auto change = [](CostEstimate today, CostEstimate yesterday) {
        return Derived::sameTimeChange(today, Figure::known(std::move(yesterday)));
    };
    // $0 against $40: -100% when today simply had nothing, unknown when $0 is a lower bound.
    EXPECT_EQ(change(cost(0), cost(40)), PercentFigure::exact(-100));
    EXPECT_EQ(change(cost(0), cost(40, 2)).text(true), "-100.0%"); // whatever yesterday left out
    EXPECT_EQ(change(cost(0, 3), cost(40)).kind, K::unknown);
    EXPECT_EQ(change(cost(0, 3), cost(40)).reason,
              "none of today\u2019s requests has a known price");
    EXPECT_EQ(change(cost(30), cost(20)).text(true), "+50.0%");
    EXPECT_EQ(change(cost(30, 1), cost(20)).text(true), "\u2265 +50.0%");
    EXPECT_EQ(change(cost(10), cost(20, 1)).text(true), "\u2264 -50.0%");
    EXPECT_EQ(change(cost(30, 1), cost(20, 1)).kind, K::unknown);
    EXPECT_EQ(change(cost(30), cost(0, 2)).reason,
              "none of yesterday\u2019s requests up to this time has a known price");
    // Yesterday had requests, all at $0: the reason says that, not "no requests".
    EXPECT_EQ(change(cost(30), cost(0)).reason,
              "yesterday\u2019s requests up to this time cost $0.00");
    EXPECT_EQ(Derived::sameTimeChange(cost(30), noData).reason, UnknownReason::noData().text());
    EXPECT_EQ(PercentFigure::unknown("why").text(true), "");
}

TEST(PercentFigures, ShareBoundsFollowTheSideThatLeavesRequestsOut) {
    using K = PercentFigure::Kind;
    EXPECT_EQ(Derived::share(cost(1), cost(4)), PercentFigure::exact(25));
    EXPECT_EQ(Derived::share(cost(0), cost(4, 2)),
              PercentFigure::exact(0)); // no request of its own
    EXPECT_EQ(Derived::share(cost(4, 2), cost(4, 2)), PercentFigure::exact(100)); // nothing else
    EXPECT_EQ(Derived::share(cost(1, 1), cost(4, 1)), PercentFigure::bound(K::atLeast, 25));
    EXPECT_EQ(Derived::share(cost(1), cost(4, 1)), PercentFigure::bound(K::atMost, 25));
    // The main session all unpriced: the sub-agents' "100%" is no figure, nor is the 0%.
    EXPECT_EQ(Derived::share(cost(0.09), cost(0.09, 5)).kind, K::unknown);
    EXPECT_EQ(Derived::share(cost(0, 5), cost(0.09, 5)).kind, K::unknown);
    EXPECT_EQ(Derived::share(cost(1, 1), cost(4, 3)).kind, K::unknown);
    EXPECT_EQ(Derived::share(cost(0, 2), cost(0, 2)).reason,
              "none of these requests has a known price");
}

TEST(PercentFigures, BoundsRoundOutwardAndNeverClaimTheImpossible) {
    using K = PercentFigure::Kind;
    // $30 plus an unpriced request for the main session, $0.0005 for a sub-agent.
    const CostEstimate whole = cost(30.0005, 1);
    EXPECT_EQ(Derived::share(cost(30, 1), whole).text(), "\u2265 99.9%");
    EXPECT_EQ(Derived::share(cost(0.0005), whole).text(), "\u2264 0.1%");
    // An exact tenth stays itself; below zero "down" and "up" keep their sense.
    EXPECT_EQ(PercentFigure::bound(K::atLeast, 12.3).text(), "\u2265 12.3%");
    EXPECT_EQ(PercentFigure::bound(K::atMost, 0.3).text(), "\u2264 0.3%");
    EXPECT_EQ(PercentFigure::bound(K::atLeast, -100.0 / 3).text(true), "\u2265 -33.4%");
    EXPECT_EQ(PercentFigure::bound(K::atMost, -100.0 / 3).text(true), "\u2264 -33.3%");
    EXPECT_EQ(PercentFigure::bound(K::atMost, -0.04).text(true), "\u2264 +0.0%");
    // A product that rounds up to the next tenth is stepped back.
    EXPECT_EQ(PercentFigure::bound(K::atLeast, std::nextafter(100.0, 0.0)).text(), "\u2265 99.9%");
    EXPECT_EQ(PercentFigure::exact(1e300).text().size(), 304u); // never cut short
}

TEST(YesterdayCost, FromTheReportsPreviousLocalDay) {
    auto cal = fixtures::zone("America/Havana");
    Aggregator agg(cal, ProjectResolver("/h", false));
    // Yesterday's midnight was skipped: its bucket is still found.
    std::vector<UsageRecord> records = {
        makeRecord(at(cal, 2024, 3, 10, 5), "claude-haiku-4-5", 1'000'000, 0)};
    auto history = agg.aggregate(records, std::nullopt, std::nullopt, {}, false);
    EXPECT_DOUBLE_EQ(priced(Derived::yesterdayCost(history, at(cal, 2024, 3, 11, 0, 30), cal)), 1);
    EXPECT_EQ(Derived::yesterdayCost(history, at(cal, 2024, 3, 12, 9), cal), noData);
    // Today's midnight was skipped: yesterday is still the whole previous day.
    std::vector<UsageRecord> early = {
        makeRecord(at(cal, 2024, 3, 9, 0, 30), "claude-haiku-4-5", 1'000'000, 0)};
    auto history2 = agg.aggregate(early, std::nullopt, std::nullopt, {}, false);
    EXPECT_DOUBLE_EQ(priced(Derived::yesterdayCost(history2, at(cal, 2024, 3, 10, 12), cal)), 1);
}

TEST(MedianOfRecentDays, OnlyDaysWithActivityBeforeToday) {
    auto cal = fixtures::zone("Europe/London");
    Report r;
    auto day = [&](int d, double dollars) {
        Bucket b;
        b.requests = 1;
        b.cost.priced = dollars;
        r.byDay[D(2026, 6, d)] = b;
    };
    double now = at(cal, 2026, 6, 20, 9);
    day(20, 1000); // today never counts
    EXPECT_EQ(Derived::medianOfRecentDays(r, 7, now, cal), noData);
    day(2, 1);
    day(10, 5);
    day(19, 3);
    // Three active days in a month of calendar days: their median.
    EXPECT_DOUBLE_EQ(priced(Derived::medianOfRecentDays(r, 7, now, cal)), 3);
    // The two most recent: 19 and 10.
    EXPECT_DOUBLE_EQ(priced(Derived::medianOfRecentDays(r, 2, now, cal)), 4);
    EXPECT_EQ(Derived::medianOfRecentDays(r, 0, now, cal), noData);
    EXPECT_EQ(Derived::medianOfRecentDays(r, -2, now, cal), noData);
    day(21, 77); // a day after "today" (clock moved back) is not recent either
    EXPECT_DOUBLE_EQ(priced(Derived::medianOfRecentDays(r, 7, now, cal)), 3);
}

TEST(Derived, Disclaimer) {
    EXPECT_EQ(Derived::disclaimer, "Estimate from usage \u00d7 list API prices. Not a bill.");
    EXPECT_EQ(Derived::disclaimer.size(), 51u);
}
