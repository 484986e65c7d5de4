#include <gtest/gtest.h>

#include "vantery/base/Text.hpp"
#include "vantery/mcp/AnswerText.hpp"

using namespace vantery;
using namespace vantery::mcp;

namespace {

Bucket priced(std::int64_t requests, double dollars) {
    Bucket b;
    b.requests = requests;
    b.cost.priced = dollars;
    return b;
}

const Calendar& newYork() {
    static const Calendar c = *Calendar::named("America/New_York");
    return c;
}

} // namespace

TEST(AnswerTextNumbers, CountGroupsByThreeAndKeepsTheSign) {
    EXPECT_EQ(AnswerText::count(0), "0");
    EXPECT_EQ(AnswerText::count(999), "999");
    EXPECT_EQ(AnswerText::count(1000), "1,000");
    EXPECT_EQ(AnswerText::count(1234567), "1,234,567");
    EXPECT_EQ(AnswerText::count(-1000), "-1,000");
    EXPECT_EQ(AnswerText::count(-1234567), "-1,234,567");
    EXPECT_EQ(AnswerText::count(INT64_MIN), "-9,223,372,036,854,775,808");
}

TEST(AnswerTextNumbers, NounPicksSingularOnlyForMagnitudeOne) {
    EXPECT_EQ(AnswerText::noun(1, "file", "files"), "1 file");
    EXPECT_EQ(AnswerText::noun(-1, "file", "files"), "-1 file");
    EXPECT_EQ(AnswerText::noun(0, "file", "files"), "0 files");
    EXPECT_EQ(AnswerText::noun(1200, "file", "files"), "1,200 files");
}

