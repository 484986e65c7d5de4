#include <gtest/gtest.h>

#include <unordered_set>

#include "RecordBuilder.hpp"
#include "vantery/report/DateRange.hpp"

using namespace vantery;
using vantery::fixtures::at;

namespace {

LocalDay D(int y, int m, int d) {
    return LocalDay::fromYMD(y, m, d);
}

DateRange presetOn(RangePreset p, int y, int m, int d, const Calendar& cal, int hour = 12) {
    auto r = p.range(at(cal, y, m, d, hour), cal);
    EXPECT_TRUE(r.has_value());
    return r.value_or(DateRange(D(1970, 1, 1), D(1970, 1, 1)));
}

} // namespace

TEST(DateRange, OrdersEndsAndCountsDays) {
    auto cal = fixtures::zone("Europe/Berlin");
    DateRange r(at(cal, 2026, 3, 15, 18), at(cal, 2026, 3, 10, 9), cal);
    EXPECT_EQ(r.from, D(2026, 3, 10));
    EXPECT_EQ(r.through, D(2026, 3, 15));
    EXPECT_EQ(r.dayCount(), 6);
    EXPECT_EQ(r.label(), "2026-03-10 \u2192 2026-03-15");
    EXPECT_FALSE(r.isSingleDay());

    DateRange one(D(2026, 3, 1), D(2026, 3, 1));
    EXPECT_TRUE(one.isSingleDay());
    EXPECT_EQ(one.dayCount(), 1);
    EXPECT_EQ(one.label(), "2026-03-01");
}

TEST(DateRange, DaysFollowTheCalendarAcrossMidnight) {
    auto ny = fixtures::zone("America/New_York");
    // 23:59:59 local on the 9th is already the 10th in UTC.
    DateRange r(at(ny, 2026, 3, 9, 23, 59, 59), at(ny, 2026, 3, 10, 0, 0, 0), ny);
    EXPECT_EQ(r.from, D(2026, 3, 9));
    EXPECT_EQ(r.through, D(2026, 3, 10));
    EXPECT_TRUE(r.contains(at(ny, 2026, 3, 10, 23, 59, 59), ny));
    EXPECT_FALSE(r.contains(at(ny, 2026, 3, 11, 0, 0, 0), ny));
    EXPECT_FALSE(r.contains(at(ny, 2026, 3, 8, 23, 59, 59), ny));
}

TEST(DateRange, TitleOnlyForWholeMonths) {
    EXPECT_EQ(DateRange(D(2026, 2, 1), D(2026, 2, 28)).title(), "February 2026");
    EXPECT_EQ(DateRange(D(2024, 2, 1), D(2024, 2, 29)).title(), "February 2024");
    EXPECT_EQ(DateRange(D(2026, 12, 1), D(2026, 12, 31)).title(), "December 2026");
    EXPECT_EQ(DateRange(D(2026, 2, 1), D(2026, 2, 27)).title(), "2026-02-01 \u2192 2026-02-27");
    EXPECT_EQ(DateRange(D(2026, 2, 2), D(2026, 2, 28)).title(), "2026-02-02 \u2192 2026-02-28");
    EXPECT_EQ(DateRange(D(2026, 2, 1), D(2026, 3, 31)).title(), "2026-02-01 \u2192 2026-03-31");
}

TEST(DateRange, CaveatWhenTodayIsInside) {
    auto cal = fixtures::zone("Australia/Lord_Howe");
    double now = at(cal, 2026, 3, 10, 9);
    EXPECT_FALSE(DateRange(D(2026, 3, 1), D(2026, 3, 9)).caveat(now, cal));
    EXPECT_FALSE(DateRange(D(2026, 3, 11), D(2026, 3, 20)).caveat(now, cal));
    EXPECT_EQ(DateRange(D(2026, 3, 10), D(2026, 3, 10)).caveat(now, cal),
              "This range includes today, so the figure is not final yet.");
    EXPECT_TRUE(DateRange(D(2026, 3, 1), D(2026, 3, 31)).includesToday(now, cal));
}

TEST(RangePreset, DaysBackIncludeToday) {
    auto cal = fixtures::zone("America/New_York");
    EXPECT_EQ(presetOn(RangePreset::last7Days, 2026, 3, 10, cal),
              DateRange(D(2026, 3, 4), D(2026, 3, 10)));
    EXPECT_EQ(presetOn(RangePreset::last30Days, 2026, 3, 10, cal),
              DateRange(D(2026, 2, 9), D(2026, 3, 10)));
    // Across a year edge, just after midnight.
    EXPECT_EQ(presetOn(RangePreset::last7Days, 2026, 1, 2, cal, 0),
              DateRange(D(2025, 12, 27), D(2026, 1, 2)));
}

