#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stop_token>
#include <unistd.h>

#include "TempDir.hpp"
#include "UsageLines.hpp"
#include "vantery/cache/CacheFile.hpp"
#include "vantery/cache/KeptRefresh.hpp"
#include "vantery/cache/ScanCache.hpp"

using namespace vantery;
using namespace vantery::testing;

namespace {

std::string canonical(const UsageRecord& r) {
    std::ostringstream o;
    o.precision(17);
    o << r.timestamp << '|' << r.model << '|' << r.sessionId << '|' << r.rawCwd << '|'
      << r.agent.description() << '|' << r.sourceHome << '|' << r.input << '|' << r.output << '|'
      << r.cacheWrite5m << '|' << r.cacheWrite1h << '|' << r.cacheRead << '|' << r.webSearch << '|'
      << r.webFetch << '|' << r.cacheWriteBreakdownAssumed;
    return o.str();
}

// In the given order; sorted when asked.
std::vector<std::string> canonicalAll(const std::vector<UsageRecord>& records, bool sorted = true) {
    std::vector<std::string> out;
    for (const auto& r : records)
        out.push_back(canonical(r));
    if (sorted) std::sort(out.begin(), out.end());
    return out;
}

std::vector<UsageRecord> valuesOf(const RequestMap& m) {
    std::vector<UsageRecord> v;
    for (const auto& [k, r] : m)
        v.push_back(r);
    return v;
}

// The cache's table unified by key, each file at its rank in today's list.
RequestMap keyedFromTable(const ScanCache& cache, const std::vector<SourceHome>& homes) {
    auto table = cache.snapshot();
    auto dictionary = cache.dictionary();
    RequestMap out;
    auto list = Scanner::fileList(homes, nullptr);
    for (std::size_t rank = 0; rank < list.size(); ++rank)
        if (auto it = table.find(list[rank].path); it != table.end()) {
            const FileBlock& block = *it->second.block;
            for (std::size_t i = 0; i < block.size(); ++i) {
                UsageRecord r = dictionary->record(block.row(i));
                r.sourceRank = static_cast<std::int64_t>(rank);
                if (auto [at, fresh] = out.try_emplace(block.keyText(i), r); !fresh)
                    Scanner::combineCrossFile(at->second, r);
            }
        }
    return out;
}

// A refresh matches a fresh full scan: the same requests (keys and every figure)
// and the same counters.
void expectMatchesFullScan(const ScanCache& cache, const ScanCache::Refresh& got,
                           const std::vector<SourceHome>& homes, const std::string& when) {
    SCOPED_TRACE(when);
    ScanDiagnostics want;
    RequestMap scan = fullScan(homes, &want);
    RequestMap keyed = keyedFromTable(cache, homes);
    ASSERT_EQ(keyed.size(), scan.size());
    for (const auto& [k, r] : scan) {
        auto it = keyed.find(k);
        ASSERT_NE(it, keyed.end()) << k;
        EXPECT_TRUE(sameButRank(it->second, r)) << k;
    }
    EXPECT_EQ(canonicalAll(got.table->records()), canonicalAll(valuesOf(scan)));
    // In the same canonical order as the cache-less scan.
    EXPECT_EQ(canonicalAll(got.table->records(), false),
              canonicalAll(Scanner::scan(homes, true).records, false));
    const ScanDiagnostics& d = got.diagnostics;
    EXPECT_EQ(d.filesScanned, want.filesScanned);
    EXPECT_EQ(d.filesUnreadable, want.filesUnreadable);
    EXPECT_EQ(d.bytesRead, want.bytesRead);
    EXPECT_EQ(d.usageLines, want.usageLines);
    EXPECT_EQ(d.rejectedInvalidJSON, want.rejectedInvalidJSON);
    EXPECT_EQ(d.rejectedNoMessage, want.rejectedNoMessage);
    EXPECT_EQ(d.notUsageBearing, want.notUsageBearing);
    EXPECT_EQ(d.rejectedNoTimestamp, want.rejectedNoTimestamp);
    EXPECT_EQ(d.rejectedNoIdentity, want.rejectedNoIdentity);
    EXPECT_EQ(d.skippedZeroUsage, want.skippedZeroUsage);
    EXPECT_EQ(d.longestLineBytes, want.longestLineBytes);
    EXPECT_EQ(d.longestLinePath, want.longestLinePath);
    EXPECT_EQ(d.uniqueRequests, want.uniqueRequests);
    EXPECT_EQ(d.perHome, want.perHome);
}

struct CacheTest : ::testing::Test {
    TempHome home;
    std::vector<SourceHome> homes{SourceHome(".claude", home.path()),
                                  SourceHome(".claude-work", home.path())};
    ScanCache cache{home / "cache.bin"};
    double clock = 1'700'000'000;

