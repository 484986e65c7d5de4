// The Sources & honesty tab's texts: homes, shares and tiles, rejections, cache grid
// and verdicts, from plain published values.
#include <gtest/gtest.h>

#include "model/SourcesTabModel.hpp"

namespace vantery::app {
namespace {

namespace M = SourcesTabModel;

struct Inputs {
    Calendar calendar = *Calendar::named("Europe/Berlin");
    std::vector<UsageStore::HomeInfo> homes;
    Report history;
    std::optional<ScanCache::RefreshStats> stats;
    std::optional<double> lastRefresh;
    std::optional<ScanCache::VerificationResult> verification;
    double now = 1'750'000'000;
    std::optional<std::string> loading;

    SourcesView build() const {
        return M::build({homes, history, stats, lastRefresh, verification, "/c/scan-cache.bin", now,
                         calendar, loading});
    }
};

TEST(SourcesTabModel, BeforeTheFirstPublishNothingIsToldAsFound) {
    Inputs in;
    in.homes.resize(1);
    in.homes[0].name = ".claude";
    in.homes[0].exists = true;
    in.loading = "reading the cache";
    const auto v = in.build();
    EXPECT_EQ(v.loading, "reading the cache");
    // No "every request had a known price", no "no line rejected", no home without files.
    EXPECT_TRUE(v.homes.empty());
    EXPECT_TRUE(v.priceLine.text.empty());
    EXPECT_TRUE(v.rejection.text.empty());
    EXPECT_TRUE(v.parsing.empty());
    EXPECT_EQ(v.verifyButton, "Verify now (full scan)"); // the cache card stays usable
}

TEST(SourcesTabModel, HomesTellMissingFromEmptyAndAlwaysUsePluralNouns) {
    Inputs in;
    EXPECT_TRUE(in.build().homes.empty());
    const double day = in.calendar.instantOf(LocalDay::fromYMD(2025, 6, 1), 9, 0, 0);
    in.homes = {
        {".claude", "/h/.claude/projects", true, 1, 1, CostEstimate{2.5, 0, {}}, day,
         day + 86400 * 3},
        {".claude-work", "/h/.claude-work/projects", false, 0, 0, {}, {}, {}},
        {".claude-yahoo", "/h/.claude-yahoo/projects", true, 0, 0, {}, {}, {}},
        {".claude-outlook", "/h/.claude-outlook/projects", true, 2, 0, {}, {}, {}},
    };
    const auto rows = in.build().homes;
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_TRUE(rows[0].hasFiles);
    EXPECT_EQ(rows[0].files, "1 files");
    EXPECT_EQ(rows[0].requests, "1 requests");
    EXPECT_EQ(rows[0].activitySpan, "\u00B7 2025-06-01 \u2192 2025-06-04");
    EXPECT_FALSE(rows[1].hasFiles);
    EXPECT_EQ(rows[1].absentText, "not present");
    EXPECT_EQ(rows[2].absentText, "empty \u2014 normal, not an error");
    EXPECT_TRUE(rows[2].files.empty());
    EXPECT_TRUE(rows[3].hasFiles); // files without any dated request: no span
    EXPECT_FALSE(rows[3].activitySpan);
}

TEST(SourcesTabModel, CompositionOfAnEmptyAndOfAnIncompleteHistory) {
    Inputs in;
    auto v = in.build();
    ASSERT_EQ(v.shares.size(), 4u);
    for (const auto& s : v.shares)
        EXPECT_EQ(s.share.text, "unknown");
    EXPECT_EQ(v.tiles[0].figure.text, "0");
    EXPECT_EQ(v.tiles[1].figure.text, "0");
    EXPECT_EQ(v.tiles[2].figure.text, "unknown");
    EXPECT_EQ(v.tiles[3].figure.text, "unknown");
    EXPECT_EQ(v.tiles[3].note, "the mean hides the real spread");
    EXPECT_EQ(v.priceLine.symbol, SourcesNotice::Symbol::check);

    in.history.total.cacheRead = 3000;
    in.history.total.cacheWrite5m = 500;
    in.history.total.cacheWrite1h = 500;
    in.history.total.input = 1000;
    in.history.total.requests = 1234;
    in.history.total.cost = {10, 1, {"mystery-model"}};
    in.history.byDay[LocalDay::fromYMD(2025, 6, 1)].cost = {10, 1, {"mystery-model"}};
    v = in.build();
    EXPECT_EQ(v.shares[0].tokens, "3,000");
    EXPECT_EQ(v.shares[0].share.text, "60.0%");
    EXPECT_EQ(v.shares[1].label, "cache write");
    EXPECT_EQ(v.shares[1].share.text, "20.0%");
    EXPECT_EQ(v.shares[2].share.text, "0.0%");
    EXPECT_EQ(v.tiles[0].figure.text, "1,234");
    EXPECT_EQ(v.tiles[1].figure.text, "1");
    EXPECT_EQ(v.tiles[2].figure.text, "\u2265 $10.00");
    EXPECT_EQ(v.priceLine.symbol, SourcesNotice::Symbol::warning);
    EXPECT_EQ(v.priceLine.text, "1 request with no known price (mystery-model) are not included");
}

TEST(SourcesTabModel, RejectedLinesAreGroupedInTheGridAndPlainInTheWarning) {
    Inputs in;
    auto& d = in.history.diagnostics;
    auto v = in.build();
    EXPECT_EQ(v.rejection.symbol, SourcesNotice::Symbol::check);
    EXPECT_FALSE(v.longestLine);

    d.rejectedInvalidJSON = 1000;
    d.rejectedNoMessage = 200;
    d.rejectedNoTimestamp = 30;
    d.rejectedNoIdentity = 4;
    d.notUsageBearing = 99; // shown, not a rejection
    d.longestLineBytes = 123456;
    d.longestLinePath = "/h/.claude/projects/p/x.jsonl";
    d.filesUnreadable = {"/a", "/b"};
    v = in.build();
    EXPECT_EQ(v.parsing[3], (std::pair<std::string, std::string>{"lines rejected", "1,234"}));
    EXPECT_EQ(v.parsing[4].second, "99");
    EXPECT_EQ(v.parsing[6].second, "123,456 bytes");
    EXPECT_EQ(v.parsing[7].second, "2");
    EXPECT_EQ(v.rejection.symbol, SourcesNotice::Symbol::warning);
    EXPECT_EQ(v.rejection.text,
              "1234 lines carrying usage data could not be used. They are counted here "
              "precisely so they do not pass unnoticed.");
    EXPECT_EQ(v.longestLine, "Longest line: /h/.claude/projects/p/x.jsonl");
}

TEST(SourcesTabModel, CacheGridAndVerdicts) {
    Inputs in;
    auto v = in.build();
    EXPECT_FALSE(v.cacheGrid);
    EXPECT_FALSE(v.verdict);
    EXPECT_EQ(v.cacheLine, "Cache: /c/scan-cache.bin");

    ScanCache::RefreshStats s;
    s.filesTotal = 12;
    s.filesUnchanged = 9;
    s.filesGrown = 1;
    s.filesNew = 2;
    s.filesRewound = 0;
    s.filesGone = 1234;
    s.bytesRead = 1'048'576;
    s.duration = 0.25;
    in.stats = s;
    v = in.build();
    ASSERT_TRUE(v.cacheGrid);
    const SourcesGrid expected = {
        {"last refresh", "unknown"},   {"duration", "250 ms"},
        {"files unchanged", "9 / 12"}, {"grown / new / re-read", "1 / 2 / 0"},
        {"bytes read", "1,048,576"},   {"gone", "1,234"}};
    EXPECT_EQ(*v.cacheGrid, expected);
    in.lastRefresh = in.now - 300;
    EXPECT_EQ(in.build().cacheGrid->at(0).second, "5 min ago");

    ScanCache::VerificationResult r;
    r.checkedAt = in.now - 42;
    r.freshRequests = 1;
    r.cachedCost = 1.5;
    r.freshCost = 1.5;
    r.duration = 1.2;
    in.verification = r;
    v = in.build();
    ASSERT_TRUE(v.verdict);
    EXPECT_TRUE(v.verdict->clean);
    EXPECT_EQ(v.verdict->summary, r.summary());
    EXPECT_EQ(v.verdict->detail,
              "full verification 42s ago \u00B7 took 1.2 s \u00B7 cache cost $1.50 vs scan $1.50");
    in.verification->missingFromCache = 1;
    EXPECT_FALSE(in.build().verdict->clean);
}

} // namespace
} // namespace vantery::app
