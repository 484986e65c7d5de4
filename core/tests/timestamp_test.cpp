#include <gtest/gtest.h>

#include "ingest/LineReader.hpp"

using vantery::Timestamp;

namespace {
constexpr double base = 1759672987.0; // 2025-10-05T14:03:07Z
}

TEST(Timestamp, AcceptedForms) {
    EXPECT_EQ(Timestamp::parse("2025-10-05T14:03:07Z"), base);
    EXPECT_EQ(Timestamp::parse("2025-10-05 14:03:07"), base);
    EXPECT_DOUBLE_EQ(*Timestamp::parse("2025-10-05T14:03:07.250+02:00"), base - 7200 + 0.25);
    EXPECT_EQ(Timestamp::parse("2025-10-05T14:03:07+0530"), base - 5 * 3600 - 1800);
    EXPECT_EQ(Timestamp::parse("2025-10-05T14:03:07-07"), base + 7 * 3600);
    EXPECT_EQ(Timestamp::parse("2025-10-05T14:03:07."), base);
    EXPECT_DOUBLE_EQ(*Timestamp::parse("2025-10-05T14:03:07.125"), base + 0.125);
    // Anything but a fraction or an offset after the seconds is ignored: UTC.
    EXPECT_EQ(Timestamp::parse("2025-10-05T14:03:07 garbage"), base);
    EXPECT_EQ(Timestamp::parse("2025-10-05T14:03:07+05:3"), base - 5 * 3600);
}

TEST(Timestamp, DaysRunOnAndLeapSeconds) {
    EXPECT_EQ(Timestamp::parse("2025-02-30T00:00:00Z"), 1740873600.0); // 2025-03-02
    EXPECT_EQ(Timestamp::parse("2025-10-05T23:59:61Z"), 1759708801.0); // 2025-10-06T00:00:01Z
    EXPECT_EQ(Timestamp::parse("1970-01-01T00:00:00Z"), 0.0);
    EXPECT_EQ(Timestamp::parse("2024-02-29T00:00:00Z"), 1709164800.0);
    EXPECT_EQ(Timestamp::parse("1969-12-31T23:59:59Z"), -1.0);
    EXPECT_EQ(Timestamp::parse("0000-03-01T00:00:00Z"), -62162035200.0);
}

TEST(Timestamp, Refused) {
    for (const char* bad :
         {"2025-10-05T14:03:07+5", "2025-10-05T24:00:00Z", "2025-13-01T00:00:00Z", "2025-10-05",
          "2025-00-05T14:03:07Z", "2025-10-00T14:03:07Z", "2025-10-05T14:60:07Z",
          "2025-10-05T14:03:62Z", "2025/10/05T14:03:07Z", "2025-10-05X14:03:07Z",
          "2025-1a-05T14:03:07Z", "2025-10-05T14:03:07+a5", ""})
        EXPECT_FALSE(Timestamp::parse(bad)) << bad;
}