    std::string write(const std::string& rel, const std::string& content,
                      const std::string& h = ".claude") {
        auto p = home.transcript(rel, content, h);
        touch(p);
        return p;
    }
    std::string append(const std::string& full, const std::string& content) {
        std::ofstream(full, std::ios::app | std::ios::binary) << content;
        touch(full);
        return full;
    }
    void touch(const std::string& full) { setMtime(full, clock += 10); }
};

} // namespace

TEST_F(CacheTest, FirstRefreshReadsEverythingAndSecondReadsNothing) {
    auto empty = cache.refresh(homes);
    EXPECT_EQ(empty.stats.savedFraction(), Estimate<double>::unknown(UnknownReason::noData()));
    EXPECT_TRUE(empty.diagnostics.perHome.empty());

    write("p/a.jsonl", usageLine(1) + "\n" + usageLine(2) + "\n");
    write("p/b.jsonl", usageLine(3) + "\n", ".claude-work");
    home.mkdir(".claude-work/projects/empty");
    auto first = cache.refresh(homes);
    EXPECT_FALSE(first.stats.fromCache);
    EXPECT_EQ(first.stats.filesNew, 2);
    EXPECT_EQ(first.stats.filesUnchanged, 0);
    EXPECT_EQ(first.stats.savedFraction().knownValue(), 0.0);
    EXPECT_EQ(first.table->size(), 3u);
    expectMatchesFullScan(cache, first, homes, "first");

    auto second = cache.refresh(homes);
    EXPECT_TRUE(second.stats.fromCache);
    EXPECT_EQ(second.stats.filesUnchanged, 2);
    EXPECT_EQ(second.stats.bytesRead, 0u);
    EXPECT_EQ(second.stats.savedFraction().knownValue(), 1.0);
    EXPECT_EQ(second.diagnostics.bytesRead, first.diagnostics.bytesRead);
    EXPECT_EQ(second.diagnostics.usageLines, 3);
    // Nothing changed: the merged records are shared, not rebuilt.
    EXPECT_EQ(second.table, first.table);
    expectMatchesFullScan(cache, second, homes, "second");
}

TEST_F(CacheTest, PartialLastLineIsReadOnceWhenCompleted) {
    std::string line = usageLine(7);
    auto p = write("a.jsonl", usageLine(1) + "\n" + line.substr(0, 40));
    auto first = cache.refresh(homes);
    EXPECT_EQ(cache.snapshot().at(p).consumed, usageLine(1).size() + 1);
    EXPECT_EQ(first.diagnostics.usageLines, 1);
    append(p, line.substr(40) + "\n");
    auto second = cache.refresh(homes);
    EXPECT_EQ(second.stats.filesGrown, 1);
    EXPECT_EQ(second.stats.bytesRead, line.size() + 1);
    EXPECT_EQ(second.diagnostics.usageLines, 2);
    EXPECT_EQ(second.table->size(), 2u);
    expectMatchesFullScan(cache, second, homes, "completed");
}

