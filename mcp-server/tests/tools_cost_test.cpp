// vant_cost over a fixed history with the clock pinned in New York: the axes,
// the filters and every refusal.
#include <gtest/gtest.h>

#include "Contains.hpp"
#include "ServerFixture.hpp"
#include "ToolsHome.hpp"

using namespace vantery::mcp;
using namespace vantery::mcp::testing;

namespace {

void expectGolden(ToolsHome& t, const std::string& golden, const std::string& arguments) {
    t.expectGolden("vant_cost", arguments, golden);
}

std::string refusal(ToolsHome& t, const std::string& arguments) {
    return t.refusal("vant_cost", arguments);
}

} // namespace

TEST(CostTool, TodayByDayAndHour) {
    ToolsHome t;
    expectGolden(t, "cost-today.txt", "{}");
    expectGolden(t, "cost-today-by-hour.txt", R"({"by": "hour"})");
    // Yesterday is a day that is over: no "not final" line.
    expectGolden(t, "cost-yesterday-by-hour.txt", R"({"period": "yesterday", "by": "HOUR"})");
}

TEST(CostTool, RangesAlongEveryAxis) {
    ToolsHome t;
    expectGolden(t, "cost-7d-by-day.txt", R"({"period": "7d"})");
    expectGolden(t, "cost-all-by-agent.txt", R"({"period": "all", "by": "agent"})");
    expectGolden(t, "cost-all-by-project.txt", R"({"period": "all", "by": "Project"})");
    expectGolden(t, "cost-all-by-model.txt", R"({"period": "all", "by": "model"})");
    expectGolden(t, "cost-all-by-session.txt", R"({"period": "all", "by": "session"})");
    // A single day given as from = to takes the hour axis too.
    expectGolden(t, "cost-range-by-hour.txt",
                 R"({"from": "2025-03-09", "to": "2025-03-09", "by": "hour"})");
}

TEST(CostTool, FiltersCombineAndAreNamedUnderTheTitle) {
    ToolsHome t;
    expectGolden(t, "cost-filtered.txt",
                 R"({"period": "all", "agent": "REVIEWER", "project": "~/code/shop"})");
    // The main session by its keyword, in one session found by its prefix.
    expectGolden(
        t, "cost-main-session.txt",
        R"({"period": "all", "agent": " Main ", "session_id": "sess-beta", "by": "model"})");
}

TEST(CostTool, EmptyHistoryAndEmptyPeriod) {
    ToolsHome empty(true);
    expectGolden(empty, "cost-empty.txt", "{}");
    ToolsHome t;
    // A period with no request: no volume lines and no WHO block, only the footer.
    expectGolden(t, "cost-quiet-days.txt", R"({"from": "2025-03-06", "to": "2025-03-07"})");
}

TEST(CostTool, AxisArgumentIsReadAsGiven) {
    ToolsHome t;
    const std::string byDay = t.call("vant_cost", R"({"period": "7d"})").text;
    EXPECT_EQ(t.call("vant_cost", R"({"period": "7d", "by": "DAY"})").text, byDay);
    // Not a string: the default axis.
    EXPECT_EQ(t.call("vant_cost", R"({"period": "7d", "by": 3})").text, byDay);
    // Not trimmed, and quoted back lower-cased.
    EXPECT_EQ(refusal(t, R"({"by": " day"})"),
              "unknown axis \u201c day\u201d \u2014 accepted: day, hour, agent, project, model, "
              "session");
    EXPECT_EQ(refusal(t, R"({"by": "Week"})"),
              "unknown axis \u201cweek\u201d \u2014 accepted: day, hour, agent, project, model, "
              "session");
    EXPECT_EQ(refusal(t, R"({"by": "\u00c9T\u00c9"})"),
              "unknown axis \u201c\u00e9t\u00e9\u201d \u2014 accepted: day, hour, agent, project, "
              "model, session");
}

TEST(CostTool, HourAxisNeedsOneDay) {
    ToolsHome t;
    const std::string sentence =
        "`by: \"hour\"` only makes sense on a single day \u2014 give `period: \"today\"`, "
        "`\"yesterday\"` or `from`=`to`.";
    EXPECT_EQ(refusal(t, R"({"period": "7d", "by": "hour"})"), sentence);
    EXPECT_EQ(refusal(t, R"({"period": "all", "by": "hour"})"), sentence);
    EXPECT_EQ(refusal(t, R"({"from": "2025-03-09", "to": "2025-03-10", "by": "hour"})"), sentence);
    // 1d is today, a single day.
    EXPECT_FALSE(t.call("vant_cost", R"({"period": "1d", "by": "hour"})").isError);
}

