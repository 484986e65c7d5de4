// vant_overview over a fixed history with the clock pinned in New York.
#include <gtest/gtest.h>

#include "Contains.hpp"
#include "ServerFixture.hpp"
#include "ToolsHome.hpp"

using namespace vantery::mcp;
using namespace vantery::mcp::testing;

TEST(OverviewTool, PopulatedHistory) {
    ToolsHome t;
    t.expectGolden("vant_overview", "{}", "overview.txt");
}

TEST(OverviewTool, EmptyHome) {
    ToolsHome t(true);
    t.expectGolden("vant_overview", "{}", "overview-empty.txt");
}

TEST(OverviewTool, TopBelowOneListsOneOfEach) {
    ToolsHome t;
    t.expectGolden("vant_overview", R"({"top": 0})", "overview-top1.txt");
    EXPECT_EQ(t.call("vant_overview", R"({"top": -3})").text,
              t.call("vant_overview", R"({"top": 0})").text);
}

TEST(OverviewTool, TopThatIsNoIntegerFallsBackToFive) {
    ToolsHome t;
    const std::string five = t.call("vant_overview").text;
    EXPECT_EQ(t.call("vant_overview", R"({"top": "2"})").text, five);
    EXPECT_EQ(t.call("vant_overview", R"({"top": 2.5})").text, five);
    EXPECT_EQ(t.call("vant_overview", R"({"top": null})").text, five);
    EXPECT_TRUE(contains(five, "TOP 5 AGENTS TODAY"));
}

TEST(OverviewTool, HeadingsNameATopBeyondTheIntRange) {
    ToolsHome t;
    const std::string text = t.call("vant_overview", R"({"top": 10000000000})").text;
    EXPECT_TRUE(contains(text, "\nTOP 10000000000 AGENTS TODAY\n"));
    EXPECT_TRUE(contains(text, "\nTOP 10000000000 PROJECTS TODAY\n"));
    // Every agent and project of today is listed.
    EXPECT_TRUE(contains(text, "\n  anon:0f1e2d3c4 "));
    EXPECT_TRUE(contains(text, "\n  ~/scratch/notes "));
}

namespace {

Line at(const std::string& id, const std::string& when, const std::string& model) {
    Line l;
    l.messageId = "msg_" + id;
    l.requestId = "req_" + id;
    l.timestamp = when;
    l.model = model;
    return l;
}

} // namespace

TEST(OverviewTool, NothingPricedTodayAndNothingPricedYesterday) {
    ServerFixture f; // 2025-03-12 08:00 in New York
    f.transcript("p/s.jsonl", usageLine(at("1", "2025-03-12T11:30:00Z", "mystery-model-x")) +
                                  usageLine(at("2", "2025-03-11T11:00:00Z", "mystery-model-x")));
    const std::string text = f.answer("vant_overview");
    // Yesterday up to the same time has a request but no priced dollar: its own
    // text stands, and the change cannot be worked out, for want of prices.
    EXPECT_TRUE(
        contains(text, "  yesterday, same time \u2265 $0.00 [1 request with no known price "
                       "(mystery-model-x) are not included]\n"
                       "  change               unknown \u2014 none of today\u2019s requests has a "
                       "known price\n"));
    EXPECT_TRUE(contains(text,
                         "\nWHO SPENT IT TODAY\n  unknown \u2014 none of today\u2019s requests "
                         "has a known price\n\nTOP 5 AGENTS TODAY\n"));
    EXPECT_TRUE(contains(text, "\nWARNING: 1 request with no known price (mystery-model-x) are not "
                               "included \u2014 the figures above are lower bounds.\n"));
}

TEST(OverviewTool, OneReadingOfTheClockNearMidnight) {
    // The first reading is a second before midnight; every later one is after it.
    // An answer that read the clock twice would mix 2025-03-12 and 2025-03-13.
    ServerFixture f;
    f.transcript("p/s.jsonl", usageLine(at("1", "2025-03-13T03:30:00Z", "claude-sonnet-4-5")) +
                                  usageLine(at("2", "2025-03-12T03:00:00Z", "claude-sonnet-4-5")));
    auto env = f.environment();
    auto readings = std::make_shared<int>(0);
    env.wallClock = [readings] {
        return (*readings)++ == 0 ? 1741838399.0  // 2025-03-12 23:59:59 EDT
                                  : 1741838401.0; // 2025-03-13 00:00:01 EDT
    };
    MCPServer server(std::make_shared<DataSource>(env));
    auto a = server.callTool("vant_overview", Json::object());
    EXPECT_EQ(*readings, 1);
    EXPECT_EQ(a.text.rfind("Vantery \u2014 status at 2025-03-12 23:59\n", 0), 0u) << a.text;
    EXPECT_TRUE(contains(a.text, "TODAY (2025-03-12)\n  cost                 $0.0045\n"));
    EXPECT_TRUE(contains(a.text, "  yesterday, full day  $0.0045\n"));
}