TEST_F(CacheTest, ModificationTimeDecidesWithinAMillisecond) {
    auto p = write("a.jsonl", usageLine(1) + "\n");
    cache.refresh(homes);
    double t = cache.snapshot().at(p).mtime;

    setMtime(p, t + 0.0005);
    EXPECT_EQ(cache.refresh(homes).stats.filesUnchanged, 1);
    setMtime(p, t - 0.0005);
    EXPECT_EQ(cache.refresh(homes).stats.filesUnchanged, 1);

    setMtime(p, t + 5); // touched, same size: grown, nothing new
    auto touched = cache.refresh(homes);
    EXPECT_EQ(touched.stats.filesGrown, 1);
    EXPECT_EQ(touched.stats.bytesRead, 0u);
    EXPECT_EQ(touched.diagnostics.usageLines, 1);
    EXPECT_EQ(cache.snapshot().at(p).mtime, t + 5);
    EXPECT_EQ(cache.refresh(homes).stats.filesUnchanged, 1);

    setMtime(p, t - 5); // earlier: rewound
    auto rewound = cache.refresh(homes);
    EXPECT_EQ(rewound.stats.filesRewound, 1);
    EXPECT_EQ(rewound.stats.bytesRead, usageLine(1).size() + 1);
    expectMatchesFullScan(cache, rewound, homes, "rewound");
}

TEST_F(CacheTest, ReplacedFileWithSameSizeAndTimeIsRewound) {
    auto p = write("a.jsonl", usageLine(1) + "\n");
    cache.refresh(homes);
    double t = cache.snapshot().at(p).mtime;
    auto other = home.write("other.jsonl", usageLine(2) + "\n"); // same length, another file number
    std::filesystem::rename(other, p);
    setMtime(p, t);
    auto r = cache.refresh(homes);
    EXPECT_EQ(r.stats.filesRewound, 1);
    expectMatchesFullScan(cache, r, homes, "replaced");
}

TEST_F(CacheTest, FileCutBackBelowWhatWasConsumedIsReadAgain) {
    // The file grew while it was read: its recorded size is below what was consumed.
    std::string content = usageLine(1) + "\n" + usageLine(2) + "\n";
    auto p = write("a.jsonl", content);
    cache.refresh(homes);
    auto table = cache.snapshot();
    ScanCache::FileState& s = table.at(p);
    ASSERT_EQ(s.consumed, content.size());
    s.size = content.size() - 10;
    {
        std::ofstream(home / "seeded.bin", std::ios::binary)
            << encodeCacheFile(table, *cache.dictionary());
    }
    ScanCache seeded(home / "seeded.bin");
    ASSERT_TRUE(seeded.load());
    // Now cut the file to a length between the recorded size and consumed.
    std::filesystem::resize_file(p, content.size() - 5);
    touch(p);
    auto r = seeded.refresh(homes);
    EXPECT_EQ(r.stats.filesRewound, 1);
    EXPECT_EQ(r.table->size(), 1u);
    expectMatchesFullScan(seeded, r, homes, "cut back");
}

TEST_F(CacheTest, GoneFilesLeaveTheTableAndTheResult) {
    auto a = write("a.jsonl", usageLine(1) + "\n");
    write("b.jsonl", usageLine(2) + "\n");
    cache.refresh(homes);
    std::filesystem::remove(a);
    auto r = cache.refresh(homes);
    EXPECT_EQ(r.stats.filesGone, 1);
    EXPECT_EQ(r.table->size(), 1u);
    std::filesystem::remove_all(home / ".claude");
    auto none = cache.refresh(homes);
    EXPECT_EQ(none.stats.filesGone, 1);
    EXPECT_EQ(cache.snapshot().size(), 0u);
    EXPECT_TRUE(none.table->empty());
    EXPECT_TRUE(none.diagnostics.perHome.empty());
}