TEST(AnswerTextNumbers, TokensChooseTheUnitByIntegerThresholds) {
    EXPECT_EQ(AnswerText::tokens(0), "0");
    EXPECT_EQ(AnswerText::tokens(999), "999");
    EXPECT_EQ(AnswerText::tokens(1000), "1.0k");
    EXPECT_EQ(AnswerText::tokens(999'999), "1000.0k");
    EXPECT_EQ(AnswerText::tokens(1'234'567), "1.23M");
    EXPECT_EQ(AnswerText::tokens(999'999'999), "1000.00M");
    EXPECT_EQ(AnswerText::tokens(2'500'000'000), "2.50G");
}

TEST(AnswerTextCost, NoRequestsIsUnknownWhateverTheCostFieldsHold) {
    Bucket b = priced(0, 12.5);
    b.cost.unpricedRequests = 3;
    EXPECT_EQ(AnswerText::cost(b), "unknown (no requests in range)");
}

TEST(AnswerTextCost, AllUnpricedNamesCountAndSortedModels) {
    Bucket b = priced(3, 0);
    b.cost.unpricedRequests = 3;
    b.cost.unpricedModels = {"zeta-1", "alpha-2"};
    EXPECT_EQ(AnswerText::cost(b), "unknown (3 requests, no known price: alpha-2, zeta-1)");
    b.cost.unpricedRequests = 1;
    b.cost.unpricedModels = {"alpha-2"};
    EXPECT_EQ(AnswerText::cost(b), "unknown (1 request, no known price: alpha-2)");
    // One priced request switches to the amount with its caveat.
    b.cost.priced = 0.5;
    EXPECT_EQ(AnswerText::cost(b),
              "\u2265 $0.50 [1 request with no known price (alpha-2) are not included]");
    EXPECT_EQ(AnswerText::cost(priced(2, 1234.5)), "$1,234.50");
}

TEST(AnswerTextEstimates, CostEstSuffixStandsBeforeTheCaveat) {
    CostEstimate c{3.5, 2, {"m"}};
    EXPECT_EQ(AnswerText::costEst(Estimate<CostEstimate>::known(c), "/h"),
              "\u2265 $3.50/h [2 requests with no known price (m) are not included]");
    EXPECT_EQ(AnswerText::costEst(Estimate<CostEstimate>::known(CostEstimate{2, 0, {}}), ""),
              "$2.00");
    EXPECT_EQ(AnswerText::costEst(Estimate<CostEstimate>::unknown(UnknownReason::noData()), "/h"),
              "unknown \u2014 " + UnknownReason::noData().text());
}

TEST(AnswerTextEstimates, PercentagesAndFractions) {
    EXPECT_EQ(AnswerText::signedPercent(Estimate<double>::known(12.345)), "+12.3%");
    EXPECT_EQ(AnswerText::signedPercent(Estimate<double>::known(0)), "+0.0%");
    EXPECT_EQ(AnswerText::signedPercent(Estimate<double>::known(-4)), "-4.0%");
    EXPECT_EQ(AnswerText::signedPercent(Estimate<double>::unknown(UnknownReason::noData())),
              "unknown \u2014 " + UnknownReason::noData().text());
    EXPECT_EQ(AnswerText::fractionEst(Estimate<double>::known(0.1234)), "12.3%");
    EXPECT_EQ(AnswerText::fractionEst(Estimate<double>::unknown(UnknownReason::noData())),
              "unknown \u2014 " + UnknownReason::noData().text());
}

TEST(AnswerTextModels, CommonestFirstThenByName) {
    Bucket b;
    EXPECT_FALSE(AnswerText::models(b));
    b.modelCounts = {{"m-b", 2}, {"m-a", 2}, {"m-z", 5}, {"m-c", 1234}};
    EXPECT_EQ(*AnswerText::models(b), "m-c\u00d71,234 m-z\u00d75 m-a\u00d72 m-b\u00d72");
}

TEST(AnswerTextFit, CountsUserPerceivedCharactersAndNeverCutsInsideOne) {
    EXPECT_EQ(AnswerText::fit("abc", 5), "abc  ");
    EXPECT_EQ(AnswerText::fit("abcdef", 3), "ab\u2026");
    EXPECT_EQ(AnswerText::fit("abc", 3), "abc");
    EXPECT_EQ(AnswerText::fit("\u00e9t\u00e9s", 3), "\u00e9t\u2026");
    EXPECT_EQ(AnswerText::fit("", 0), "");
    EXPECT_EQ(AnswerText::fit("abc", -2), "");
    // "é" as e + combining acute is one character of three bytes.
    std::string accented = "e\u0301te\u0301";
    EXPECT_EQ(AnswerText::fit(accented, 2), "e\u0301\u2026");
    EXPECT_EQ(text::characterCount(AnswerText::fit(accented, 6)), 6u);
    EXPECT_EQ(AnswerText::fit(accented, 6), accented + "   ");
    // A family emoji (one character, many code points) is kept whole.
    std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    EXPECT_EQ(AnswerText::fit(family + "xyz", 2), family + "\u2026");
    // A label of exactly the width is unchanged; a longer one is cut, and says so.
    std::string label34(34, 'p');
    EXPECT_EQ(AnswerText::fit(label34, 34), label34);
    EXPECT_EQ(AnswerText::fit(label34 + "qqqqqq", 34), std::string(33, 'p') + "\u2026");
}

TEST(AnswerTextLines, BucketLineAlignsTheCostColumn) {
    Bucket b = priced(1, 2);
    b.input = 1500;
    b.output = 500;
    EXPECT_EQ(AnswerText::bucketLine("proj", b, 8),
              "  proj      $2.00  \u00b7  1 request  \u00b7  2.0k tokens");
    b.modelCounts = {{"claude-x", 1}};
    EXPECT_EQ(
        AnswerText::bucketLine("a-very-long-label", b, 8),
        "  a-very-\u2026  $2.00  \u00b7  1 request  \u00b7  2.0k tokens  \u00b7  claude-x\u00d71");
    std::string a = AnswerText::bucketLine("x", b, 34),
                c = AnswerText::bucketLine("\u00e9\u00e9\u00e9", b, 34);
    EXPECT_EQ(text::characterCount(a), text::characterCount(c));
}

TEST(AnswerTextDates, SpanAndStampInAPinnedZone) {
    Bucket b;
    EXPECT_EQ(AnswerText::span(b, newYork()), "unknown");
    b.firstActivity = 1741608000; // 2025-03-10 12:00 UTC = 08:00 EDT
    EXPECT_EQ(AnswerText::span(b, newYork()), "unknown");
    b.lastActivity = 1741654800; // 2025-03-11 01:00 UTC = 2025-03-10 21:00 EDT
    EXPECT_EQ(AnswerText::span(b, newYork()), "2025-03-10 08:00 \u2192 2025-03-10 21:00");
    EXPECT_EQ(AnswerText::stamp(std::nullopt, newYork()), "unknown");
    EXPECT_EQ(AnswerText::day(1741654800, newYork()), "2025-03-10");
}

TEST(AnswerTextNotes, WarningAndNoteSentences) {
    Bucket b = priced(4, 1);
    EXPECT_FALSE(AnswerText::unpricedNote(b));
    EXPECT_FALSE(AnswerText::assumedNote(b));
    b.cost.unpricedRequests = 2;
    b.cost.unpricedModels = {"y", "x"};
    EXPECT_EQ(*AnswerText::unpricedNote(b),
              "WARNING: 2 requests with no known price (x, y) are not "
              "included \u2014 the figures above are lower bounds.");
    b.cacheWriteAssumedRequests = 1;
    EXPECT_EQ(*AnswerText::assumedNote(b),
              "NOTE: for 1 request the cache_creation breakdown was missing or did not add up; "
              "5m was assumed (multiplier 1.25 instead of 2.00).");
}

TEST(AnswerTextAgents, FullTextAndListLabels) {
    auto named = AgentIdentity::named("reviewer", "areviewer-0123456789abcdef");
    auto anon = AgentIdentity::anonymous("0f1e2d3c4b5a69788");
    EXPECT_EQ(AnswerText::agent(named), "reviewer  [areviewer-0123456789abcdef]");
    EXPECT_EQ(AnswerText::agent(anon), "anonymous agent  [0f1e2d3c4b5a69788]");
    EXPECT_EQ(AnswerText::agent(AgentIdentity()), "main session (no agentId)");
    EXPECT_EQ(AnswerText::agentLabel(named), "reviewer");
    EXPECT_EQ(AnswerText::agentLabel(anon), "anon:0f1e2d3c4");
    EXPECT_EQ(AnswerText::agentLabel(AgentIdentity::anonymous("abc")), "anon:abc");
    EXPECT_EQ(AnswerText::agentLabel(AgentIdentity()), "(main session)");
    EXPECT_EQ(AnswerText::sessionLabel("0123456789abcdef"), "0123456789ab");
    EXPECT_EQ(AnswerText::sessionLabel("short"), "short");
    // Twelve characters, not twelve bytes.
    EXPECT_EQ(AnswerText::sessionLabel(
                  "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"),
              "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9");
}

TEST(AnswerTextRule, SixtyTwoBoxDrawingCharacters) {
    EXPECT_EQ(AnswerText::rule.size(), 62u * 3 + 1);
    EXPECT_EQ(text::characterCount(AnswerText::rule), 63u);
    EXPECT_EQ(AnswerText::rule.substr(0, 3), "\xE2\x94\x80");
    EXPECT_EQ(AnswerText::rule.back(), '\n');
}
