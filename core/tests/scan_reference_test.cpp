#include <gtest/gtest.h>
#include <set>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "TempDir.hpp"
#include "TranscriptLine.hpp"
#include "ingest/LineReader.hpp"
#include "vantery/ingest/Scanner.hpp"

using namespace vantery;
using vantery::testing::TempHome;

namespace {

auto fieldsOf(const UsageRecord& r) {
    return std::make_tuple(r.timestamp, r.model, r.sessionId, r.rawCwd, r.agent.description(),
                           r.sourceHome, r.input, r.output, r.cacheWrite5m, r.cacheWrite1h,
                           r.cacheRead, r.webSearch, r.webFetch, r.cacheWriteBreakdownAssumed,
                           r.sourceRank);
}

} // namespace

TEST(FullScan, AgreesWithFileByFileIngestionAndTheCrossFileRule) {
    // Many requests met in many files of two homes, in runs and scattered, each file
    // saying something different about them first; the scans in every form must give
    // what ingesting file by file and combining in rank order gives.
    TempHome home;
    for (int f = 0; f < 40; ++f) {
        std::string body;
        for (int i = 0; i < 150; ++i) {
            const int id = (f * 131 + (i / 2) * 17) % 2500; // pairs, overlapping across files
            const std::string ts = "2025-10-0" + std::to_string(1 + (f + i) % 9) + "T1" +
                                   std::to_string((i * 7) % 10) + ":03:07Z";
            vantery::testing::UsageLine l;
            l.type = "";
            l.timestamp = ts;
            l.messageId = "m-" + std::to_string(id);
            l.requestId = "r-" + std::to_string(id);
            l.sessionId = "s" + std::to_string(f % 5);
            l.cwd = "/w/" + std::to_string(f % 3);
            l.agentId = f % 4 == 0 ? "a" + std::to_string(f) : "";
            l.model = "model-" + std::to_string(f % 6);
            l.input = (f * i) % 50;
            l.output = (f * 7 + i * 13) % 400;
            l.cacheCreation = f % 2 ? 100 : 0;
            l.cacheRead = i % 9;
            body += usageLine(l);
            if (i % 25 == 0)
                body += R"({"type":"user","message":{"content":"usage"}})"
                        "\n";
        }
        home.transcript("p" + std::to_string(f % 7) + "/f" + std::to_string(100 + f) + ".jsonl",
                        body, f % 3 == 0 ? ".claude-work" : ".claude");
    }
    const auto homes = SourceHome::defaults(home.path());

    RequestMap reference;
    ScanDiagnostics referenceDiag;
    const auto files = Scanner::fileList(homes, nullptr);
    ASSERT_EQ(files.size(), 40u);
    for (std::size_t rank = 0; rank < files.size(); ++rank) {
        RequestMap one;
        LineReader::forEachLine(files[rank].path, 0, std::nullopt, [&](std::string_view line) {
            Scanner::ingest(line, files[rank].path, files[rank].home,
                            static_cast<std::int64_t>(rank), one, referenceDiag);
        });
        for (const auto& [key, r] : one)
            if (auto [at, fresh] = reference.try_emplace(key, r); !fresh)
                Scanner::combineCrossFile(at->second, r);
    }
    ASSERT_GT(reference.size(), 1000u);

    for (bool parallel : {false, true}) {
        SCOPED_TRACE(parallel ? "parallel" : "serial");
        auto keyed = Scanner::scanKeyed(homes, parallel);
        EXPECT_EQ(keyed.diagnostics.uniqueRequests, static_cast<std::int64_t>(reference.size()));
        EXPECT_EQ(keyed.diagnostics.usageLines, referenceDiag.usageLines);
        EXPECT_EQ(keyed.diagnostics.notUsageBearing, referenceDiag.notUsageBearing);
        ASSERT_EQ(keyed.records.size(), reference.size());
        for (const auto& [key, r] : reference) {
            auto it = keyed.records.find(key);
            ASSERT_NE(it, keyed.records.end()) << key;
            EXPECT_EQ(fieldsOf(it->second), fieldsOf(r)) << key;
        }

        auto listed = Scanner::scan(homes, parallel);
        std::vector<decltype(fieldsOf(UsageRecord{}))> got, want;
        for (const auto& r : listed.records)
            got.push_back(fieldsOf(r));
        for (auto [key, r] : reference) {
            r.sourceRank = UsageRecord{}.sourceRank; // plain records carry no rank
            want.push_back(fieldsOf(r));
        }
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want);
        EXPECT_EQ(listed.diagnostics.uniqueRequests, static_cast<std::int64_t>(reference.size()));
    }

    // The listed records come in the order a serial scan makes them, whatever the
    // threads: the same list, element by element.
    auto serialList = Scanner::scan(homes, false);
    auto parallelList = Scanner::scan(homes, true);
    ASSERT_EQ(serialList.records.size(), parallelList.records.size());
    for (std::size_t i = 0; i < serialList.records.size(); ++i)
        ASSERT_EQ(fieldsOf(serialList.records[i]), fieldsOf(parallelList.records[i])) << i;
    // ... which is by the rank of the first file holding each request, then by its first
    // line there.
    auto table = Scanner::scanTable(homes, true).table;
    ASSERT_EQ(table->blocks().size(), files.size());
    std::set<std::string> seen;
    std::size_t i = 0;
    for (const auto& block : table->blocks())
        for (std::size_t k = 0; k < block->size(); ++k) {
            if (!seen.insert(block->keyText(k)).second) continue;
            UsageRecord r = reference.at(block->keyText(k));
            r.sourceRank = UsageRecord{}.sourceRank;
            ASSERT_EQ(fieldsOf(serialList.records.at(i)), fieldsOf(r)) << i;
            ++i;
        }
    EXPECT_EQ(i, serialList.records.size());
}