TEST_F(CacheTest, FileHoldsTableOnlyUntilTheTableChanges) {
    auto a = write("a.jsonl", usageLine(1) + "\n");
    EXPECT_FALSE(cache.fileHoldsTable()) << "nothing loaded or saved yet";
    cache.refresh(homes);
    EXPECT_FALSE(cache.fileHoldsTable());
    cache.save();
    EXPECT_TRUE(cache.fileHoldsTable());
    cache.refresh(homes);
    EXPECT_TRUE(cache.fileHoldsTable()) << "a refresh that changed nothing";

    append(a, usageLine(2) + "\n");
    EXPECT_EQ(cache.refresh(homes).stats.filesGrown, 1);
    EXPECT_FALSE(cache.fileHoldsTable());
    cache.save();

    // Another cache on the same file: loading it makes the file current.
    ScanCache other{home / "cache.bin"};
    EXPECT_FALSE(other.fileHoldsTable());
    ASSERT_TRUE(other.load());
    EXPECT_TRUE(other.fileHoldsTable());
    EXPECT_TRUE(other.refresh(homes).stats.filesUnchanged == 1 && other.fileHoldsTable());
    write("b.jsonl", usageLine(3) + "\n");
    other.refresh(homes);
    EXPECT_FALSE(other.fileHoldsTable()) << "a new file";
    other.save();
    std::filesystem::remove(home / ".claude/projects/b.jsonl");
    other.refresh(homes);
    EXPECT_FALSE(other.fileHoldsTable()) << "a gone file";
    other.save();
    other.clear();
    EXPECT_FALSE(other.fileHoldsTable()) << "the file is deleted";
}

// A quit asks the work to stop: it gives nothing, keeps nothing and saves nothing.
TEST_F(CacheTest, AStoppedRefreshOrVerificationLeavesTheTableAndTheFileAlone) {
    write("a.jsonl", usageLine(1) + "\n");
    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(refreshAndKeep(cache, homes, stop.get_token()));
    EXPECT_TRUE(cache.snapshot().empty());
    EXPECT_FALSE(std::filesystem::exists(home / "cache.bin")) << "a first scan saves nothing";

    ASSERT_TRUE(refreshAndKeep(cache, homes).saved);
    const std::string saved = fileContent(home / "cache.bin");
    write("b.jsonl", usageLine(2) + "\n");
    EXPECT_FALSE(refreshAndKeep(cache, homes, stop.get_token()));
    EXPECT_EQ(cache.snapshot().size(), 1u);
    EXPECT_EQ(fileContent(home / "cache.bin"), saved);
    EXPECT_FALSE(cache.verifyAgainstFullScan(homes, stop.get_token()));
    EXPECT_FALSE(cache.lastVerification());
}

TEST_F(CacheTest, RequestInTwoFilesTakesFieldsOfTheEarlierRank) {
    write("a.jsonl", usageLine(5, {1, 900}, 30) + "\n");
    write("b.jsonl", usageLine(5, {50, 2}, 10) + "\n", ".claude-work");
    auto r = cache.refresh(homes);
    ASSERT_EQ(r.table->size(), 1u);
    const UsageRecord u = r.table->record((*r.table)[0]);
    EXPECT_EQ(u.sourceHome, ".claude");
    EXPECT_EQ(u.input, 50);
    EXPECT_EQ(u.output, 900);
    EXPECT_EQ(r.diagnostics.perHome,
              (std::map<std::string, std::int64_t>{{".claude", 1}, {".claude-work", 1}}));
    // Loaded back, the two files' meetings are still one request.
    cache.save();
    ScanCache loaded{home / "cache.bin"};
    ASSERT_TRUE(loaded.load());
    auto again = loaded.refresh(homes);
    ASSERT_EQ(again.table->size(), 1u);
    EXPECT_TRUE(sameButRank(again.table->record((*again.table)[0]), u));
}

