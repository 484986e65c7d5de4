#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempDir.hpp"
#include "UsageLines.hpp"
#include "vantery/cache/ScanCache.hpp"

using namespace vantery;
using namespace vantery::testing;

namespace {

struct Verify : ::testing::Test {
    TempHome home;
    std::vector<SourceHome> homes{SourceHome(".claude", home.path())};
    ScanCache cache{home / "cache.bin"};

    // Replaces the first occurrence of `from` in a file by `to` (same length), in place.
    void patch(const std::string& path, const std::string& from, const std::string& to) {
        ASSERT_EQ(from.size(), to.size());
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        std::string content((std::istreambuf_iterator<char>(f)), {});
        auto at = content.find(from);
        ASSERT_NE(at, std::string::npos);
        f.seekp(static_cast<std::streamoff>(at));
        f.write(to.data(), static_cast<std::streamsize>(to.size()));
    }
};

} // namespace

TEST_F(Verify, CleanRightAfterARefresh) {
    home.transcript("a.jsonl", usageLine(1, {1'000'000, 0}) + "\n" + usageLine(2) + "\n");
    home.transcript("b.jsonl", usageLine(2, {5, 5}) + "\n" + usageLine(3) + "\n");
    cache.refresh(homes);
    auto v = cache.verifyAgainstFullScan(homes);
    EXPECT_TRUE(v.isClean());
    EXPECT_EQ(v.cachedRequests, 3);
    EXPECT_EQ(v.freshRequests, 3);
    EXPECT_EQ(v.cachedCost, v.freshCost);
    EXPECT_GT(v.freshCost, 3.0); // a million sonnet input tokens at $3
    EXPECT_EQ(v.bytesNotCompared, 0u);
    EXPECT_EQ(v.arrivedDuringCheck, 0);
    EXPECT_EQ(v.summary(),
              "divergence 0 \u2014 the cache matches a full scan exactly (3 requests verified)");
    ASSERT_TRUE(cache.lastVerification());
    EXPECT_EQ(cache.lastVerification()->summary(), v.summary());
}

TEST_F(Verify, BytesBeyondTheCacheAreCountedNotCompared) {
    auto a = home.transcript("a.jsonl", usageLine(1) + "\n");
    cache.refresh(homes);
    std::ofstream(a, std::ios::app) << std::string(1'572'864 - 1, 'x') << "\n";
    auto v = cache.verifyAgainstFullScan(homes);
    EXPECT_TRUE(v.isClean());
    EXPECT_EQ(v.bytesNotCompared, 1'572'864u);
    EXPECT_EQ(
        v.summary(),
        "divergence 0 \u2014 the cache matches a full scan exactly (1 request verified); "
        "1.5 MB written after the cache were not compared (they are not in it, by definition)");

    auto b = home.transcript("new.jsonl", usageLine(9) + "\n");
    auto unknownSize = std::filesystem::file_size(b);
    auto w = cache.verifyAgainstFullScan(homes);
    EXPECT_EQ(w.bytesNotCompared, 1'572'864u + unknownSize);
    EXPECT_EQ(w.missingFromCache, 0); // the unknown file is not read
    EXPECT_EQ(w.freshRequests, 1);
}

TEST_F(Verify, EmptyCacheCountsEveryListedFile) {
    auto a = home.transcript("a.jsonl", usageLine(1) + "\n");
    auto v = cache.verifyAgainstFullScan(homes);
    EXPECT_TRUE(v.isClean());
    EXPECT_EQ(v.cachedRequests, 0);
    EXPECT_EQ(v.freshRequests, 0);
    EXPECT_EQ(v.bytesNotCompared, std::filesystem::file_size(a));
    EXPECT_TRUE(v.summary().starts_with(
        "divergence 0 \u2014 the cache matches a full scan exactly (0 requests verified); 0.0 MB"));
}

