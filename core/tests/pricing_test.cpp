#include <gtest/gtest.h>

#include "vantery/base/Calendar.hpp"
#include "vantery/pricing/Pricing.hpp"
#include "vantery/report/Bucket.hpp"

using namespace vantery;

namespace {
const LocalDay someDay = LocalDay::fromYMD(2026, 3, 1);

Prices pricesOf(std::string_view model, LocalDay day = someDay) {
    auto e = Pricing::prices(model, day);
    EXPECT_TRUE(e.isKnown()) << model;
    return e.isKnown() ? e.knownValue() : Prices{};
}

UsageRecord record(std::string model) {
    UsageRecord r;
    r.model = std::move(model);
    return r;
}
} // namespace

TEST(Pricing, TableHasItsTwentyTwoModels) {
    EXPECT_EQ(Pricing::table().size(), 22u);
    EXPECT_EQ(Pricing::table().at("claude-sonnet-5").size(), 2u);
}

TEST(Pricing, ExactIdsThenLongestPrefix) {
    EXPECT_EQ(pricesOf("claude-opus-4"), (Prices{15, 75}));
    EXPECT_EQ(pricesOf("claude-opus-4-5"), (Prices{5, 25}));
    EXPECT_EQ(pricesOf("claude-opus-4-5-beta"), (Prices{5, 25}));
    EXPECT_EQ(pricesOf("claude-opus-4-9"), (Prices{15, 75}));
    EXPECT_EQ(pricesOf("claude-opus-4x"), (Prices{15, 75}));
    EXPECT_EQ(pricesOf("claude-3-5-haiku-latest"), (Prices{0.8, 4}));
    EXPECT_EQ(pricesOf("claude-3-haiku"), (Prices{0.25, 1.25}));
    EXPECT_EQ(pricesOf("claude-fable-5"), (Prices{10, 50}));
    for (std::string_view unknown : {"gpt-4o", "", "claude", "claude-opus"}) {
        auto e = Pricing::prices(unknown, someDay);
        ASSERT_FALSE(e.isKnown());
        EXPECT_EQ(e.unknownReason(), UnknownReason::noPriceForModel(std::string(unknown)));
    }
}

TEST(Pricing, ADotBetweenDigitsMatchesADash) {
    EXPECT_EQ(pricesOf("claude-opus-4.8"), (Prices{5, 25})); // not "claude-opus-4"
    EXPECT_EQ(pricesOf("claude-opus-4.6-1m"), (Prices{5, 25}));
    EXPECT_EQ(pricesOf("claude-sonnet-4.5"), (Prices{3, 15}));
    EXPECT_EQ(pricesOf("claude-3.5-sonnet"), (Prices{3, 15}));
    EXPECT_EQ(pricesOf("claude-3.5-haiku"), (Prices{0.8, 4}));
    // Only between two digits: elsewhere a "." stays a "." and matches no key's "-".
    for (std::string_view unknown : {"claude.opus-4-5", "claude-3.-haiku", "claude-.3-haiku"}) {
        auto e = Pricing::prices(unknown, someDay);
        ASSERT_FALSE(e.isKnown()) << unknown;
        EXPECT_EQ(e.unknownReason(), UnknownReason::noPriceForModel(std::string(unknown)));
    }
}

TEST(Pricing, TierIsChosenOnTheCallersLocalDay) {
    EXPECT_EQ(pricesOf("claude-sonnet-5", LocalDay::fromYMD(2026, 8, 31)), (Prices{2, 10}));
    EXPECT_EQ(pricesOf("claude-sonnet-5", LocalDay::fromYMD(2025, 1, 1)), (Prices{2, 10}));
    EXPECT_EQ(pricesOf("claude-sonnet-5", LocalDay::fromYMD(2026, 9, 1)), (Prices{3, 15}));
    EXPECT_EQ(pricesOf("claude-sonnet-5-20260901", LocalDay::fromYMD(2026, 9, 1)), (Prices{3, 15}));

    // 23:30 on 2026-08-31 in Los Angeles is already 2026-09-01 in UTC and in Tokyo;
    // the day the caller formed decides, whatever zone the process runs in.
    auto la = *Calendar::named("America/Los_Angeles");
    double lateEvening = la.instantOf(LocalDay::fromYMD(2026, 8, 31), 23, 30, 0);
    EXPECT_EQ(pricesOf("claude-sonnet-5", la.dayOf(lateEvening)), (Prices{2, 10}));
    auto tokyo = *Calendar::named("Asia/Tokyo");
    EXPECT_EQ(pricesOf("claude-sonnet-5", tokyo.dayOf(lateEvening)), (Prices{3, 15}));
}

TEST(Pricing, RequestCostByKind) {
    auto cost = [](auto set) {
        UsageRecord r = record("claude-sonnet-4-5");
        set(r);
        return *r.cost(someDay).value();
    };
    EXPECT_DOUBLE_EQ(cost([](UsageRecord& r) { r.input = 1'000'000; }), 3.0);
    EXPECT_DOUBLE_EQ(cost([](UsageRecord& r) { r.cacheRead = 1'000'000; }), 0.3);
    EXPECT_DOUBLE_EQ(cost([](UsageRecord& r) { r.cacheWrite5m = 1'000'000; }), 3.75);
    EXPECT_DOUBLE_EQ(cost([](UsageRecord& r) { r.cacheWrite1h = 1'000'000; }), 6.0);
    EXPECT_DOUBLE_EQ(cost([](UsageRecord& r) { r.output = 1'000'000; }), 15.0);
    EXPECT_DOUBLE_EQ(cost([](UsageRecord& r) { r.webSearch = 3; }), 0.03);
    EXPECT_DOUBLE_EQ(cost([](UsageRecord& r) { r.webFetch = 50; }), 0.0);
    EXPECT_DOUBLE_EQ(cost([](UsageRecord& r) {
                         r.cacheWrite5m = 1'000'000;
                         r.cacheWriteBreakdownAssumed = true;
                     }),
                     3.75);
    EXPECT_EQ(Pricing::webFetchCost(),
              Estimate<double>::unknown(UnknownReason::notMetered("web fetch")));

    UsageRecord searches = record("mystery-model");
    searches.webSearch = 4;
    auto unknown = searches.cost(someDay);
    ASSERT_FALSE(unknown.isKnown());
    EXPECT_EQ(unknown.unknownReason(), UnknownReason::noPriceForModel("mystery-model"));
}

