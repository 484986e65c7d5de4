#include <gtest/gtest.h>

#include "TempDir.hpp"
#include "UsageLines.hpp"
#include "vantery/cache/ScanCache.hpp"

using namespace vantery;
using namespace vantery::testing;

namespace {

std::string with(std::string line, const std::string& from, const std::string& to) {
    line.replace(line.find(from), from.size(), to);
    return line;
}

std::int64_t sumOfTokens(const std::vector<UsageRecord>& records) {
    std::int64_t sum = 0;
    for (const auto& r : records)
        sum += r.totalTokens();
    return sum;
}

} // namespace

// The cache file cannot hold a negative count; a negative count read as 0 at
// ingestion keeps a fresh scan, a reloaded cache and its verification in agreement.
TEST(NegativeCounts, FreshScanReloadedCacheAndVerificationAgree) {
    TempHome home;
    const auto homes = SourceHome::defaults(home.path());
    home.transcript("p/a.jsonl",
                    with(usageLine(1), "\"output_tokens\":20", "\"output_tokens\":-2.9") + "\n" +
                        usageLine(2, {0, -5}) + "\n" + usageLine(3) + "\n");

    ScanDiagnostics diag;
    const RequestMap fresh = fullScan(homes, &diag);
    ASSERT_EQ(fresh.size(), 2u);
    EXPECT_EQ(fresh.at("msg_1:req_1").output, 0);
    EXPECT_EQ(diag.skippedZeroUsage, 1); // counts all zero or negative: no usage
    std::vector<UsageRecord> freshRecords;
    for (const auto& [key, r] : fresh)
        freshRecords.push_back(r);

    const std::string file = home / "cache.bin";
    {
        ScanCache first(file);
        first.refresh(homes);
        first.save();
    }
    ScanCache reloaded(file);
    ASSERT_TRUE(reloaded.load());
    auto again = reloaded.refresh(homes);
    EXPECT_EQ(again.stats.filesUnchanged, 1);
    EXPECT_EQ(sumOfTokens(again.table->records()), sumOfTokens(freshRecords));
    EXPECT_EQ(again.diagnostics.skippedZeroUsage, 1);

    auto verdict = reloaded.verifyAgainstFullScan(homes);
    EXPECT_TRUE(verdict.isClean()) << verdict.summary();
    EXPECT_EQ(verdict.cachedCost, verdict.freshCost);
}
