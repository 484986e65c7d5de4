#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "ingest/LineReader.hpp"
#include "vantery/base/Calendar.hpp"

using namespace vantery;

namespace {
double utc(const char* text) {
    return *Timestamp::parse(text);
}
} // namespace

TEST(LocalDay, PartsAndText) {
    auto d = LocalDay::fromYMD(2024, 2, 29);
    EXPECT_EQ(d.iso(), "2024-02-29");
    EXPECT_EQ(d.year(), 2024);
    EXPECT_EQ(d.month(), 2);
    EXPECT_EQ(d.day(), 29);
    EXPECT_EQ(d.weekday(), 4); // Thursday
    EXPECT_EQ(d.addingDays(1).iso(), "2024-03-01");
    EXPECT_EQ(LocalDay::fromYMD(2025, 2, 30).iso(), "2025-03-02");
    EXPECT_EQ(LocalDay(0).iso(), "1970-01-01");
    EXPECT_EQ(LocalDay::parseISO("2024-02-29"), d);
    EXPECT_FALSE(LocalDay::parseISO("2023-02-29"));
    EXPECT_FALSE(LocalDay::parseISO("2024-2-29"));
    EXPECT_FALSE(LocalDay::parseISO("2024-02-29x"));
    EXPECT_LT(LocalDay::fromYMD(2024, 1, 1), LocalDay::fromYMD(2024, 1, 2));
}

TEST(Calendar, DaylightSavingDaysInNewYork) {
    auto ny = *Calendar::named("America/New_York");
    auto spring = LocalDay::fromYMD(2024, 3, 10); // 23 hours
    auto fall = LocalDay::fromYMD(2024, 11, 3);   // 25 hours
    EXPECT_EQ(ny.startOfDay(spring), utc("2024-03-10T05:00:00Z"));
    EXPECT_EQ(ny.startOfNextDay(spring) - ny.startOfDay(spring), 23 * 3600);
    EXPECT_EQ(ny.startOfNextDay(fall) - ny.startOfDay(fall), 25 * 3600);
    // 02:30 does not exist on the spring day: the gap's end, 03:00 EDT.
    EXPECT_EQ(ny.instantOf(spring, 2, 30, 0), utc("2024-03-10T07:00:00Z"));
    // 01:30 happens twice on the fall day: the earlier one (EDT).
    EXPECT_EQ(ny.instantOf(fall, 1, 30, 0), utc("2024-11-03T05:30:00Z"));
    EXPECT_EQ(ny.hourOf(utc("2024-11-03T06:30:00Z")), 1); // the second 01:30
    EXPECT_EQ(ny.offsetSeconds(utc("2024-07-01T12:00:00Z")), -4 * 3600);
    EXPECT_EQ(ny.offsetSeconds(utc("2024-01-01T12:00:00Z")), -5 * 3600);
    EXPECT_EQ(ny.dayOf(utc("2024-03-10T04:59:59Z")), LocalDay::fromYMD(2024, 3, 9));
    EXPECT_EQ(ny.dayOf(utc("2024-03-10T05:00:00Z")), spring);
}

TEST(Calendar, SkippedMidnightStartsTheDayAtOne) {
    // Cuba moved its clocks from 00:00 to 01:00 on 2024-03-10.
    auto havana = *Calendar::named("America/Havana");
    auto day = LocalDay::fromYMD(2024, 3, 10);
    double start = havana.startOfDay(day);
    EXPECT_EQ(start, utc("2024-03-10T05:00:00Z"));
    auto t = havana.localTime(start);
    EXPECT_EQ(t.day, day);
    EXPECT_EQ(t.hour, 1);
    EXPECT_EQ(t.minute, 0);
    EXPECT_EQ(havana.dayOf(start - 1), day.addingDays(-1));
}

TEST(Calendar, LocalTimeAndFractions) {
    auto tokyo = *Calendar::named("Asia/Tokyo");
    auto t = tokyo.localTime(utc("2025-10-05T14:03:07.25Z"));
    EXPECT_EQ(t.day, LocalDay::fromYMD(2025, 10, 5));
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 3);
    EXPECT_EQ(t.second, 7);
    EXPECT_DOUBLE_EQ(t.fraction, 0.25);
    EXPECT_EQ(t.offsetSeconds, 9 * 3600);
    auto lh = *Calendar::named("Australia/Lord_Howe"); // half-hour DST shift
    EXPECT_EQ(lh.offsetSeconds(utc("2025-01-15T00:00:00Z")), 11 * 3600);
    EXPECT_EQ(lh.offsetSeconds(utc("2025-07-15T00:00:00Z")), 10 * 3600 + 1800);
    EXPECT_EQ(Calendar::utc().dayOf(-0.5), LocalDay(-1));
    // Out-of-range instants do not fail.
    EXPECT_NO_THROW(Calendar::utc().dayOf(1e300));
    EXPECT_NO_THROW(Calendar::utc().dayOf(std::nan("")));
}

TEST(Calendar, NamedAndCurrentZones) {
    EXPECT_FALSE(Calendar::named("Not/AZone"));
    EXPECT_EQ(Calendar::named("Europe/Paris")->zoneName(), "Europe/Paris");
    const char* saved = std::getenv("TZ");
    std::string before = saved ? saved : "";
    ::setenv("TZ", "Asia/Kolkata", 1);
    EXPECT_EQ(Calendar::current().zoneName(), "Asia/Kolkata");
    ::setenv("TZ", ":Europe/Berlin", 1);
    EXPECT_EQ(Calendar::current().zoneName(), "Europe/Berlin");
    ::setenv("TZ", "", 1);
    EXPECT_EQ(Calendar::current().offsetSeconds(utc("2025-07-01T00:00:00Z")), 0);
    if (saved)
        ::setenv("TZ", before.c_str(), 1);
    else
        ::unsetenv("TZ");
}