// Lines without request ids, as written behind a gateway: streaming copies and a
// resumed session's copy in another home are one request, by full scan and by cache.
TEST_F(CacheTest, RequestsWithoutRequestIdsUniteByMessageId) {
    auto line = [](std::string_view session, int second, int output, std::string_view top = "",
                   std::string_view id = R"("msg_G")") {
        return R"({"timestamp":"2025-10-05T14:03:0)" + std::to_string(second) +
               R"(Z","sessionId":")" + std::string(session) + '"' + std::string(top) +
               R"(,"message":{"id":)" + std::string(id) +
               R"(,"model":"claude-opus-4-6","usage":{"input_tokens":3,"output_tokens":)" +
               std::to_string(output) + "}}}\n";
    };
    write("a.jsonl",
          line("s1", 2, 5) + line("s1", 3, 5) + line("s1", 4, 147) + line("s1", 5, 9, "", "null"));
    write("b.jsonl", line("s2", 1, 147) + line("s2", 6, 8, R"(,"requestId":"")"), ".claude-work");
    for (bool parallel : {false, true}) {
        auto keyed = Scanner::scanKeyed(homes, parallel);
        ASSERT_EQ(keyed.records.size(), 1u);
        const UsageRecord& r = keyed.records.at("msg_G:");
        EXPECT_EQ(r.output, 147);
        EXPECT_EQ(r.sessionId, "s1");
        EXPECT_EQ(r.timestamp, 1759672981.0); // 2025-10-05T14:03:01Z, the resumed copy
        EXPECT_EQ(keyed.diagnostics.rejectedNoIdentity, 2);
    }
    expectMatchesFullScan(cache, cache.refresh(homes), homes, "fresh");
    cache.save();
    ScanCache loaded{home / "cache.bin"};
    ASSERT_TRUE(loaded.load());
    expectMatchesFullScan(loaded, loaded.refresh(homes), homes, "loaded");
}

// Two keys computed to share 96 bits of the public hash, one line each in two projects:
// two requests, not one at the dearer line's cost.
TEST_F(CacheTest, KeysCraftedToCollideStayTwoRequests) {
    int i = 0;
    for (const char* id :
         {"msg_01AAAAAAAAAABBBBBBBBBBBBBBBB", "msg_01b9UpimQE9Q4<Fu! eh-RwaA{j7"}) {
        UsageLine l;
        l.messageId = id;
        l.requestId = "req_011CQ";
        l.cwd = "/w/p" + std::to_string(i);
        l.output = 100 * (i + 1);
        write("p" + std::to_string(i++) + "/s.jsonl", usageLine(l));
    }
    auto r = cache.refresh(homes);
    ASSERT_EQ(r.table->size(), 2u);
    std::set<std::int64_t> outputs;
    for (const auto& record : r.table->records())
        outputs.insert(record.output);
    EXPECT_EQ(outputs, (std::set<std::int64_t>{100, 200}));
}

// A loaded cache leaves its keys' texts in the file it loaded and reads them back to
// save: from that file's content even after another save replaced it, and never by
// writing a damaged file when they cannot be read back.
TEST_F(CacheTest, KeysLeftInTheLoadedFileAreWrittenBackFaithfully) {
    const std::string path = home / "cache.bin";
    auto a = write("a.jsonl", usageLine(1) + "\n" + usageLine(2) + "\n");
    write("b.jsonl", usageLine(2) + "\n" + usageLine(3) + "\n", ".claude-work");
    cache.refresh(homes);
    cache.save();

    ScanCache loaded{path};
    ASSERT_TRUE(loaded.load());
    // Another program's save renames a new file over the one loaded.
    {
        ScanCache other{path};
        ASSERT_TRUE(other.load());
        other.clear();
        other.refresh({SourceHome(".claude", home.path())});
        other.save();
    }
    append(a, usageLine(4) + "\n" + usageLine(1) + "\n");
    auto grown = loaded.refresh(homes);
    EXPECT_EQ(grown.stats.filesGrown, 1);
    EXPECT_EQ(grown.table->size(), 4u);
    loaded.save();
    ScanCache again{path};
    ASSERT_TRUE(again.load());
    expectMatchesFullScan(again, again.refresh(homes), homes, "saved after a replacement");

    // The loaded file cut short in place, or cut and filled with zeros to its old size:
    // the keys left in it are gone or wrong, so the save leaves out the files that held
    // them, and both this process and the next read those again.
    write("c.jsonl", usageLine(5) + "\n");
    for (const bool refilled : {false, true}) {
        SCOPED_TRACE(refilled ? "refilled" : "cut");
        ScanCache cut{path};
        ASSERT_TRUE(cut.load());
        append(a, usageLine(6) + "\n");
        cut.refresh(homes);
        const auto size = std::filesystem::file_size(path);
        std::filesystem::resize_file(path, 5);
        if (refilled) std::filesystem::resize_file(path, size);
        ASSERT_NO_THROW(cut.save());
        ScanCache next{path};
        ASSERT_TRUE(next.load());
        auto reread = next.refresh(homes);
        EXPECT_GT(reread.stats.filesNew, 0);
        expectMatchesFullScan(next, reread, homes, "loaded after a save past a cut");
        auto again = cut.refresh(homes);
        EXPECT_EQ(again.stats.filesNew, reread.stats.filesNew);
        expectMatchesFullScan(cut, again, homes, "refreshed after a save past a cut");
        ASSERT_NO_THROW(cut.save());
        ScanCache whole{path};
        ASSERT_TRUE(whole.load());
        EXPECT_EQ(whole.refresh(homes).stats.filesUnchanged, 3);
    }
}