TEST(CostTool, FilterRefusalsListTheCandidates) {
    ToolsHome t;
    EXPECT_EQ(refusal(t, R"({"agent": "ghost"})"),
              "No agent matches \u201cghost\u201d. See `vant_top_agents` with `period: \"all\"` "
              "for the real names.");
    // Both named agents' ids begin with "a": the dearer first, with its cost.
    EXPECT_EQ(refusal(t, R"({"agent": "a"})"),
              "\u201ca\u201d matches 2 agents. Pick one (give the exact name or the `agentId`):\n"
              "  reviewer  [areviewer-0123456789abcdef] \u2014 $2.48\n"
              "  planner  [aplanner-fedcba9876543210] \u2014 $0.16");
    EXPECT_EQ(refusal(t, R"({"project": "shop"})"),
              "\u201cshop\u201d matches 2 projects:\n"
              "  ~/code/shop \u2014 \u2265 $3.07 [1 request with no known price "
              "(mystery-model-x) are not included]\n"
              "  ~/code/shop-admin \u2014 $0.05");
    EXPECT_EQ(refusal(t, R"({"project": "nowhere"})"),
              "No project matches \u201cnowhere\u201d. See `vant_top_projects` with `period: "
              "\"all\"`.");
    EXPECT_EQ(refusal(t, R"({"session_id": "sess-zz"})"),
              "No session starts with \u201csess-zz\u201d.");
    const std::string sessions = refusal(t, R"({"session_id": "SESS-"})");
    EXPECT_EQ(sessions.rfind(
                  "The prefix \u201cSESS-\u201d matches 7 sessions:\n  sess-alpha-0001 \u2014 ", 0),
              0u)
        << sessions;
    // The period is refused before the filters are looked at, the agent before the project.
    EXPECT_EQ(refusal(t, R"({"period": "week", "agent": "ghost"})"),
              "unknown period \u201cweek\u201d \u2014 accepted: today, yesterday, NNd (e.g. 7d), "
              "all, or from/to in yyyy-MM-dd");
    EXPECT_EQ(refusal(t, R"({"agent": "ghost", "project": "nowhere"})").rfind("No agent", 0), 0u);
}

TEST(CostTool, LabelsAreCutAndPaddedByUserPerceivedCharacters) {
    // A project label of 40 characters, each an "e" with a combining acute accent
    // (two code points, three bytes), and a short one with an emoji.
    ServerFixture f; // 2025-03-12 08:00 in New York
    std::string accents;
    for (int i = 0; i < 37; ++i)
        accents += "e\u0301";
    Line a;
    a.timestamp = "2025-03-12T11:00:00Z";
    a.cwd = "/w/" + accents; // "/w/" and 37 accented letters: 40 characters
    a.input = 2'000'000;
    Line b = a;
    b.messageId = "msg_2";
    b.requestId = "req_2";
    b.cwd = "/w/\U0001F98A";
    b.input = 1'000'000;
    f.transcript("p/s.jsonl", usageLine(a) + usageLine(b));
    const std::string text = f.answer("vant_cost", {{"by", "project"}});
    std::string cut = "/w/";
    for (int i = 0; i < 30; ++i)
        cut += "e\u0301";
    cut += "\u2026";
    EXPECT_TRUE(contains(text, "\n  " + cut + "  $6.00  \u00b7  1 request"));
    EXPECT_TRUE(
        contains(text, "\n  /w/\U0001F98A" + std::string(30, ' ') + "  $3.00  \u00b7  1 request"));
}

TEST(CostTool, RequestsWithoutTokensHaveNoDominantComponent) {
    // Two web searches and not one token: the request is counted and priced, but
    // no component of the tokens can dominate.
    ServerFixture f; // 2025-03-12 08:00 in New York
    f.transcript("p/s.jsonl",
                 R"({"type":"assistant","timestamp":"2025-03-12T11:00:00Z","requestId":"req_1",)"
                 R"("sessionId":"s1","cwd":"/w/repo","message":{"id":"msg_1",)"
                 R"("model":"claude-sonnet-4-5","usage":{"input_tokens":0,"output_tokens":0,)"
                 R"("server_tool_use":{"web_search_requests":2}}}})"
                 "\n");
    const std::string text = f.answer("vant_cost");
    EXPECT_TRUE(contains(text,
                         "  TOTAL  $0.02\n"
                         "  tokens 0 (in 0 \u00b7 out 0 \u00b7 cache-write 0 \u00b7 cache-read 0)\n"
                         "  dominant: unknown \u2014 no requests in the selected range\n"
                         "  range: 2025-03-12 07:00 \u2192 2025-03-12 07:00\n"));
}