TEST(RangePreset, MonthAndYearEdges) {
    auto cal = fixtures::zone("Europe/London");
    EXPECT_EQ(presetOn(RangePreset::lastMonth, 2026, 3, 31, cal),
              DateRange(D(2026, 2, 1), D(2026, 2, 28)));
    EXPECT_EQ(presetOn(RangePreset::lastMonth, 2024, 3, 31, cal),
              DateRange(D(2024, 2, 1), D(2024, 2, 29)));
    EXPECT_EQ(presetOn(RangePreset::lastMonth, 2026, 1, 15, cal),
              DateRange(D(2025, 12, 1), D(2025, 12, 31)));
    EXPECT_EQ(presetOn(RangePreset::lastMonth, 2026, 5, 31, cal),
              DateRange(D(2026, 4, 1), D(2026, 4, 30)));
    EXPECT_EQ(presetOn(RangePreset::thisMonth, 2026, 3, 1, cal, 0),
              DateRange(D(2026, 3, 1), D(2026, 3, 1)));
    EXPECT_EQ(presetOn(RangePreset::thisMonth, 2026, 3, 31, cal, 23),
              DateRange(D(2026, 3, 1), D(2026, 3, 31)));
    EXPECT_EQ(presetOn(RangePreset::yearToDate, 2026, 1, 1, cal, 0),
              DateRange(D(2026, 1, 1), D(2026, 1, 1)));
    EXPECT_EQ(presetOn(RangePreset::yearToDate, 2026, 12, 31, cal, 23),
              DateRange(D(2026, 1, 1), D(2026, 12, 31)));
    EXPECT_EQ(presetOn(RangePreset::lastMonth, 2026, 3, 31, cal).title(), "February 2026");
    EXPECT_FALSE(RangePreset(RangePreset::custom).range(at(cal, 2026, 3, 1), cal));
}

TEST(RangePreset, TodayIsTheLocalDayOfNow) {
    // 1 January 00:30 in Havana is still 31 December in Los Angeles: the same instant
    // gives a different year to date in each zone.
    auto havana = fixtures::zone("America/Havana");
    auto la = fixtures::zone("America/Los_Angeles");
    double now = at(havana, 2026, 1, 1, 0, 30);
    EXPECT_EQ(*RangePreset(RangePreset::yearToDate).range(now, havana),
              DateRange(D(2026, 1, 1), D(2026, 1, 1)));
    EXPECT_EQ(*RangePreset(RangePreset::yearToDate).range(now, la),
              DateRange(D(2025, 1, 1), D(2025, 12, 31)));
    // Havana's 10 March 2024 begins at 01:00; it is still a day like any other.
    EXPECT_EQ(presetOn(RangePreset::last7Days, 2024, 3, 10, havana, 1),
              DateRange(D(2024, 3, 4), D(2024, 3, 10)));
}

TEST(RangePreset, RawValuesAndLabels) {
    ASSERT_EQ(RangePreset::allCases().size(), 6u);
    EXPECT_EQ(RangePreset::allCases()[2].rawValue(), "last7Days");
    EXPECT_EQ(RangePreset::pickable()[5].label(), "Custom range");
    EXPECT_EQ(RangePreset(RangePreset::yearToDate).label(), "Year to date");
    EXPECT_EQ(RangePreset(RangePreset::lastMonth).id(), "lastMonth");
    for (auto p : RangePreset::allCases())
        EXPECT_EQ(RangePreset::fromRawValue(p.rawValue()), p);
    EXPECT_FALSE(RangePreset::fromRawValue("Last7Days"));
    EXPECT_FALSE(RangePreset::fromRawValue(""));
}

TEST(RangeSelection, CustomDefaultsAndOrdering) {
    auto cal = fixtures::zone("America/New_York");
    double now = at(cal, 2026, 3, 10, 15);
    RangeSelection s(RangePreset::custom, std::nullopt, std::nullopt, now, cal);
    EXPECT_EQ(s.resolved(now, cal), *RangePreset(RangePreset::last30Days).range(now, cal));
    // Resolved later, the stored custom days stay where they were picked.
    EXPECT_EQ(s.resolved(at(cal, 2026, 6, 1), cal), DateRange(D(2026, 2, 9), D(2026, 3, 10)));

    RangeSelection backwards(RangePreset::custom, at(cal, 2026, 3, 20, 8), at(cal, 2026, 3, 2, 22),
                             now, cal);
    EXPECT_EQ(backwards.resolved(now, cal), DateRange(D(2026, 3, 2), D(2026, 3, 20)));
    RangeSelection preset(RangePreset::lastMonth, at(cal, 2026, 3, 20), at(cal, 2026, 3, 2), now,
                          cal);
    EXPECT_EQ(preset.resolved(now, cal), DateRange(D(2026, 2, 1), D(2026, 2, 28)));
}

TEST(RangeSelection, EqualityCoversStoredCustomDays) {
    auto cal = fixtures::zone("UTC");
    double now = at(cal, 2026, 3, 10);
    RangeSelection a(RangePreset::thisMonth, at(cal, 2026, 1, 1), at(cal, 2026, 1, 2), now, cal);
    RangeSelection b(RangePreset::thisMonth, at(cal, 2026, 1, 1), at(cal, 2026, 1, 3), now, cal);
    RangeSelection c = a;
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(a == c);
    c.preset = RangePreset::lastMonth;
    EXPECT_FALSE(a == c);
}

TEST(DateRange, UsableAsAHashKey) {
    std::unordered_set<DateRange> ranges;
    ranges.insert(DateRange(D(2026, 3, 1), D(2026, 3, 31)));
    ranges.insert(DateRange(D(2026, 3, 31), D(2026, 3, 1))); // the same range, ends swapped
    ranges.insert(DateRange(D(2026, 3, 1), D(2026, 3, 30)));
    ranges.insert(DateRange(D(2026, 3, 31), D(2026, 3, 31)));
    EXPECT_EQ(ranges.size(), 3u);
    EXPECT_EQ(ranges.count(DateRange(D(2026, 3, 1), D(2026, 3, 31))), 1u);
    EXPECT_EQ(ranges.count(DateRange(D(2026, 3, 2), D(2026, 3, 31))), 0u);

    std::unordered_set<RangePreset> presets(RangePreset::allCases().begin(),
                                            RangePreset::allCases().end());
    presets.insert(RangePreset::custom);
    EXPECT_EQ(presets.size(), 6u);
    EXPECT_EQ(presets.count(RangePreset::last7Days), 1u);
}