TEST(OverviewTool, AnUnpricedMainSessionIsNeitherExactNorEmpty) {
    ServerFixture f; // 2025-03-12 08:00 in New York
    Line sub = at("3", "2025-03-12T11:40:00Z", "claude-sonnet-4-5");
    sub.agentId = "aworker-0123456789abcdef";
    f.transcript("p/s.jsonl", usageLine(at("1", "2025-03-12T11:30:00Z", "mystery-model-x")) +
                                  usageLine(sub) +
                                  usageLine(at("2", "2025-03-11T11:00:00Z", "mystery-model-x")));
    const std::string text = f.answer("vant_overview");
    EXPECT_TRUE(contains(text,
                         "  change               unknown \u2014 none of yesterday\u2019s requests "
                         "up to this time has a known price\n"));
    // Neither side's share is a figure: the main session's cost is unknown, and so the
    // sub-agents' share of the whole.
    EXPECT_TRUE(contains(text,
                         "\n  main session         unknown (1 request, no known price: "
                         "mystery-model-x)  (share unknown \u2014 none of its requests has a known "
                         "price)\n  sub-agents           $0.0045  (share unknown \u2014 none of "
                         "the other requests has a known price)\n"));
}

TEST(OverviewTool, AChangeFromALowerBoundIsNeverExact) {
    ServerFixture f; // 2025-03-12 08:00 in New York
    f.transcript("p/s.jsonl", usageLine(at("1", "2025-03-12T11:30:00Z", "mystery-model-x")) +
                                  usageLine(at("2", "2025-03-11T11:00:00Z", "claude-opus-4-1")));
    std::string text = f.answer("vant_overview");
    // Today's $0 is a lower bound: not "-100.0%".
    EXPECT_TRUE(contains(text,
                         "  change               unknown \u2014 none of today\u2019s requests has "
                         "a known price\n"));

    // With a priced request beside the unpriced one, the change is only a lower bound.
    ServerFixture g;
    g.transcript("p/s.jsonl", usageLine(at("1", "2025-03-12T11:30:00Z", "mystery-model-x")) +
                                  usageLine(at("3", "2025-03-12T11:35:00Z", "claude-opus-4-1")) +
                                  usageLine(at("2", "2025-03-11T11:00:00Z", "claude-opus-4-1")));
    text = g.answer("vant_overview");
    EXPECT_TRUE(contains(text, "  change               \u2265 +0.0%\n"));
}

TEST(OverviewTool, ChangeSaysWhatIsTrueOfYesterday) {
    // Yesterday's only request was a web fetch, which costs nothing: there were
    // requests, so not "no requests".
    ServerFixture f; // 2025-03-12 08:00 in New York
    Line fetch = at("2", "2025-03-11T11:00:00Z", "claude-opus-4-1");
    fetch.input = fetch.output = 0;
    fetch.webSearches = 1;
    std::string fetchLine = usageLine(fetch);
    fetchLine.replace(fetchLine.find("web_search_requests"), 19, "web_fetch_requests");
    f.transcript("p/s.jsonl",
                 usageLine(at("1", "2025-03-12T11:30:00Z", "claude-opus-4-1")) + fetchLine);
    EXPECT_TRUE(contains(f.answer("vant_overview"),
                         "  yesterday, same time $0.00\n  change               unknown \u2014 "
                         "yesterday\u2019s requests up to this time cost $0.00\n"));

    // Nothing today against a partly unpriced yesterday: every dollar of it is gone.
    ServerFixture g;
    g.transcript("p/s.jsonl", usageLine(at("2", "2025-03-11T11:00:00Z", "claude-opus-4-1")) +
                                  usageLine(at("3", "2025-03-11T11:10:00Z", "mystery-model-x")));
    EXPECT_TRUE(contains(g.answer("vant_overview"), "  change               -100.0%\n"));
}

TEST(OverviewTool, TodayAtAKnownPriceOfNothingIsSplitNotUnpriced) {
    ServerFixture f; // 2025-03-12 08:00 in New York
    // Only a web fetch, which costs nothing at a known price.
    Line fetch = at("1", "2025-03-12T11:30:00Z", "claude-sonnet-4-5");
    fetch.input = 0;
    fetch.output = 0;
    fetch.webSearches = 0;
    std::string line = usageLine(fetch);
    const std::string searches = "\"web_search_requests\":0";
    line.replace(line.find(searches), searches.size(), "\"web_fetch_requests\":1");
    f.transcript("p/s.jsonl", line);
    const std::string text = f.answer("vant_overview");
    EXPECT_TRUE(contains(text, "  cost                 $0.00\n")) << text;
    EXPECT_FALSE(contains(text, "has a known price")) << text;
    EXPECT_TRUE(contains(text, "\n  main session         $0.00  (share unknown \u2014 there is no "
                               "priced cost to take a share of)\n"))
        << text;
}

TEST(OverviewTool, ALowerBoundInDollarsRoundsDown) {
    ServerFixture f; // 2025-03-12 08:00 in New York
    Line priced = at("1", "2025-03-12T11:30:00Z", "claude-haiku-4-5");
    priced.input = 5'237'000; // $5.237
    priced.output = 0;
    f.transcript("p/s.jsonl",
                 usageLine(priced) + usageLine(at("2", "2025-03-12T11:40:00Z", "mystery-model-x")));
    EXPECT_TRUE(contains(f.answer("vant_overview"), "  cost                 \u2265 $5.23 ["));
    // The total is a bound; the priced model's own cost is exact and rounds to nearest.
    const std::string cost = f.answer("vant_cost", {{"by", "model"}});
    EXPECT_TRUE(contains(cost, "\u2265 $5.23")) << cost;
    EXPECT_TRUE(contains(cost, "$5.24")) << cost;
}
