#include <gtest/gtest.h>

#include "vantery/mcp/Period.hpp"

using namespace vantery;
using namespace vantery::mcp;

namespace {

Calendar zone(const char* name) {
    return *Calendar::named(name);
}

// The instant of a local wall-clock time.
double at(const Calendar& c, int y, int m, int d, int hh, int mm) {
    return c.instantOf(LocalDay::fromYMD(y, m, d), hh, mm, 0);
}

LocalDay ymd(int y, int m, int d) {
    return LocalDay::fromYMD(y, m, d);
}

std::string refusal(const Json& args, const Calendar& c, double now,
                    std::string_view def = "today") {
    try {
        Period::parse(args, def, c, now);
    } catch (const MCPError& e) {
        return e.what();
    }
    return "(accepted)";
}

std::string unknownPeriod(const std::string& p) {
    return "unknown period \u201c" + p +
           "\u201d \u2014 accepted: today, yesterday, NNd (e.g. 7d), all, or from/to in "
           "yyyy-MM-dd";
}

} // namespace

TEST(PeriodParse, NamedPeriodsInAPinnedZoneAndClock) {
    const Calendar ny = zone("America/New_York");
    // 2025-03-12 00:30 EDT is still 2025-03-12 04:30 UTC: today is the local day.
    const double now = at(ny, 2025, 3, 12, 0, 30);
    struct Row {
        Json args;
        std::string def;
        Period expected;
    };
    const std::vector<Row> table = {
        {Json::object(),
         "today",
         {ymd(2025, 3, 12), ymd(2025, 3, 12), "today (2025-03-12)", true, true}},
        {{{"period", "  Today\t"}},
         "all",
         {ymd(2025, 3, 12), ymd(2025, 3, 12), "today (2025-03-12)", true, true}},
        {{{"period", "\u00a0today\u3000"}}, // no-break and ideographic spaces are spaces
         "all",
         {ymd(2025, 3, 12), ymd(2025, 3, 12), "today (2025-03-12)", true, true}},
        {{{"period", ""}},
         "all",
         {ymd(2025, 3, 12), ymd(2025, 3, 12), "today (2025-03-12)", true, true}},
        {{{"period", "yesterday"}},
         "today",
         {ymd(2025, 3, 11), ymd(2025, 3, 11), "yesterday (2025-03-11)", false, true}},
        {{{"period", "ALL"}}, "today", Period::all()},
        {Json::object(), "all", Period::all()},
        // Across the spring-forward night of 2025-03-09: still seven whole days.
        {{{"period", " 7D "}},
         "today",
         {ymd(2025, 3, 6), ymd(2025, 3, 12), "last 7 days (2025-03-06 \u2192 2025-03-12)", true,
          false}},
        {{{"period", "+3d"}},
         "today",
         {ymd(2025, 3, 10), ymd(2025, 3, 12), "last 3 days (2025-03-10 \u2192 2025-03-12)", true,
          false}},
        {{{"period", "1d"}},
         "today",
         {ymd(2025, 3, 12), ymd(2025, 3, 12), "last 1 days (2025-03-12 \u2192 2025-03-12)", true,
          true}},
        // A period that is not a string is ignored: the default applies.
        {{{"period", 7}},
         "yesterday",
         {ymd(2025, 3, 11), ymd(2025, 3, 11), "yesterday (2025-03-11)", false, true}},
        // "to" without "from" is ignored.
        {{{"to", "2025-01-01"}, {"period", "yesterday"}},
         "today",
         {ymd(2025, 3, 11), ymd(2025, 3, 11), "yesterday (2025-03-11)", false, true}},
        // An empty "from" leaves the named period in charge.
        {{{"from", ""}, {"period", "yesterday"}},
         "today",
         {ymd(2025, 3, 11), ymd(2025, 3, 11), "yesterday (2025-03-11)", false, true}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.args.dump());
        EXPECT_EQ(Period::parse(row.args, row.def, ny, now), row.expected);
    }
}

TEST(PeriodParse, ExplicitDays) {
    const Calendar c = zone("Europe/Paris");
    const double now = at(c, 2025, 3, 12, 9, 0);
    EXPECT_EQ(
        Period::parse({{"from", "2025-03-01"}}, "today", c, now),
        (Period{ymd(2025, 3, 1), ymd(2025, 3, 12), "2025-03-01 \u2192 2025-03-12", true, false}));
    EXPECT_EQ(
        Period::parse({{"from", "2025-03-01"}, {"to", "2025-03-01"}, {"period", "bogus"}}, "today",
                      c, now),
        (Period{ymd(2025, 3, 1), ymd(2025, 3, 1), "2025-03-01 \u2192 2025-03-01", false, true}));
    // A last day after today still includes today.
    EXPECT_TRUE(Period::parse({{"from", "2025-03-01"}, {"to", "2025-04-01"}}, "today", c, now)
                    .includesToday);
    // A "to" that is not a string counts as absent: through today.
    EXPECT_EQ(Period::parse({{"from", "2025-03-10"}, {"to", 5}}, "today", c, now).through,
              ymd(2025, 3, 12));
}

