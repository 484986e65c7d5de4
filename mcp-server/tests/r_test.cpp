#include <gtest/gtest.h>

#include "vantery/base/Text.hpp"
#include "vantery/mcp/R.hpp"

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

TEST(RNumbers, CountGroupsByThreeAndKeepsTheSign) {
    EXPECT_EQ(R::count(0), "0");
    EXPECT_EQ(R::count(999), "999");
    EXPECT_EQ(R::count(1000), "1,000");
    EXPECT_EQ(R::count(1234567), "1,234,567");
    EXPECT_EQ(R::count(-1000), "-1,000");
    EXPECT_EQ(R::count(-1234567), "-1,234,567");
    EXPECT_EQ(R::count(INT64_MIN), "-9,223,372,036,854,775,808");
}

TEST(RNumbers, NounPicksSingularOnlyForMagnitudeOne) {
    EXPECT_EQ(R::noun(1, "file", "files"), "1 file");
    EXPECT_EQ(R::noun(-1, "file", "files"), "-1 file");
    EXPECT_EQ(R::noun(0, "file", "files"), "0 files");
    EXPECT_EQ(R::noun(1200, "file", "files"), "1,200 files");
}

TEST(RNumbers, TokensChooseTheUnitByIntegerThresholds) {
    EXPECT_EQ(R::tokens(0), "0");
    EXPECT_EQ(R::tokens(999), "999");
    EXPECT_EQ(R::tokens(1000), "1.0k");
    EXPECT_EQ(R::tokens(999'999), "1000.0k");
    EXPECT_EQ(R::tokens(1'234'567), "1.23M");
    EXPECT_EQ(R::tokens(999'999'999), "1000.00M");
    EXPECT_EQ(R::tokens(2'500'000'000), "2.50G");
}

TEST(RCost, NoRequestsIsUnknownWhateverTheCostFieldsHold) {
    Bucket b = priced(0, 12.5);
    b.cost.unpricedRequests = 3;
    EXPECT_EQ(R::cost(b), "unknown (no requests in range)");
}

TEST(RCost, AllUnpricedNamesCountAndSortedModels) {
    Bucket b = priced(3, 0);
    b.cost.unpricedRequests = 3;
    b.cost.unpricedModels = {"zeta-1", "alpha-2"};
    EXPECT_EQ(R::cost(b), "unknown (3 requests, no known price: alpha-2, zeta-1)");
    b.cost.unpricedRequests = 1;
    b.cost.unpricedModels = {"alpha-2"};
    EXPECT_EQ(R::cost(b), "unknown (1 request, no known price: alpha-2)");
    // One priced request switches to the amount with its caveat.
    b.cost.priced = 0.5;
    EXPECT_EQ(R::cost(b),
              "\u2265 $0.50 [1 request with no known price (alpha-2) are not included]");
    EXPECT_EQ(R::cost(priced(2, 1234.5)), "$1,234.50");
}

TEST(REstimates, CostEstSuffixStandsBeforeTheCaveat) {
    CostEstimate c{3.5, 2, {"m"}};
    EXPECT_EQ(R::costEst(Estimate<CostEstimate>::known(c), "/h"),
              "\u2265 $3.50/h [2 requests with no known price (m) are not included]");
    EXPECT_EQ(R::costEst(Estimate<CostEstimate>::known(CostEstimate{2, 0, {}}), ""), "$2.00");
    EXPECT_EQ(R::costEst(Estimate<CostEstimate>::unknown(UnknownReason::noData()), "/h"),
              "unknown \u2014 " + UnknownReason::noData().text());
}

TEST(REstimates, PercentagesAndFractions) {
    EXPECT_EQ(R::signedPercent(Estimate<double>::known(12.345)), "+12.3%");
    EXPECT_EQ(R::signedPercent(Estimate<double>::known(0)), "+0.0%");
    EXPECT_EQ(R::signedPercent(Estimate<double>::known(-4)), "-4.0%");
    EXPECT_EQ(R::signedPercent(Estimate<double>::unknown(UnknownReason::noData())),
              "unknown \u2014 " + UnknownReason::noData().text());
    EXPECT_EQ(R::fractionEst(Estimate<double>::known(0.1234)), "12.3%");
    EXPECT_EQ(R::fractionEst(Estimate<double>::unknown(UnknownReason::noData())),
              "unknown \u2014 " + UnknownReason::noData().text());
}

TEST(RModels, CommonestFirstThenByName) {
    Bucket b;
    EXPECT_FALSE(R::models(b));
    b.modelCounts = {{"m-b", 2}, {"m-a", 2}, {"m-z", 5}, {"m-c", 1234}};
    EXPECT_EQ(*R::models(b), "m-c\u00d71,234 m-z\u00d75 m-a\u00d72 m-b\u00d72");
}

TEST(RFit, CountsUserPerceivedCharactersAndNeverCutsInsideOne) {
    EXPECT_EQ(R::fit("abc", 5), "abc  ");
    EXPECT_EQ(R::fit("abcdef", 3), "abc");
    EXPECT_EQ(R::fit("", 0), "");
    EXPECT_EQ(R::fit("abc", -2), "");
    // "é" as e + combining acute is one character of three bytes.
    std::string accented = "e\u0301te\u0301";
    EXPECT_EQ(R::fit(accented, 2), "e\u0301t");
    EXPECT_EQ(text::characterCount(R::fit(accented, 6)), 6u);
    EXPECT_EQ(R::fit(accented, 6), accented + "   ");
    // A family emoji (one character, many code points) is kept whole.
    std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    EXPECT_EQ(R::fit(family + "xyz", 1), family);
    // A label of exactly the width is unchanged; a longer one is cut.
    std::string label34(34, 'p');
    EXPECT_EQ(R::fit(label34, 34), label34);
    EXPECT_EQ(R::fit(label34 + "qqqqqq", 34), label34);
}

TEST(RLines, BucketLineAlignsTheCostColumn) {
    Bucket b = priced(1, 2);
    b.input = 1500;
    b.output = 500;
    EXPECT_EQ(R::bucketLine("proj", b, 8),
              "  proj      $2.00  \u00b7  1 request  \u00b7  2.0k tokens");
    b.modelCounts = {{"claude-x", 1}};
    EXPECT_EQ(R::bucketLine("a-very-long-label", b, 8),
              "  a-very-l  $2.00  \u00b7  1 request  \u00b7  2.0k tokens  \u00b7  claude-x\u00d71");
    std::string a = R::bucketLine("x", b, 34), c = R::bucketLine("\u00e9\u00e9\u00e9", b, 34);
    EXPECT_EQ(text::characterCount(a), text::characterCount(c));
}

TEST(RDates, SpanAndStampInAPinnedZone) {
    Bucket b;
    EXPECT_EQ(R::span(b, newYork()), "unknown");
    b.firstActivity = 1741608000; // 2025-03-10 12:00 UTC = 08:00 EDT
    EXPECT_EQ(R::span(b, newYork()), "unknown");
    b.lastActivity = 1741654800; // 2025-03-11 01:00 UTC = 2025-03-10 21:00 EDT
    EXPECT_EQ(R::span(b, newYork()), "2025-03-10 08:00 \u2192 2025-03-10 21:00");
    EXPECT_EQ(R::stamp(std::nullopt, newYork()), "unknown");
    EXPECT_EQ(R::day(1741654800, newYork()), "2025-03-10");
}

TEST(RNotes, WarningAndNoteSentences) {
    Bucket b = priced(4, 1);
    EXPECT_FALSE(R::unpricedNote(b));
    EXPECT_FALSE(R::assumedNote(b));
    b.cost.unpricedRequests = 2;
    b.cost.unpricedModels = {"y", "x"};
    EXPECT_EQ(*R::unpricedNote(b), "WARNING: 2 requests with no known price (x, y) are not "
                                   "included \u2014 the figures above are lower bounds.");
    b.cacheWriteAssumedRequests = 1;
    EXPECT_EQ(*R::assumedNote(b),
              "NOTE: for 1 request the cache_creation breakdown was missing or did not add up; "
              "5m was assumed (multiplier 1.25 instead of 2.00).");
}

TEST(RAgents, FullTextAndListLabels) {
    auto named = AgentIdentity::named("reviewer", "areviewer-0123456789abcdef");
    auto anon = AgentIdentity::anonymous("0f1e2d3c4b5a69788");
    EXPECT_EQ(R::agent(named), "reviewer  [areviewer-0123456789abcdef]");
    EXPECT_EQ(R::agent(anon), "anonymous agent  [0f1e2d3c4b5a69788]");
    EXPECT_EQ(R::agent(AgentIdentity()), "main session (no agentId)");
    EXPECT_EQ(R::agentLabel(named), "reviewer");
    EXPECT_EQ(R::agentLabel(anon), "anon:0f1e2d3c4");
    EXPECT_EQ(R::agentLabel(AgentIdentity::anonymous("abc")), "anon:abc");
    EXPECT_EQ(R::agentLabel(AgentIdentity()), "(main session)");
    EXPECT_EQ(R::sessionLabel("0123456789abcdef"), "0123456789ab");
    EXPECT_EQ(R::sessionLabel("short"), "short");
    // Twelve characters, not twelve bytes.
    EXPECT_EQ(R::sessionLabel(
                  "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"),
              "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9");
}

TEST(RRule, SixtyTwoBoxDrawingCharacters) {
    EXPECT_EQ(R::rule.size(), 62u * 3 + 1);
    EXPECT_EQ(text::characterCount(R::rule), 63u);
    EXPECT_EQ(R::rule.substr(0, 3), "\xE2\x94\x80");
    EXPECT_EQ(R::rule.back(), '\n');
}
