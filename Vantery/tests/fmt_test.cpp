#include <clocale>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "model/Fmt.hpp"

namespace Fmt = vantery::app::Fmt;

TEST(Fmt, TokensSwitchUnitsAtEachThreshold) {
    EXPECT_EQ(Fmt::tokens(999), "999");
    EXPECT_EQ(Fmt::tokens(1'000), "1.0k");
    EXPECT_EQ(Fmt::tokens(999'999), "1000.0k");
    EXPECT_EQ(Fmt::tokens(1'000'000), "1.00M");
    EXPECT_EQ(Fmt::tokens(1'000'000'000), "1.00G");
    EXPECT_EQ(Fmt::tokens(1'234'567'890), "1.23G");
    EXPECT_EQ(Fmt::tokens(-5'000), "-5000");
}

TEST(Fmt, ExactGroupsByThreesWithCommas) {
    EXPECT_EQ(Fmt::exact(0), "0");
    EXPECT_EQ(Fmt::exact(100), "100");
    EXPECT_EQ(Fmt::exact(1000), "1,000");
    EXPECT_EQ(Fmt::exact(1'234'567), "1,234,567");
    EXPECT_EQ(Fmt::exact(-1000), "-1,000");
    EXPECT_EQ(Fmt::exact(std::numeric_limits<std::int64_t>::min()), "-9,223,372,036,854,775,808");
}

TEST(Fmt, AgeTruncatesAndComparesStrictly) {
    const double now = 1'000'000;
    EXPECT_EQ(Fmt::ago(now - 59.9, now), "59s ago");
    EXPECT_EQ(Fmt::ago(now - 60, now), "1 min ago");
    EXPECT_EQ(Fmt::ago(now - 3599, now), "59 min ago");
    EXPECT_EQ(Fmt::ago(now - 3600, now), "1h ago");
    EXPECT_EQ(Fmt::ago(now - 86399, now), "23h ago");
    EXPECT_EQ(Fmt::ago(now - 86400, now), "1d ago");
    EXPECT_EQ(Fmt::ago(now - 30 * 86400.0, now), "30d ago");
    EXPECT_EQ(Fmt::ago(now + 5, now), "0s ago"); // never a negative age
}

TEST(Fmt, DurationInMillisecondsBelowOneSecond) {
    EXPECT_EQ(Fmt::duration(0), "0 ms");
    EXPECT_EQ(Fmt::duration(0.25), "250 ms");
    EXPECT_EQ(Fmt::duration(0.9999), "999 ms");
    EXPECT_EQ(Fmt::duration(1.0), "1.0 s");
    EXPECT_EQ(Fmt::duration(12), "12.0 s");
}

TEST(Fmt, TextsIgnoreTheProcessLocale) {
    // A locale with "," as decimal separator must not leak into any text.
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        std::setlocale(LC_NUMERIC, "C.UTF-8");
    EXPECT_EQ(Fmt::tokens(1'500), "1.5k");
    EXPECT_EQ(Fmt::duration(2.34), "2.3 s");
    EXPECT_EQ(Fmt::exact(1'000'000), "1,000,000");
    std::setlocale(LC_ALL, "C");
}

TEST(Fmt, DaysAreGregorianIsoInTheGivenZone) {
    const auto tokyo = vantery::Calendar::named("Asia/Tokyo");
    ASSERT_TRUE(tokyo);
    // 2025-03-01 15:30 UTC is 2025-03-02 00:30 in Tokyo.
    const double instant = 1740843000;
    EXPECT_EQ(Fmt::day(instant, *tokyo), "2025-03-02");
    EXPECT_EQ(Fmt::dayTime(instant, *tokyo), "02.03 00:30");
    EXPECT_EQ(Fmt::day(instant, vantery::Calendar::utc()), "2025-03-01");
}

TEST(Fmt, NamesLoseControlsAndAreIsolatedWhenTheyTurnDirection) {
    using namespace std::string_literals;
    EXPECT_EQ(Fmt::cleanName("claude-opus-4-1"), "claude-opus-4-1");
    EXPECT_EQ(Fmt::cleanName("a\0b\n\x1b"s
                             "c\u202Ed"),
              "abcd");
    EXPECT_EQ(Fmt::cleanName("\u05E9\u05DC\u05D5\u05DD"), "\u2068\u05E9\u05DC\u05D5\u05DD\u2069");
    EXPECT_EQ(Fmt::cleanName(std::string(500, 'x')).size(), 500u); // never cut
}

TEST(Fmt, ShownNamesAndWordsAreCutInTheMiddleBetweenCharacters) {
    EXPECT_EQ(Fmt::shownName(std::string(10'000, 'a')),
              std::string(29, 'a') + "\u2026" + std::string(30, 'a'));
    EXPECT_EQ(Fmt::shownName("short"), "short");
    // A family emoji is one character of several code points: never split.
    std::string families;
    for (int i = 0; i < 10; ++i)
        families += "\U0001F469\u200D\U0001F467";
    const std::string f = "\U0001F469\u200D\U0001F467";
    EXPECT_EQ(Fmt::shownName(families, 5), f + f + "\u2026" + f + f);

    EXPECT_EQ(Fmt::shownText("2 requests (" + std::string(100, 'm') + ", x) left\tout", 10),
              "2 requests (mmm\u2026mmmm, x) leftout");
}
