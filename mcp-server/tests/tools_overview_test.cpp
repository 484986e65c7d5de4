// vant_overview over a fixed history with the clock pinned in New York.
#include <gtest/gtest.h>

#include "Golden.hpp"
#include "ToolsHome.hpp"

using namespace vantery::mcp;
using namespace vantery::mcp::testing;

TEST(OverviewTool, PopulatedHistory) {
    ToolsHome t;
    auto a = t.call("vant_overview");
    EXPECT_FALSE(a.isError);
    EXPECT_TRUE(matchesGolden(goldenPath("overview.txt"), a.text));
}

TEST(OverviewTool, EmptyHome) {
    ToolsHome t(true);
    auto a = t.call("vant_overview");
    EXPECT_FALSE(a.isError);
    EXPECT_TRUE(matchesGolden(goldenPath("overview-empty.txt"), a.text));
}

TEST(OverviewTool, TopBelowOneListsOneOfEach) {
    ToolsHome t;
    auto a = t.call("vant_overview", R"({"top": 0})");
    EXPECT_FALSE(a.isError);
    EXPECT_TRUE(matchesGolden(goldenPath("overview-top1.txt"), a.text));
    EXPECT_EQ(t.call("vant_overview", R"({"top": -3})").text, a.text);
}

TEST(OverviewTool, TopThatIsNoIntegerFallsBackToFive) {
    ToolsHome t;
    const std::string five = t.call("vant_overview").text;
    EXPECT_EQ(t.call("vant_overview", R"({"top": "2"})").text, five);
    EXPECT_EQ(t.call("vant_overview", R"({"top": 2.5})").text, five);
    EXPECT_EQ(t.call("vant_overview", R"({"top": null})").text, five);
    EXPECT_NE(five.find("TOP 5 AGENTS TODAY"), std::string::npos);
}
