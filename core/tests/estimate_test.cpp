#include <gtest/gtest.h>

#include "vantery/model/Estimate.hpp"

using namespace vantery;

TEST(Money, UsesFourDecimalsBelowOneCent) {
    EXPECT_EQ(CostEstimate::money(0), "$0.00");
    EXPECT_EQ(CostEstimate::money(0.009), "$0.0090");
    EXPECT_EQ(CostEstimate::money(0.005), "$0.0050");
    EXPECT_EQ(CostEstimate::money(-0.004), "$-0.0040");
    EXPECT_EQ(CostEstimate::money(0.01), "$0.01");
}

TEST(Money, GroupsThousandsAndRoundsHalfToEven) {
    EXPECT_EQ(CostEstimate::money(2000000.0 + 1.0 / 3.0), "$2,000,000.33");
    EXPECT_EQ(CostEstimate::money(1234.5), "$1,234.50");
    EXPECT_EQ(CostEstimate::money(-1234.5), "$-1,234.50");
    EXPECT_EQ(CostEstimate::money(999.999), "$1,000.00");
    EXPECT_EQ(CostEstimate::money(0.125), "$0.12"); // exact tie goes to even
    EXPECT_EQ(CostEstimate::money(0.375), "$0.38");
    EXPECT_EQ(CostEstimate::money(123456789012.0), "$123,456,789,012.00");
}

TEST(Money, RoundsTheDecimalTheAmountReadsAsNotItsBinaryNeighbour) {
    // 5,000 input tokens at $3 per million: the double lies just below 0.015.
    EXPECT_EQ(CostEstimate::money(5000 * 3.0 / 1e6), "$0.02");
    EXPECT_EQ(CostEstimate::money(0.025), "$0.02");
    EXPECT_EQ(CostEstimate::money(2.675), "$2.68");
    EXPECT_EQ(CostEstimate::money(1.005), "$1.00");
    EXPECT_EQ(CostEstimate::money(-2.675), "$-2.68");
    EXPECT_EQ(CostEstimate::money(0.0150000001), "$0.02");
    EXPECT_EQ(CostEstimate::money(0.0149999), "$0.01");
    EXPECT_EQ(CostEstimate::money(9999.995), "$10,000.00");
    EXPECT_EQ(CostEstimate::money(99.999), "$100.00");
    EXPECT_EQ(CostEstimate::money(1e20), "$100,000,000,000,000,000,000.00");
}

TEST(CostEstimate, FormattedMarksLowerBound) {
    EXPECT_EQ((CostEstimate{12.5, 3, {"x"}}).formatted(), "\u2265 $12.50");
    EXPECT_EQ((CostEstimate{12.5, 0, {}}).formatted(), "$12.50");
}

TEST(CostEstimate, ALowerBoundRoundsDownAnExactAmountToNearest) {
    EXPECT_EQ((CostEstimate{5.237, 1, {"x"}}).formatted(), "\u2265 $5.23");
    EXPECT_EQ((CostEstimate{5.237, 0, {}}).formatted(), "$5.24");
    // A bound already on the cent stays there, though its double lies either side.
    EXPECT_EQ((CostEstimate{5.23, 1, {}}).formatted(), "\u2265 $5.23");
    EXPECT_EQ((CostEstimate{0.29, 1, {}}).formatted(), "\u2265 $0.29");
    EXPECT_EQ((CostEstimate{999.999, 1, {}}).formatted(), "\u2265 $999.99");
    // A sum left a hair below $21.00 by floating point is still $21.00.
    EXPECT_EQ((CostEstimate{20.999999999999996, 1, {}}).formatted(), "\u2265 $21.00");
    EXPECT_EQ((CostEstimate{0.00437, 1, {}}).formatted(), "\u2265 $0.0043");
    EXPECT_EQ(CostEstimate::moneyRounded(5.231, Rounding::up), "$5.24");
    EXPECT_EQ(CostEstimate::moneyRounded(-5.231, Rounding::down), "$-5.24");
    EXPECT_EQ(CostEstimate::moneyRounded(-0.00001, Rounding::up), "$0.0000");
}

TEST(CostEstimate, CaveatNamesModelsSorted) {
    EXPECT_FALSE(CostEstimate{}.caveat());
    EXPECT_EQ(*(CostEstimate{0, 1, {"x"}}).caveat(),
              "1 request with no known price (x) are not included");
    EXPECT_EQ(*(CostEstimate{0, 2, {"b", "a"}}).caveat(),
              "2 requests with no known price (a, b) are not included");
}

TEST(CostEstimate, MedianSumsUnpricedOfAllElements) {
    std::vector<CostEstimate> v{{10, 1, {"m"}}, {1, 0, {}}, {3, 2, {"n"}}, {2, 0, {}}};
    auto m = CostEstimate::median(v);
    EXPECT_DOUBLE_EQ(m.priced, 2.5);
    EXPECT_EQ(m.unpricedRequests, 3);
    EXPECT_EQ(m.unpricedModels, (std::set<std::string>{"m", "n"}));
    EXPECT_DOUBLE_EQ(CostEstimate::median({{7, 4, {}}}).priced, 7);
    EXPECT_EQ(CostEstimate::median({}), CostEstimate{});
}

TEST(CostEstimate, ScaledKeepsCounts) {
    auto s = CostEstimate{10, 4, {"m"}}.scaled(0.5);
    EXPECT_DOUBLE_EQ(s.priced, 5);
    EXPECT_EQ(s.unpricedRequests, 4);
}

TEST(UnknownReason, SentencesAndEquality) {
    EXPECT_EQ(UnknownReason::noPriceForModel("m").text(),
              "no known price for model: m \u2014 its cost is not included");
    EXPECT_EQ(UnknownReason::notMetered("web fetch").text(),
              "web fetch is not metered by the provider");
    EXPECT_NE(UnknownReason::notMetered("a"), UnknownReason::notMetered("b"));
    EXPECT_EQ(UnknownReason::noData(), UnknownReason::noData());
    EXPECT_NE(UnknownReason::noData(), UnknownReason::noRecentActivity());
    auto e = Estimate<int>::unknown(UnknownReason::noData());
    auto mapped = e.map([](int v) { return v * 2.0; });
    EXPECT_FALSE(mapped.isKnown());
    EXPECT_EQ(*mapped.reason(), UnknownReason::noData());
    EXPECT_EQ(*Estimate<int>::known(2).map([](int v) { return v + 1; }).value(), 3);
}
