// vant_by_model over a fixed history with the clock pinned in New York.
#include <gtest/gtest.h>

#include "Contains.hpp"
#include "Golden.hpp"
#include "ServerFixture.hpp"
#include "ToolsHome.hpp"

using namespace vantery::mcp;
using namespace vantery::mcp::testing;
using vantery::testing::matchesGolden;

namespace {

std::string answer(ToolsHome& t, const std::string& arguments) {
    return t.answer("vant_by_model", arguments);
}

} // namespace

TEST(ByModelTool, GoldenAnswers) {
    ToolsHome t;
    EXPECT_TRUE(matchesGolden(answer(t, R"({"period": "all"})"), toolGolden("by-model-all.txt")));
    EXPECT_TRUE(matchesGolden(answer(t, "{}"), toolGolden("by-model-today.txt")));
    // One agent under each model; no overflow line on this tool.
    EXPECT_TRUE(matchesGolden(answer(t, R"({"period": "all", "agents_per_model": 1})"),
                              toolGolden("by-model-one-agent.txt")));
    // With an agent filter each model lists that agent only.
    EXPECT_TRUE(matchesGolden(answer(t, R"({"period": "all", "agent": "0f1e"})"),
                              toolGolden("by-model-agent.txt")));
    ToolsHome empty(true);
    EXPECT_TRUE(matchesGolden(answer(empty, "{}"), toolGolden("by-model-empty.txt")));
}

TEST(ByModelTool, NothingPricedMakesEveryShareUnknown) {
    ToolsHome t;
    const std::string text = answer(t, R"({"period": "all", "project": "notes"})");
    EXPECT_TRUE(contains(
        text, "  TOTAL unknown (1 request, no known price: mystery-model-x)\n\n"
              "mystery-model-x\n"
              "    cost   unknown (1 request, no known price: mystery-model-x)  "
              "(share of the total unknown \u2014 none of these requests has a known price)\n"
              "    volume 1 request \u00b7 5.0k tokens (in 4.0k \u00b7 out 1.0k \u00b7 cw 0 "
              "\u00b7 cr 0)\n"
              "    PRICE  unknown \u2014 this model is not in the price table, its cost "
              "is NOT included anywhere\n"
              "      \u00b7 (main session)               unknown (1 request, no known "
              "price: mystery-model-x)\n"));
}

TEST(ByModelTool, AgentsPerModelArgument) {
    ToolsHome t;
    const std::string three = answer(t, R"({"period": "all"})");
    const std::string none = answer(t, R"({"period": "all", "agents_per_model": 0})");
    EXPECT_EQ(none.find("      \u00b7 "), std::string::npos);
    EXPECT_EQ(none.find("agents: unknown"), std::string::npos);
    EXPECT_EQ(answer(t, R"({"period": "all", "agents_per_model": -1})"), none);
    EXPECT_EQ(answer(t, R"({"period": "all", "agents_per_model": "0"})"), three);
    EXPECT_EQ(answer(t, R"({"period": "all", "agents_per_model": 0.5})"), three);
    EXPECT_EQ(answer(t, R"({"period": "all", "agents_per_model": 3})"), three);
}

TEST(ByModelTool, SharesOfListedModelsAddUpAndLabelsAreCut) {
    // A named agent of 30 characters is cut to 28 under its model.
    ServerFixture f;
    const std::string name = "abcdefghijklmnopqrstuvwxyz0123";
    ASSERT_EQ(name.size(), 30u);
    Line a;
    a.timestamp = "2025-03-12T12:00:00Z";
    a.agentId = "a" + name + "-0123456789abcdef";
    a.model = "claude-opus-4-1";
    Line b = a;
    b.messageId = "msg_2";
    b.requestId = "req_2";
    b.agentId.clear();
    b.model = "claude-haiku-4-5";
    Line c = b;
    c.messageId = "msg_3";
    c.requestId = "req_3";
    c.model = "someone-elses-model";
    f.transcript("p/s.jsonl", usageLine(a) + usageLine(b) + usageLine(c));
    const std::string text = f.answer("vant_by_model");
    EXPECT_TRUE(contains(text, "      \u00b7 " + name.substr(0, 27) + "\u2026 $"));
    // opus: 1000 in at $15 + 100 out at $75 = $0.0225 (two decimals from one cent on);
    // haiku: $0.0015; the shares are of the priced $0.024, which leaves out the unpriced
    // request: each is at most that, and the unpriced model's own share is no figure.
    EXPECT_TRUE(contains(text, "claude-opus-4-1\n    cost   $0.02  (\u2264 93.8% of the total)\n"));
    EXPECT_TRUE(
        contains(text, "claude-haiku-4-5\n    cost   $0.0015  (\u2264 6.3% of the total)\n"));
    EXPECT_TRUE(contains(text, "someone-elses-model\n    cost   unknown (1 request, no known "
                               "price: someone-elses-model)  (share of the total unknown \u2014 "
                               "none of its requests has a known price)\n"));
}

TEST(ByModelTool, DottedVersionsArePricedAsTheirDashedTwinsAndShownAsWritten) {
    ServerFixture f;
    Line a;
    a.timestamp = "2025-03-12T12:00:00Z";
    a.model = "claude-opus-4.8";
    a.input = 1'000'000;
    a.output = 100'000;
    Line b = a;
    b.messageId = "msg_2";
    b.requestId = "req_2";
    b.model = "claude-3.5-sonnet";
    b.output = 0;
    f.transcript("p/s.jsonl", usageLine(a) + usageLine(b));
    const std::string text = f.answer("vant_by_model");
    // $5 in and $25 out per million, not "claude-opus-4"'s $15 and $75.
    EXPECT_TRUE(contains(text, "claude-opus-4.8\n    cost   $7.50  ("));
    EXPECT_TRUE(contains(text, "claude-3.5-sonnet\n    cost   $3.00  ("));
    EXPECT_EQ(text.find("no known price"), std::string::npos);
}

TEST(ByModelTool, RefusalsComeFromThePeriodFirst) {
    ToolsHome t;
    auto a = t.call("vant_by_model", R"({"from": "2025-13-01", "agent": "ghost"})");
    EXPECT_TRUE(a.isError);
    EXPECT_EQ(a.text, "invalid date \u201c2025-13-01\u201d \u2014 the format is yyyy-MM-dd");
    a = t.call("vant_by_model", R"({"agent": "ghost"})");
    EXPECT_TRUE(a.isError);
    EXPECT_EQ(a.text.rfind("No agent matches \u201cghost\u201d.", 0), 0u);
}
