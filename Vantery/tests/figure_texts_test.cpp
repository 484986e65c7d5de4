#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

#include "model/BucketTableModel.hpp"
#include "model/FigureTexts.hpp"

using namespace vantery;
using namespace vantery::app;

namespace {

Bucket tokens(std::int64_t cacheRead, std::int64_t cacheWrite5m, std::int64_t cacheWrite1h,
              std::int64_t output, std::int64_t input) {
    Bucket b;
    b.cacheRead = cacheRead;
    b.cacheWrite5m = cacheWrite5m;
    b.cacheWrite1h = cacheWrite1h;
    b.output = output;
    b.input = input;
    return b;
}

CostEstimate lowerBound() {
    CostEstimate c;
    c.priced = 1234.5;
    c.unpricedRequests = 2;
    c.unpricedModels = {"mystery-2", "mystery-1"};
    return c;
}

} // namespace

TEST(FigureTexts, UnknownEstimateIsNeverANumber) {
    // A format that would print zero must never be reached for an unknown figure.
    const auto zero = [](double) { return std::string("$0.00"); };
    for (const auto& reason : {UnknownReason::noData(), UnknownReason::noRecentActivity(),
                               UnknownReason::noPriceForModel("m-x")}) {
        const FigureText t = FigureTexts::estimate(Estimate<double>::unknown(reason), zero);
        EXPECT_EQ(t.text, "unknown");
        EXPECT_TRUE(t.italic);
        EXPECT_EQ(t.tone, Tone::unknown);
        EXPECT_EQ(t.tooltip, reason.text());
    }
    const FigureText known = FigureTexts::estimate(Estimate<double>::known(0), zero);
    EXPECT_EQ(known, (FigureText{"$0.00", Tone::primary, false, {}}));
}

TEST(FigureTexts, LowerBoundCostIsMarkedAndExplained) {
    CostEstimate complete;
    complete.priced = 0.004;
    EXPECT_EQ(FigureTexts::cost(complete), (CostFigure{"$0.0040", Tone::primary, std::nullopt}));

    const CostFigure partial = FigureTexts::cost(lowerBound());
    EXPECT_EQ(partial.text, "\u2265 $1,234.50");
    EXPECT_EQ(partial.tone, Tone::accent);
    EXPECT_EQ(partial.caveat,
              "2 requests with no known price (mystery-1, mystery-2) are not included");

    // A bound rounds down to the cent; an exact amount to the nearest.
    EXPECT_EQ(FigureTexts::cost(CostEstimate{5.237, 1, {"x"}}).text, "\u2265 $5.23");
    EXPECT_EQ(FigureTexts::cost(CostEstimate{5.237, 0, {}}).text, "$5.24");

    // Unpriced requests with no model named still make a lower bound.
    CostEstimate anonymous;
    anonymous.unpricedRequests = 1;
    EXPECT_EQ(FigureTexts::cost(anonymous).text, "\u2265 $0.00");
    EXPECT_EQ(FigureTexts::cost(anonymous).caveat,
              "1 request with no known price () are not included");

    // A caveat names each model as the app shows names: short, clean, isolated.
    CostEstimate odd;
    odd.unpricedRequests = 1;
    odd.unpricedModels = {std::string(10'000, 'z'), std::string("x\0\u202Ey", 6)};
    EXPECT_EQ(FigureTexts::caveat(odd), "1 request with no known price (xy, " +
                                            std::string(29, 'z') + "\u2026" + std::string(30, 'z') +
                                            ") are not included");
    EXPECT_EQ(FigureTexts::cost(odd).caveat, FigureTexts::caveat(odd));
}

TEST(FigureTexts, EmptyBucketHasNoSegmentsAndAnUnknownDominant) {
    Bucket empty;
    empty.webSearch = 5; // web calls are not tokens
    empty.requests = 3;
    EXPECT_TRUE(FigureTexts::composition(empty).empty());
    EXPECT_TRUE(FigureTexts::barLayout(empty, 90).empty());
    EXPECT_EQ(FigureTexts::dominant(empty),
              (FigureText{"unknown", Tone::unknown, true, UnknownReason::noData().text()}));
}

TEST(FigureTexts, SegmentsComeInDisplayOrderWithFractions) {
    const auto s = FigureTexts::composition(tokens(50, 10, 15, 20, 5));
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0], (CompositionSegment{Component::cacheRead, "cache read", 50, 0.5}));
    EXPECT_EQ(s[1], (CompositionSegment{Component::cacheWrite, "cache write", 25, 0.25}));
    EXPECT_EQ(s[2], (CompositionSegment{Component::output, "output", 20, 0.2}));
    EXPECT_EQ(s[3], (CompositionSegment{Component::input, "input", 5, 0.05}));
}