TEST(PeriodParse, RefusalsQuoteWhatWasGiven) {
    const Calendar c = zone("Australia/Lord_Howe");
    const double now = at(c, 2025, 3, 12, 9, 0);
    for (const char* p : {"0d", "-3d", "d", "7days", "week", "1.5d", "99999999999999999999d"}) {
        SCOPED_TRACE(p);
        EXPECT_EQ(refusal({{"period", p}}, c, now), unknownPeriod(p));
    }
    EXPECT_EQ(refusal({{"period", "  WEEK "}}, c, now), unknownPeriod("week"));
    // The quoted text is lower-cased beyond ASCII too.
    EXPECT_EQ(refusal({{"period", "\t\u00c9T\u00c9"}}, c, now), unknownPeriod("\u00e9t\u00e9"));
    EXPECT_EQ(refusal({{"from", "2025-03-05"}, {"to", "2025-03-01"}}, c, now),
              "reversed range: from=2025-03-05 is later than to");
    EXPECT_EQ(refusal({{"from", "03/01/2025"}}, c, now),
              "invalid date \u201c03/01/2025\u201d \u2014 the format is yyyy-MM-dd");
    EXPECT_EQ(refusal({{"from", " 2025-03-01"}}, c, now),
              "invalid date \u201c 2025-03-01\u201d \u2014 the format is yyyy-MM-dd");
    EXPECT_EQ(refusal({{"from", "2025-03-01"}, {"to", "2025-02-30"}}, c, now),
              "invalid date \u201c2025-02-30\u201d \u2014 the format is yyyy-MM-dd");
}

TEST(PeriodParse, ADayCountReachingBeforeTheFirstWritableDayIsRefused) {
    const Calendar c = zone("UTC");
    const double now = at(c, 2025, 3, 12, 9, 0);
    // Reaching back to year 0 still forms a first day.
    const auto days = ymd(2025, 3, 12).daysSinceEpoch() - ymd(0, 1, 1).daysSinceEpoch() + 1;
    Period far = Period::parse({{"period", std::to_string(days) + "d"}}, "today", c, now);
    EXPECT_EQ(far.from, ymd(0, 1, 1));
    // One more day, or an absurd count, is refused instead of silently becoming today.
    const std::string tooFar = std::to_string(days + 1) + "d";
    EXPECT_EQ(refusal({{"period", tooFar}}, c, now), unknownPeriod(tooFar));
    EXPECT_EQ(refusal({{"period", "9223372036854775807d"}}, c, now),
              unknownPeriod("9223372036854775807d"));
}

TEST(PeriodParse, DaylightSavingDaysAndSkippedMidnights) {
    // São Paulo skipped midnight on 2018-11-04: today still starts that day.
    const Calendar sp = zone("America/Sao_Paulo");
    const double justAfter = at(sp, 2018, 11, 4, 1, 10);
    Period today = Period::parse(Json::object(), "today", sp, justAfter);
    EXPECT_EQ(today.from, ymd(2018, 11, 4));
    EXPECT_EQ(today.label, "today (2018-11-04)");
    EXPECT_EQ(Period::parse({{"period", "2d"}}, "today", sp, justAfter).label,
              "last 2 days (2018-11-03 \u2192 2018-11-04)");
    // Lord Howe moves by half an hour; late evening is still the same local day.
    const Calendar lh = zone("Australia/Lord_Howe");
    const double lateOnChange = at(lh, 2025, 4, 6, 23, 45); // DST ended at 02:00 that day
    EXPECT_EQ(Period::parse({{"period", "yesterday"}}, "today", lh, lateOnChange).label,
              "yesterday (2025-04-05)");
    // The same instant is a different day in another zone.
    const Calendar utc = Calendar::utc();
    EXPECT_EQ(Period::parse(Json::object(), "today", utc, lateOnChange).label,
              "today (2025-04-06)");
    EXPECT_EQ(
        Period::parse(Json::object(), "today", zone("America/Los_Angeles"), lateOnChange).label,
        "today (2025-04-06)");
}