TEST_F(CacheTest, UnreadableFileIsTriedAgainAtEveryRefresh) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    auto p = write("a.jsonl", usageLine(1) + "\n");
    std::filesystem::permissions(p, std::filesystem::perms::none);
    auto first = cache.refresh(homes);
    EXPECT_EQ(first.diagnostics.filesUnreadable, std::vector<std::string>{p});
    EXPECT_EQ(cache.snapshot().at(p).consumed, 0u);
    auto second = cache.refresh(homes);
    EXPECT_EQ(second.diagnostics.filesUnreadable, std::vector<std::string>{p});
    // Readable again, its size and time unchanged: its requests come back.
    std::filesystem::permissions(p, std::filesystem::perms::owner_read);
    auto third = cache.refresh(homes);
    EXPECT_TRUE(third.diagnostics.filesUnreadable.empty());
    EXPECT_EQ(third.table->size(), 1u);
    expectMatchesFullScan(cache, third, homes, "readable again");
}

TEST_F(CacheTest, RecordsPerFileAndClear) {
    EXPECT_TRUE(cache.recordsPerFile().empty());
    write("b.jsonl", usageLine(1) + "\n" + usageLine(2) + "\n");
    write("a.jsonl", usageLine(3) + "\nnot json \"usage\"\n");
    cache.refresh(homes);
    auto per = cache.recordsPerFile();
    ASSERT_EQ(per.size(), 2u);
    EXPECT_LT(per[0].path, per[1].path);
    EXPECT_EQ(per[0].usageLines, 2);
    EXPECT_EQ(per[0].block->size(), 1u);
    EXPECT_EQ(per[1].block->size(), 2u);

    cache.save();
    cache.verifyAgainstFullScan(homes);
    ASSERT_TRUE(cache.lastVerification());
    cache.clear();
    EXPECT_EQ(cache.snapshot().size(), 0u);
    EXPECT_FALSE(cache.lastVerification());
    EXPECT_FALSE(std::filesystem::exists(cache.cachePath()));
    EXPECT_EQ(cache.refresh(homes).stats.filesNew, 2);
}

