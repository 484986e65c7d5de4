#include "ExportSample.hpp"
#include "vantery/report/Aggregator.hpp"

#include <memory>

#include <gtest/gtest.h>

namespace vantery::testing {
namespace {

const char* const home = "/home/ana";
const char* const shop = "/home/ana/src/shop, the \"big\" one";

UsageRecord record(int y, int mo, int d, int h, int mi, int s, std::string model,
                   std::string session, std::string cwd, AgentIdentity agent,
                   std::string sourceHome) {
    UsageRecord r;
    r.timestamp = sampleCalendar().instantOf(LocalDay::fromYMD(y, mo, d), h, mi, s);
    r.model = std::move(model);
    r.sessionId = std::move(session);
    r.rawCwd = std::move(cwd);
    r.agent = std::move(agent);
    r.sourceHome = std::move(sourceHome);
    return r;
}

AgentIdentity reviewer() {
    return AgentIdentity::named("reviewer", "areviewer-0123456789abcdef");
}
AgentIdentity redacteur() {
    // Decomposed é: one user-perceived character, three bytes.
    return AgentIdentity::named("re\u0301dacteur", "are\u0301dacteur-fedcba9876543210");
}
AgentIdentity anonymous() {
    return AgentIdentity::anonymous("x1y2z3w4v5u6");
}

} // namespace

Calendar sampleCalendar() {
    auto c = Calendar::named("Asia/Kolkata");
    if (!c) {
        ADD_FAILURE() << "zone Asia/Kolkata is not available";
        return Calendar::utc();
    }
    return *c;
}

double sampleGeneratedAt() {
    return sampleCalendar().instantOf(LocalDay::fromYMD(2026, 3, 10), 18, 30, 0);
}

Exporter::Options sampleOptions() {
    return Exporter::Options{.from = LocalDay::fromYMD(2026, 3, 9),
                             .to = LocalDay::fromYMD(2026, 3, 10),
                             .generatedAt = sampleGeneratedAt(),
                             .calendar = sampleCalendar(),
                             .sourceFiles = sampleFiles()};
}

std::vector<UsageRecord> sampleRecords() {
    std::vector<UsageRecord> rs;
    // R1: 1000 × 3 + 100 × 15 = 4500 µ$.
    auto r = record(2026, 3, 9, 9, 15, 20, "claude-sonnet-4-5", "sess-alpha", shop,
                    AgentIdentity::mainSession(), ".claude");
    r.input = 1000;
    r.output = 100;
    rs.push_back(r);
    // R2: 2000 × 5 + 10000 × 0.5 + 1000 × 6.25 + 400 × 25 = 31250 µ$; split assumed.
    r = record(2026, 3, 9, 23, 40, 5, "claude-opus-4-5", "sess-alpha", shop, reviewer(), ".claude");
    r.input = 2000;
    r.output = 400;
    r.cacheRead = 10000;
    r.cacheWrite5m = 1000;
    r.cacheWriteBreakdownAssumed = true;
    rs.push_back(r);
    // R3: no known price; two web fetches, which are never priced.
    r = record(2026, 3, 10, 0, 5, 0, "mystery-model", "sess-beta", "", anonymous(), ".claude-work");
    r.input = 500;
    r.output = 50;
    r.webFetch = 2;
    rs.push_back(r);
    // R4: 3000 × 3 + 1000 × 6 + 200 × 15 = 18000 µ$, plus two searches at 0.01 = 0.038.
    r = record(2026, 3, 10, 10, 30, 0, "claude-sonnet-4-5", "sess-beta",
               "/home/ana/src/app/.claude/worktrees/feature-x", anonymous(), ".claude-work");
    r.input = 3000;
    r.output = 200;
    r.cacheWrite1h = 1000;
    r.webSearch = 2;
    rs.push_back(r);
    // R5: no known price, in a session whose id looks like a formula.
    r = record(2026, 3, 10, 10, 45, 30, "mystery-model", "=cmd|' /C calc'!A0",
               "/srv/cafe\u0301-\u65e5\u672c", AgentIdentity::mainSession(), ".claude-yahoo");
    r.input = 100;
    r.output = 10;
    rs.push_back(r);
    // R6: one web search and no tokens: 0.01.
    r = record(2026, 3, 10, 11, 59, 59, "claude-haiku-4-5", "sess-gamma",
               "/home/ana/a-very-long-project-name-that-goes-on-and-on/sub", redacteur(),
               ".claude");
    r.webSearch = 1;
    rs.push_back(r);
    // R7: 200 × 1 + 20 × 5 = 300 µ$; "=" and a combining mark, then a line break.
    r = record(2026, 3, 10, 12, 0, 0, "claude-haiku-4-5", "sess-gamma",
               "=\u0301SUM(A1)\nsecond line", redacteur(), ".claude");
    r.input = 200;
    r.output = 20;
    rs.push_back(r);
    // R8: priced model, no tokens at all: a known cost of exactly 0.
    r = record(2026, 3, 10, 13, 0, 0, "claude-3-haiku", "sess-zero", shop,
               AgentIdentity::mainSession(), ".claude");
    rs.push_back(r);
    return rs;
}

Report sampleReport() {
    ScanDiagnostics d;
    d.lines() = LineCounters{.usageLines = 20,
                             .notUsageBearing = 7,
                             .skippedZeroUsage = 3,
                             .rejectedInvalidJSON = 1,
                             .rejectedNoTimestamp = 2};
    d.filesScanned = 5;
    d.filesUnreadable = {"/home/ana/.claude/projects/z.jsonl",
                         "/home/ana/.claude/projects/b.jsonl"};
    d.bytesRead = 123456;
    d.longestLineBytes = 4096;
    d.longestLinePath = "/home/ana/.claude/projects/shop/s1.jsonl";
    d.uniqueRequests = 8;
    d.duration = 0.4567;
    d.perHome = {{".claude", 3}, {".claude-work", 1}};

    Aggregator agg(sampleCalendar(), ProjectResolver(home, false));
    auto records = sampleRecords();
    Report report = agg.aggregate(records, LocalDay::fromYMD(2026, 3, 9),
                                  LocalDay::fromYMD(2026, 3, 10), d, true);
    // Labels the resolver reaches only on disk, one it never gives, and missing links.
    report.projectProvenance["~/src/shop, the \"big\" one"].insert({"exact", "gitRootFolded"});
    report.projectProvenance["~/a-very-long-project-name-that-goes-on-and-on/sub"].insert(
        "legacyGuess");
    report.projectProvenance.erase("/srv/cafe\u0301-\u65e5\u672c");
    report.sessionProject.erase("sess-zero");
    report.agentProject.erase(reviewer());
    return report;
}

std::vector<ScanCache::FileProvenance> sampleFiles() {
    auto rs = sampleRecords();
    auto dictionary = std::make_shared<RequestDictionary>();
    auto file = [&](std::string path, std::int64_t usageLines, std::vector<int> which) {
        FileBlock::Builder block;
        for (int n : which) {
            std::string key = "m" + std::to_string(n) + ":r" + std::to_string(n);
            if (n == 0) {
                auto old = rs[0];
                old.timestamp = sampleCalendar().instantOf(LocalDay::fromYMD(2026, 3, 1), 12, 0, 0);
                block.add("m0:r0", dictionary->rowOf(old));
            } else {
                block.add(key, dictionary->rowOf(rs[static_cast<std::size_t>(n - 1)]));
            }
        }
        return ScanCache::FileProvenance{std::move(path), usageLines, block.finish(), dictionary};
    };
    return {
        file("/home/ana/.claude/projects/old/s0.jsonl", 3, {0}),
        file("/home/ana/.claude/projects/shop/s1.jsonl", 6, {1, 2, 8}),
        file("/home/ana/.claude-work/projects/app/s2.jsonl", 4, {3, 4}),
        file("/home/ana/.claude-work/projects/app/s2-resumed.jsonl", 1, {4}),
        file("/srv/yahoo/s3.jsonl", 1, {5}),
        file("/home/ana/.claude/projects/g/s4.jsonl", 2, {6, 7}),
    };
}

Bucket bucketWith(std::int64_t requests, double priced, std::int64_t unpriced,
                  std::set<std::string> models) {
    Bucket b;
    b.requests = requests;
    b.cost.priced = priced;
    b.cost.unpricedRequests = unpriced;
    b.cost.unpricedModels = std::move(models);
    return b;
}

} // namespace vantery::testing