TEST_F(Verify, EachComparedCountMismatches) {
    for (auto field : {"input_tokens\":10", "output_tokens\":20", "cache_read_input_tokens\":0"}) {
        SCOPED_TRACE(field);
        TempHome h;
        std::vector<SourceHome> hs{SourceHome(".claude", h.path())};
        ScanCache c(h / "cache.bin");
        auto p = h.transcript("a.jsonl", usageLine(1) + "\n" + usageLine(2) + "\n");
        c.refresh(hs);
        std::string from = field, to = from;
        to.back() = '7';
        patch(p, from, to);
        auto v = c.verifyAgainstFullScan(hs);
        EXPECT_EQ(v.mismatchedRecords, 1);
        EXPECT_EQ(v.summary(), "DIVERGENCE: 1 with different figures");
    }
    // Cache writes: the same total moved from the 5-minute to the 1-hour share.
    auto p = home.transcript("a.jsonl", usageLine(3, {1, 1, 0, 5}) + "\n");
    cache.refresh(homes);
    patch(p, "ephemeral_5m_input_tokens\":5,\"ephemeral_1h_input_tokens\":0",
          "ephemeral_5m_input_tokens\":0,\"ephemeral_1h_input_tokens\":5");
    auto v = cache.verifyAgainstFullScan(homes);
    EXPECT_EQ(v.mismatchedRecords, 1);
}

TEST_F(Verify, WebSearchesAndTimestampsAreNotCompared) {
    auto p = home.transcript("a.jsonl", usageLine(1, {1, 1, 0, 0, 1}, 5) + "\n");
    cache.refresh(homes);
    patch(p, "web_search_requests\":1", "web_search_requests\":4");
    patch(p, "10:00:05Z", "10:00:09Z");
    auto v = cache.verifyAgainstFullScan(homes);
    EXPECT_TRUE(v.isClean());
    EXPECT_NE(v.cachedCost, v.freshCost); // the searches are priced
}

TEST_F(Verify, RewrittenIdsShowAsMissingAndExtra) {
    auto p =
        home.transcript("a.jsonl", usageLine(1) + "\n" + usageLine(2) + "\n" + usageLine(3) + "\n");
    cache.refresh(homes);
    patch(p, "\"msg_1\"", "\"msg_8\"");
    patch(p, "\"msg_2\"", "\"msg_9\"");
    patch(p, "input_tokens\":10", "input_tokens\":19");
    auto v = cache.verifyAgainstFullScan(homes);
    EXPECT_EQ(v.missingFromCache, 2);
    EXPECT_EQ(v.extraInCache, 2);
    EXPECT_EQ(v.mismatchedRecords, 0); // the patched input was on msg_8's line
    EXPECT_EQ(v.summary(), "DIVERGENCE: 2 missing from cache, 2 extra in cache");
}

TEST_F(Verify, HomesWithoutFilesMakeEveryCachedRequestExtra) {
    home.transcript("a.jsonl", usageLine(1) + "\n" + usageLine(2) + "\n");
    cache.refresh(homes);
    auto v = cache.verifyAgainstFullScan({SourceHome(".nowhere", home.path())});
    EXPECT_EQ(v.freshRequests, 0);
    EXPECT_EQ(v.extraInCache, 2);
    EXPECT_EQ(v.freshCost, 0.0);
}

TEST_F(Verify, UnknownModelsCostNothingOnBothSides) {
    home.transcript("a.jsonl", usageLine(2) + "\n"); // request 2 uses an unpriced model
    cache.refresh(homes);
    auto v = cache.verifyAgainstFullScan(homes);
    EXPECT_EQ(v.cachedCost, 0.0);
    EXPECT_EQ(v.freshCost, 0.0);
}

TEST(VerificationSummary, PartsInOrderAndSingular) {
    ScanCache::VerificationResult r;
    r.freshRequests = 1;
    EXPECT_EQ(r.summary(),
              "divergence 0 \u2014 the cache matches a full scan exactly (1 request verified)");
    r.missingFromCache = 2;
    r.mismatchedRecords = 1;
    r.bytesNotCompared = 1 << 20;
    EXPECT_FALSE(r.isClean());
    EXPECT_EQ(r.summary(), "DIVERGENCE: 2 missing from cache, 1 with different figures");
    r.extraInCache = 3;
    EXPECT_EQ(r.summary(),
              "DIVERGENCE: 2 missing from cache, 3 extra in cache, 1 with different figures");
}