// Random appends (partial last lines included), truncations, replacements,
// deletions and new files over many refreshes: every refresh equals a full scan,
// and a saved and reloaded cache finds nothing to read.
TEST_F(CacheTest, DifferentialAgainstFullScan) {
    std::mt19937 rng(20251005);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::vector<std::string> names = {"p1/a.jsonl",   "p1/b.jsonl", "p2/c.jsonl",
                                            "p2/d/e.jsonl", "f.jsonl",    "p0/z.jsonl"};
    const std::vector<std::string> homeNames = {".claude", ".claude-work"};
    auto randomLine = [&](int homeIndex) -> std::string {
        switch (pick(12)) {
        case 0:
            return R"({"type":"user","message":{"content":"hi"}})";
        case 1:
            return R"({"broken": "usage")";
        case 2:
            return R"({"timestamp":"x","message":{"usage":{"input_tokens":1}}})";
        case 3:
            return usageLine(homeIndex * 1000 + pick(30), {0, 0, 0, 0, 0});
        default:
            // Per-home pools: a request repeats within and across files of one home.
            return usageLine(homeIndex * 1000 + pick(30),
                             {pick(500), pick(500), pick(3) * 1000, pick(2) * 700, pick(2)},
                             pick(4000));
        }
    };
    auto lines = [&](int homeIndex, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += randomLine(homeIndex) + "\n";
        return s;
    };
    std::unique_ptr<ScanCache> current = std::make_unique<ScanCache>(home / "cache.bin");
    for (int round = 0; round < 40; ++round) {
        for (int h = 0; h < 2; ++h) {
            for (const auto& name : names) {
                auto full = home / (homeNames[static_cast<std::size_t>(h)] + "/projects/" + name);
                bool exists = std::filesystem::exists(full);
                int op = pick(10);
                if (!exists) {
                    if (op < 4)
                        write(name, lines(h, pick(5)), homeNames[static_cast<std::size_t>(h)]);
                    continue;
                }
                auto size = std::filesystem::file_size(full);
                switch (op) {
                case 0:
                case 1:
                case 2:
                    append(full, lines(h, 1 + pick(4)));
                    break;
                case 3: { // a partial last line, maybe completing an earlier one
                    std::string l = randomLine(h);
                    append(full,
                           l.substr(0, static_cast<std::size_t>(pick(static_cast<int>(l.size())))));
                    break;
                }
                case 4:
                    append(full, "\n");
                    break;
                case 5: // cut anywhere, also inside a line
                    if (size > 0) {
                        std::filesystem::resize_file(
                            full, static_cast<std::uintmax_t>(pick(static_cast<int>(size))));
                        touch(full);
                    }
                    break;
                case 6: { // replaced by a new file
                    auto tmp = home / "replacement.tmp";
                    std::ofstream(tmp, std::ios::binary) << lines(h, pick(6));
                    std::filesystem::rename(tmp, full);
                    touch(full);
                    break;
                }
                case 7:
                    std::filesystem::remove(full);
                    break;
                default:
                    break;
                }
            }
        }
        auto r = current->refresh(homes);
        expectMatchesFullScan(*current, r, homes, "round " + std::to_string(round));
        if (::testing::Test::HasFailure()) return;
        if (round % 7 == 6) { // continue from the file in a fresh cache object
            current->save();
            current = std::make_unique<ScanCache>(home / "cache.bin");
            ASSERT_TRUE(current->load());
        }
    }
    auto before = current->refresh(homes);
    current->save();
    ScanCache reloaded(home / "cache.bin");
    ASSERT_TRUE(reloaded.load());
    auto after = reloaded.refresh(homes);
    EXPECT_EQ(after.stats.filesUnchanged, after.stats.filesTotal);
    EXPECT_EQ(after.stats.bytesRead, 0u);
    EXPECT_EQ(canonicalAll(after.table->records()), canonicalAll(before.table->records()));
    EXPECT_EQ(after.diagnostics.bytesRead, before.diagnostics.bytesRead);
    expectMatchesFullScan(reloaded, after, homes, "reloaded");
}

// Enough requests for the cross-file merge to split the keys over threads: still
// exactly the full scan, and a request shared by many files takes the first file's fields.
TEST_F(CacheTest, LargeRefreshEqualsFullScan) {
    std::mt19937 rng(3);
    for (int f = 0; f < 48; ++f) {
        std::string content;
        for (int i = 0; i < 900; ++i) {
            // Requests overlap between files; counts differ from file to file.
            int n = (f * 700 + i) % 30000;
            content +=
                usageLine(n, {static_cast<std::int64_t>(rng() % 1000), f, 0, f % 2 ? 700 : 0},
                          f * 10) +
                "\n";
        }
        write("p" + std::to_string(f % 5) + "/s" + std::to_string(100 + f) + ".jsonl", content,
              f % 3 ? ".claude" : ".claude-work");
    }
    auto r = cache.refresh(homes);
    EXPECT_EQ(r.table->size(), 30'000u);
    expectMatchesFullScan(cache, r, homes, "large");
    cache.save();
    ScanCache reloaded(home / "cache.bin");
    ASSERT_TRUE(reloaded.load());
    auto again = reloaded.refresh(homes);
    EXPECT_EQ(again.stats.filesUnchanged, 48);
    expectMatchesFullScan(reloaded, again, homes, "reloaded");
}
