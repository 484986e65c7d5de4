#include <gtest/gtest.h>

#include "model/MenuBarLabelModel.hpp"
#include "model/SparklineModel.hpp"
#include "support/TodayFixture.hpp"

using namespace vantery;
using namespace vantery::app;
using State = UsageStore::LoadState;
using Fill = SparklineBar::Fill;

TEST(MenuBarLabel, FlameUntilReady) {
    const Report empty;
    for (const State& s : {State::idle(), State::scanning("reading the cache")}) {
        const auto label = buildMenuBarLabel(s, empty);
        EXPECT_TRUE(label.flame);
        EXPECT_EQ(label.text, "");
    }
    EXPECT_EQ(buildMenuBarLabel(State::scanning("first full scan"), empty).tooltip,
              "Vantery \u2014 first full scan");
}

TEST(MenuBarLabel, CompactAmountOnceReady) {
    TodayFixture f;
    auto label = buildMenuBarLabel(State::ready(), f.today());
    EXPECT_FALSE(label.flame);
    EXPECT_EQ(label.text, "$0");
    EXPECT_EQ(label.tooltip, "Vantery \u2014 today $0.00 \u00b7 0 requests");

    f.add(0, 9, 0, 0); // only unpriced requests
    label = buildMenuBarLabel(State::ready(), f.today());
    EXPECT_EQ(label.text, "\u2265$0");
    EXPECT_TRUE(label.lowerBound);
    EXPECT_EQ(label.tooltip, "Vantery \u2014 today \u2265 $0.00 \u00b7 1 request");

    f.add(0, 10, 0, 12.75);
    EXPECT_EQ(buildMenuBarLabel(State::ready(), f.today()).text, "\u2265$12");
    f.add(0, 10, 0, 1287); // $1,299.75
    EXPECT_EQ(buildMenuBarLabel(State::ready(), f.today()).text, "\u2265$1.2k");

    TodayFixture priced;
    priced.add(0, 9, 0, 999.5);
    EXPECT_EQ(buildMenuBarLabel(State::ready(), priced.today()).text, "$1000");
}

TEST(MenuBarLabel, TooltipGivesTheExactAmountTheIconCuts) {
    TodayFixture f;
    for (int i = 0; i < 1204; ++i)
        f.add(0, 9, 0, 114.31 / 1204);
    const auto label = buildMenuBarLabel(State::ready(), f.today());
    EXPECT_EQ(label.text, "$114");
    EXPECT_EQ(label.tooltip, "Vantery \u2014 today $114.31 \u00b7 1,204 requests");
}

TEST(MenuBarLabel, CompactDollarsRoundsBeforeTheThousandsOnlyBelowTheThreshold) {
    EXPECT_EQ(compactDollars(0), "$0");
    EXPECT_EQ(compactDollars(0.49), "$0");
    EXPECT_EQ(compactDollars(12.5), "$13");
    EXPECT_EQ(compactDollars(999.49), "$999");
    EXPECT_EQ(compactDollars(999.5), "$1000");
    EXPECT_EQ(compactDollars(1000), "$1.0k");
    EXPECT_EQ(compactDollars(12340), "$12.3k");
}

TEST(Sparkline, EmptyMapGivesTwentyFourEmptyBars) {
    TodayFixture f;
    const auto m = buildSparkline({}, f.now, f.cal);
    EXPECT_EQ(m.currentHour, 14);
    for (int h = 0; h < 24; ++h) {
        const SparklineBar& bar = m.bars[std::size_t(h)];
        EXPECT_EQ(bar.hour, h);
        EXPECT_EQ(bar.fill, Fill::empty);
        EXPECT_EQ(bar.height, 2);
    }
    EXPECT_EQ(m.bars[0].tooltip, "00:00 \u2014 no requests");
    EXPECT_EQ(m.bars[23].tooltip, "23:00 \u2014 no requests");
}

TEST(Sparkline, HoursWithOnlyUnpricedRequestsAreStillActiveHours) {
    TodayFixture f;
    f.add(0, 9, 0, 0);
    f.add(0, 14, 5, 0);
    auto m = buildSparkline(f.today().byHour, f.now, f.cal);
    EXPECT_EQ(m.bars[9].fill, Fill::faded);
    EXPECT_EQ(m.bars[9].height, 2);
    EXPECT_EQ(m.bars[9].tooltip, "09:00 \u2014 \u2265 $0.00");
    EXPECT_EQ(m.bars[14].fill, Fill::current);
    EXPECT_EQ(m.bars[8].tooltip, "08:00 \u2014 no requests");

    // Beside priced hours, an unpriced one stands at the minimum and keeps its cost text.
    f.add(0, 11, 0, 3);
    m = buildSparkline(f.today().byHour, f.now, f.cal);
    EXPECT_EQ(m.bars[11].height, 30);
    EXPECT_EQ(m.bars[9].fill, Fill::faded);
    EXPECT_EQ(m.bars[9].height, 2);
    EXPECT_EQ(m.bars[9].tooltip, "09:00 \u2014 \u2265 $0.00");
}

TEST(Sparkline, HeightsAreAbsoluteWithATwoPixelFloor) {
    TodayFixture f;
    f.add(0, 9, 0, 30);
    f.add(0, 10, 0, 15);
    f.add(0, 11, 0, 1); // under a fifteenth of the largest
    const auto m = buildSparkline(f.today().byHour, f.now, f.cal);
    EXPECT_EQ(m.bars[9].height, 30);
    EXPECT_EQ(m.bars[10].height, 15);
    EXPECT_EQ(m.bars[11].height, 2);
    EXPECT_EQ(m.bars[11].fill, Fill::faded);
    EXPECT_EQ(m.bars[11].tooltip, "11:00 \u2014 $1.00");
    EXPECT_EQ(m.bars[9].tooltip, "09:00 \u2014 $30.00");
    // The current hour without requests is not highlighted.
    EXPECT_EQ(m.bars[14].fill, Fill::empty);
}