TEST(FigureTexts, BarLayoutSkipsEmptyPartsAndKeepsSliversVisible) {
    const auto all = FigureTexts::barLayout(tokens(1000, 0, 0, 0, 0), 90);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].component, Component::cacheRead);
    EXPECT_DOUBLE_EQ(all[0].x, 0);
    EXPECT_DOUBLE_EQ(all[0].width, 90);

    const auto sliver = FigureTexts::barLayout(tokens(5'000'000, 0, 0, 0, 1), 90);
    ASSERT_EQ(sliver.size(), 2u);
    EXPECT_EQ(sliver[1].component, Component::input);
    EXPECT_DOUBLE_EQ(sliver[1].width, 1);
    EXPECT_DOUBLE_EQ(sliver[1].x, sliver[0].width + 1); // one point between parts
}

TEST(FigureTexts, DominantComponentTiesGoToTheEarlier) {
    EXPECT_EQ(FigureTexts::dominant(tokens(934, 0, 0, 66, 0)).text,
              "dominant: cache read \u2014 93.4% of tokens");
    EXPECT_EQ(FigureTexts::dominant(tokens(0, 0, 0, 10, 0)).tone, Tone::secondary);
    // Equal largest: cache read before output; cache write (5m + 1h) before input.
    EXPECT_EQ(FigureTexts::dominant(tokens(40, 0, 0, 40, 20)).text,
              "dominant: cache read \u2014 40.0% of tokens");
    EXPECT_EQ(FigureTexts::dominant(tokens(0, 20, 30, 0, 50)).text,
              "dominant: cache write \u2014 50.0% of tokens");
    EXPECT_EQ(FigureTexts::dominant(tokens(1, 1, 1, 1, 1)).text,
              "dominant: cache write \u2014 40.0% of tokens");
}

TEST(FigureTexts, DisclaimerAndTileTitles) {
    EXPECT_EQ(FigureTexts::disclaimer(), "Estimate from usage \u00d7 list API prices. Not a bill.");
    EXPECT_EQ(FigureTexts::tileTitle("requests"), "REQUESTS");
    EXPECT_EQ(FigureTexts::tileTitle("median, last 7 full days"), "MEDIAN, LAST 7 FULL DAYS");
    EXPECT_EQ(FigureTexts::tileTitle("\u00e9t\u00e9"), "\u00c9T\u00c9");
}

TEST(BucketTableModel, ServesRowTextsAndPassesTheModelTester) {
    BucketTableModel model("project");
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    Bucket priced = tokens(1'500, 0, 0, 0, 0);
    priced.requests = 1'234;
    priced.cost.priced = 2.5;
    Bucket partial = tokens(0, 0, 0, 7, 0);
    partial.cost = lowerBound();
    model.setRows(
        {{"~/code/a", priced, std::nullopt}, {"<b>x</b>", partial, "some requests have no cwd"}});

    ASSERT_EQ(model.rowCount(), 2);
    ASSERT_EQ(model.columnCount(), 5);
    const auto at = [&](int r, int c, int role = Qt::DisplayRole) {
        return model.data(model.index(r, c), role);
    };
    EXPECT_EQ(at(0, BucketTableModel::requestsColumn).toString(), "1,234");
    EXPECT_EQ(at(0, BucketTableModel::tokensColumn).toString(), "1.5k");
    EXPECT_EQ(at(0, BucketTableModel::costColumn).toString(), "$2.50");
    EXPECT_FALSE(at(0, BucketTableModel::costColumn, BucketTableModel::CaveatRole).isValid());
    EXPECT_FALSE(at(0, BucketTableModel::labelColumn, BucketTableModel::AccessoryRole).isValid());

    EXPECT_EQ(at(1, BucketTableModel::labelColumn).toString(), "<b>x</b>");
    EXPECT_EQ(at(1, BucketTableModel::labelColumn, BucketTableModel::AccessoryRole).toString(),
              "some requests have no cwd");
    EXPECT_EQ(at(1, BucketTableModel::costColumn, BucketTableModel::ToneRole).toInt(),
              int(Tone::accent));
    EXPECT_EQ(at(1, BucketTableModel::costColumn, Qt::ToolTipRole).toString().toStdString(),
              *lowerBound().caveat());
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "project");
    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), "cost");

    model.setRows({});
    EXPECT_EQ(model.rowCount(), 0);
}
