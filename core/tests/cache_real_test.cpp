// The real transcripts kept beside the project, fed to the cache in two halves cut
// at arbitrary bytes (inside lines too): every refresh equals a full scan, the
// verification is clean, and a reloaded cache has nothing to read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "TempDir.hpp"
#include "UsageLines.hpp"
#include "vantery/cache/ScanCache.hpp"

using namespace vantery;
using namespace vantery::testing;
namespace fs = std::filesystem;

namespace {

void expectSameAsFullScan(const ScanCache::Refresh& r, const std::vector<SourceHome>& homes) {
    ScanDiagnostics want;
    RequestMap scan = fullScan(homes, &want);
    ASSERT_EQ(r.table->size(), scan.size());
    // Requests have no key of their own: match them by every field.
    std::multiset<std::string> got, expected;
    auto text = [](const UsageRecord& u) {
        std::ostringstream o;
        o.precision(17);
        o << u.timestamp << '|' << u.model << '|' << u.sessionId << '|' << u.rawCwd << '|'
          << u.agent.description() << '|' << u.sourceHome << '|' << u.input << '|' << u.output
          << '|' << u.cacheWrite5m << '|' << u.cacheWrite1h << '|' << u.cacheRead << '|'
          << u.webSearch << '|' << u.webFetch << '|' << u.cacheWriteBreakdownAssumed;
        return o.str();
    };
    for (const auto& u : r.table->records())
        got.insert(text(u));
    for (const auto& [k, u] : scan)
        expected.insert(text(u));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(r.diagnostics.bytesRead, want.bytesRead);
    EXPECT_EQ(r.diagnostics.usageLines, want.usageLines);
    EXPECT_EQ(r.diagnostics.totalRejected(), want.totalRejected());
    EXPECT_EQ(r.diagnostics.notUsageBearing, want.notUsageBearing);
    EXPECT_EQ(r.diagnostics.skippedZeroUsage, want.skippedZeroUsage);
    EXPECT_EQ(r.diagnostics.longestLineBytes, want.longestLineBytes);
}

} // namespace

TEST(CacheOnRealTranscripts, GrowingInTwoHalvesMatchesFullScans) {
    const fs::path source = fs::path(VANTERY_SHARED_DIR) / "testdata" / "real";
    if (!fs::is_directory(source)) GTEST_SKIP() << "no real transcripts at " << source;
    TempHome home;
    const auto homes = SourceHome::defaults(home.path());
    const fs::path projects = home.mkdir(".claude/projects");

    std::vector<std::pair<fs::path, std::string>> files;
    for (const auto& e : fs::recursive_directory_iterator(source))
        if (e.is_regular_file() && e.path().extension() == ".jsonl")
            files.emplace_back(projects / fs::relative(e.path(), source), fileContent(e.path()));
    ASSERT_FALSE(files.empty());

    std::size_t n = 0;
    for (const auto& [path, content] : files) {
        fs::create_directories(path.parent_path());
        // Cut at a point that moves from file to file, usually inside a line.
        std::size_t cut = content.size() * (3 + n++ % 5) / 10;
        std::ofstream(path, std::ios::binary) << content.substr(0, cut);
        setMtime(path, 1'700'000'000);
    }
    ScanCache cache(home / "cache.bin");
    auto first = cache.refresh(homes);
    expectSameAsFullScan(first, homes);

    for (const auto& [path, content] : files) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        setMtime(path, 1'700'000'100);
    }
    auto second = cache.refresh(homes);
    EXPECT_EQ(second.stats.filesGrown, static_cast<std::int64_t>(files.size()));
    expectSameAsFullScan(second, homes);
    EXPECT_TRUE(cache.verifyAgainstFullScan(homes).isClean());

    cache.save();
    ScanCache reloaded(home / "cache.bin");
    ASSERT_TRUE(reloaded.load());
    auto third = reloaded.refresh(homes);
    EXPECT_EQ(third.stats.filesUnchanged, static_cast<std::int64_t>(files.size()));
    expectSameAsFullScan(third, homes);
    auto verdict = reloaded.verifyAgainstFullScan(homes);
    EXPECT_TRUE(verdict.isClean()) << verdict.summary();
    EXPECT_EQ(verdict.cachedCost, verdict.freshCost);
}