TEST(Bucket, EmptyBucket) {
    Bucket b;
    EXPECT_EQ(b.requests, 0);
    EXPECT_EQ(b.cost.formatted(), "$0.00");
    EXPECT_TRUE(b.cost.isComplete());
    EXPECT_TRUE(b.modelCounts.empty());
    EXPECT_FALSE(b.firstActivity);
    EXPECT_FALSE(b.lastActivity);
    EXPECT_EQ(b.share(&Bucket::input), Estimate<double>::unknown(UnknownReason::noData()));
    EXPECT_EQ(b.dominantComponent(), Estimate<DominantComponent>::unknown(UnknownReason::noData()));
}

TEST(Bucket, WebSearchesAloneHaveCostButNoShares) {
    Bucket b;
    UsageRecord r = record("claude-haiku-4-5");
    r.webSearch = 2;
    b.add(r, someDay);
    b.add(r, someDay);
    EXPECT_EQ(b.requests, 2);
    EXPECT_EQ(b.webSearch, 4);
    EXPECT_EQ(b.totalTokens(), 0);
    EXPECT_DOUBLE_EQ(b.cost.priced, 0.04);
    EXPECT_FALSE(b.share(&Bucket::output).isKnown());
    EXPECT_FALSE(b.dominantComponent().isKnown());
}

TEST(Bucket, UnpricedRequestsAreCountedNotZeroed) {
    Bucket b;
    UsageRecord m = record("m");
    m.input = 1000;
    m.timestamp = 10 * 3600;
    UsageRecord priced = record("claude-opus-4-5");
    priced.output = 1'000'000;
    priced.timestamp = 9 * 3600;
    b.add(m, someDay);
    b.add(priced, someDay);
    m.timestamp = 11 * 3600;
    b.add(m, someDay);
    EXPECT_EQ(b.cost.unpricedRequests, 2);
    EXPECT_EQ(b.cost.unpricedModels, std::set<std::string>{"m"});
    EXPECT_DOUBLE_EQ(b.cost.priced, 25.0);
    EXPECT_EQ(b.cost.formatted(), "\u2265 $25.00");
    EXPECT_EQ(b.modelCounts,
              (std::map<std::string, std::int64_t, std::less<>>{{"m", 2}, {"claude-opus-4-5", 1}}));
    EXPECT_EQ(b.requests, 3);
    EXPECT_EQ(b.input, 2000);
    EXPECT_EQ(*b.firstActivity, 9 * 3600);
    EXPECT_EQ(*b.lastActivity, 11 * 3600);
    // A request at the same instant as the first leaves it alone.
    priced.timestamp = 9 * 3600;
    b.add(priced, someDay);
    EXPECT_EQ(*b.firstActivity, 9 * 3600);

    // Another unknown reason counts the request but names no model.
    Bucket c;
    c.add(m, Estimate<double>::unknown(UnknownReason::notMetered("web fetch")));
    EXPECT_EQ(c.cost.unpricedRequests, 1);
    EXPECT_TRUE(c.cost.unpricedModels.empty());
}

TEST(Bucket, SharesAndDominantComponentTies) {
    Bucket b;
    UsageRecord r = record("claude-opus-4-5");
    r.cacheRead = 500;
    r.cacheWrite5m = 300;
    r.cacheWrite1h = 200;
    r.output = 100;
    r.input = 100;
    r.cacheWriteBreakdownAssumed = true;
    b.add(r, someDay);
    EXPECT_EQ(b.cacheWrite(), 500);
    EXPECT_EQ(b.totalTokens(), 1200);
    EXPECT_EQ(b.cacheWriteAssumedRequests, 1);
    auto d = b.dominantComponent();
    ASSERT_TRUE(d.isKnown());
    EXPECT_EQ(d.knownValue().name, "cache read");
    EXPECT_DOUBLE_EQ(d.knownValue().percent, 500.0 / 1200.0 * 100);
    EXPECT_DOUBLE_EQ(*b.share(&Bucket::output).value(), 100.0 / 1200.0 * 100);

    Bucket o;
    r.cacheRead = 0;
    r.output = 600;
    o.add(r, someDay);
    EXPECT_EQ(o.dominantComponent().knownValue().name, "output");
    Bucket i;
    UsageRecord in = record("claude-opus-4-5");
    in.input = 5;
    i.add(in, someDay);
    EXPECT_EQ(i.dominantComponent().knownValue(), (DominantComponent{"input", 100.0}));
}

TEST(Bucket, SumsSaturate) {
    Bucket b;
    UsageRecord r = record("m");
    r.input = INT64_MAX;
    b.add(r, someDay);
    b.add(r, someDay);
    EXPECT_EQ(b.input, INT64_MAX);
    EXPECT_EQ(b.totalTokens(), INT64_MAX);
}
