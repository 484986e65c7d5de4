#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "RecordBuilder.hpp"
#include "vantery/report/FileContributions.hpp"

using namespace vantery;
using vantery::fixtures::at;
using vantery::fixtures::makeRecord;

namespace {

// Every file's ids refer to one dictionary, as the cache's do.
const auto dictionary = std::make_shared<RequestDictionary>();

ScanCache::FileProvenance file(std::string path,
                               std::vector<std::pair<std::string, UsageRecord>> rs) {
    FileBlock::Builder block;
    for (const auto& [key, r] : rs)
        block.add(key, dictionary->rowOf(r));
    return {std::move(path), static_cast<std::int64_t>(rs.size()), block.finish(), dictionary};
}

// What Bucket::add gives for the file's counted requests, added in block order.
Bucket reference(const ScanCache::FileProvenance& f, const Calendar& cal,
                 std::optional<LocalDay> from, std::optional<LocalDay> to) {
    Bucket b;
    for (const RequestRow& row : f.block->rows()) {
        const UsageRecord r = f.dictionary->record(row);
        const LocalDay day = cal.dayOf(r.timestamp);
        if ((from && day < *from) || (to && day > *to) || r.sessionId == "skip") continue;
        b.add(r, day);
    }
    return b;
}

} // namespace

TEST(FileContributions, SameBucketsAsBucketAddAcrossATierChangeDay) {
    // claude-sonnet-5 changes price after local 31 August 2026; one model has no price.
    const Calendar cal = fixtures::zone("America/New_York");
    auto rec = [&](int day, int hour, const char* model, std::int64_t input) {
        auto r = makeRecord(at(cal, 2026, 8, day, hour, 30), model, input, input / 7);
        r.cacheRead = input * 3;
        r.cacheWrite1h = input / 5;
        r.webSearch = input % 2;
        return r;
    };
    auto skipped = rec(31, 12, "claude-sonnet-5", 999);
    skipped.sessionId = "skip";
    const std::vector<ScanCache::FileProvenance> files = {
        file("/h/a.jsonl", {{"m1:r1", rec(31, 23, "claude-sonnet-5", 1'000'003)},
                            {"m2:r2", rec(30, 1, "claude-sonnet-5", 7'777)},
                            {"m9:r9", rec(31, 2, "gpt-x", 5)},
                            {"m0:r0", skipped}}),
        file("/h/b.jsonl", {{"m1:r1", rec(31, 23, "claude-sonnet-5", 1'000'003)}}),
        file("/h/c.jsonl", {{"m3:r3", rec(20, 9, "claude-sonnet-5", 50)}}), // before the period
        // 1 September in New York: the later tier.
        file("/h/d.jsonl",
             {{"m4:r4", makeRecord(at(cal, 2026, 9, 1, 0, 10), "claude-sonnet-5", 2'000'000, 0)}}),
    };
    const auto from = LocalDay::fromYMD(2026, 8, 30);
    const auto got = FileContributions::of(files, cal, from, std::nullopt, [](const RequestRow& r) {
        return dictionary->session(r.session) != "skip";
    });

    // d (3 × 2 = 6 dollars) before a (the tier-one copy of m1 and the rest), then b, whose
    // only request is a's m1: equal amounts keep the order of the list.
    ASSERT_EQ(got.files.size(), 3u);
    EXPECT_EQ(got.files[0].file, 3u);
    EXPECT_EQ(got.files[1].file, 0u);
    EXPECT_EQ(got.files[2].file, 1u);
    for (const auto& c : got.files) {
        const Bucket want = reference(files[c.file], cal, from, std::nullopt);
        SCOPED_TRACE(files[c.file].path);
        EXPECT_EQ(c.bucket.requests, want.requests);
        EXPECT_EQ(c.bucket.input, want.input);
        EXPECT_EQ(c.bucket.output, want.output);
        EXPECT_EQ(c.bucket.cacheRead, want.cacheRead);
        EXPECT_EQ(c.bucket.cacheWrite1h, want.cacheWrite1h);
        EXPECT_EQ(c.bucket.webSearch, want.webSearch);
        EXPECT_EQ(c.bucket.cost, want.cost); // bit for bit: same prices, same order
        EXPECT_EQ(c.bucket.modelCounts, want.modelCounts);
        EXPECT_EQ(c.bucket.firstActivity, want.firstActivity);
        EXPECT_EQ(c.bucket.lastActivity, want.lastActivity);
    }
    EXPECT_EQ(got.files[1].bucket.cost.unpricedRequests, 1);
    EXPECT_DOUBLE_EQ(got.files[0].bucket.cost.priced, 6.0);
    EXPECT_EQ(got.distinctRequests, 4); // m1, m2, m9, m4
    EXPECT_EQ(got.duplicatedRequests, 1);
}

TEST(FileContributions, FilesOfSeveralDictionariesKeepTheirModels) {
    // Id 0 names a different model in each dictionary; one model is in both.
    const Calendar cal = fixtures::zone("UTC");
    const double t = at(cal, 2026, 5, 4, 12);
    auto own = [&](std::vector<std::pair<std::string, UsageRecord>> rs) {
        auto dict = std::make_shared<RequestDictionary>();
        FileBlock::Builder block;
        for (const auto& [key, r] : rs)
            block.add(key, dict->rowOf(r));
        return ScanCache::FileProvenance{"f", 1, block.finish(), dict};
    };
    const std::vector<ScanCache::FileProvenance> files = {
        own({{"m1:r", makeRecord(t, "claude-haiku-4-5", 1'000'000, 0)},
             {"m2:r", makeRecord(t, "gpt-x", 5, 0)}}),
        own({{"m3:r", makeRecord(t, "gpt-x", 7, 0)},
             {"m4:r", makeRecord(t, "claude-haiku-4-5", 3'000'000, 0)}}),
    };
    const auto got = FileContributions::of(files, cal, std::nullopt, std::nullopt, {});
    ASSERT_EQ(got.files.size(), 2u);
    EXPECT_EQ(got.files[0].file, 1u);
    EXPECT_DOUBLE_EQ(got.files[0].bucket.cost.priced, 3.0);
    EXPECT_DOUBLE_EQ(got.files[1].bucket.cost.priced, 1.0);
    const std::map<std::string, std::int64_t, std::less<>> both = {{"claude-haiku-4-5", 1},
                                                                   {"gpt-x", 1}};
    for (const auto& c : got.files) {
        EXPECT_EQ(c.bucket.modelCounts, both);
        EXPECT_EQ(c.bucket.cost.unpricedModels, std::set<std::string>{"gpt-x"});
    }
    EXPECT_EQ(got.distinctRequests, 4);
}
