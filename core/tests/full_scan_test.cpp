#include <gtest/gtest.h>

#include <filesystem>
#include <stop_token>
#include <string>

#include <unistd.h>

#include "TempDir.hpp"
#include "TranscriptLine.hpp"
#include "ingest/FileReading.hpp"
#include "ingest/LineReader.hpp"
#include "vantery/ingest/Scanner.hpp"

using namespace vantery;
using vantery::testing::TempDir;
using vantery::testing::TempHome;

namespace {

// A bare usage line: no type, no working directory.
std::string usageLine(const std::string& id, const std::string& model, int output,
                      const std::string& ts = "2025-10-05T14:03:07Z") {
    vantery::testing::UsageLine l;
    l.type = "";
    l.timestamp = ts;
    l.messageId = "m-" + id;
    l.requestId = "r-" + id;
    l.sessionId = "s";
    l.cwd = std::nullopt;
    l.model = model;
    l.input = 1;
    l.output = output;
    return vantery::testing::usageLine(l);
}

void expectSameDiagnostics(const ScanDiagnostics& a, const ScanDiagnostics& b) {
    EXPECT_EQ(a.filesScanned, b.filesScanned);
    EXPECT_EQ(a.filesUnreadable.size(), b.filesUnreadable.size());
    EXPECT_EQ(a.bytesRead, b.bytesRead);
    EXPECT_EQ(a.usageLines, b.usageLines);
    EXPECT_EQ(a.rejectedInvalidJSON, b.rejectedInvalidJSON);
    EXPECT_EQ(a.rejectedNoMessage, b.rejectedNoMessage);
    EXPECT_EQ(a.notUsageBearing, b.notUsageBearing);
    EXPECT_EQ(a.rejectedNoTimestamp, b.rejectedNoTimestamp);
    EXPECT_EQ(a.rejectedNoIdentity, b.rejectedNoIdentity);
    EXPECT_EQ(a.skippedZeroUsage, b.skippedZeroUsage);
    EXPECT_EQ(a.longestLineBytes, b.longestLineBytes);
    EXPECT_EQ(a.uniqueRequests, b.uniqueRequests);
    EXPECT_EQ(a.perHome, b.perHome);
}

void expectSameRecords(const RequestMap& a, const RequestMap& b) {
    ASSERT_EQ(a.size(), b.size());
    for (const auto& [key, r] : a) {
        auto it = b.find(key);
        ASSERT_NE(it, b.end()) << key;
        const auto& s = it->second;
        EXPECT_EQ(r.timestamp, s.timestamp) << key;
        EXPECT_EQ(r.model, s.model) << key;
        EXPECT_EQ(r.sessionId, s.sessionId) << key;
        EXPECT_EQ(r.agent, s.agent) << key;
        EXPECT_EQ(r.sourceHome, s.sourceHome) << key;
        EXPECT_EQ(r.sourceRank, s.sourceRank) << key;
        EXPECT_EQ(r.output, s.output) << key;
        EXPECT_EQ(r.input, s.input) << key;
    }
}

} // namespace

TEST(JsonlFiles, ListsRegularTranscriptsSortedAndSkipsHiddenEntries) {
    TempDir dir;
    dir.write("p/b/z.jsonl", "");
    dir.write("p/a.jsonl", "");
    dir.write("p/a/sub/agent-1.jsonl", "");
    dir.write("p/x.JSONL", "");
    dir.write("p/notes.txt", "");
    dir.write("p/.hidden.jsonl", "");
    dir.write("p/.trash/old.jsonl", "");
    dir.mkdir("p/folder.jsonl");
    std::filesystem::create_symlink(dir / "p/a.jsonl", dir / "p/link.jsonl");
    std::filesystem::create_symlink(dir / "p/b", dir / "p/linkdir.jsonl");
    auto files = Scanner::jsonlFiles(dir / "p");
    ASSERT_TRUE(files);
    EXPECT_EQ(*files, (std::vector<std::string>{dir / "p/a.jsonl", dir / "p/a/sub/agent-1.jsonl",
                                                dir / "p/b/z.jsonl", dir / "p/link.jsonl"}));
    // A trailing slash does not double the separator.
    EXPECT_EQ(Scanner::jsonlFiles(dir / "p/")->front(), dir / "p/a.jsonl");
    EXPECT_FALSE(Scanner::jsonlFiles(dir / "missing"));
    EXPECT_FALSE(Scanner::jsonlFiles(dir / "p/notes.txt"));
    EXPECT_EQ(Scanner::jsonlFiles(dir.mkdir("empty")), std::vector<std::string>{});
}

// A stop is heard between blocks of a large file, not only between files.
TEST(FullScan, AFileReadingStopsWithinALargeFile) {
    TempDir dir;
    std::string big;
    for (int n = 0; big.size() < 3 * LineReader::blockSize; ++n)
        big += usageLine(std::to_string(n), "claude-haiku-4-5", n) + "\n";
    const std::string path = dir.write("big.jsonl", big);
    RequestDictionary dictionary;
    std::stop_source stop;
    EXPECT_EQ(
        detail::readFile({path, ".claude"}, 0, std::nullopt, nullptr, dictionary, stop.get_token())
            .consumed,
        big.size());
    stop.request_stop();
    EXPECT_THROW(
        detail::readFile({path, ".claude"}, 0, std::nullopt, nullptr, dictionary, stop.get_token()),
        detail::Stopped);
}

TEST(FullScan, NoHomesAndEmptyHomes) {
    TempHome home;
    auto none = Scanner::scan(SourceHome::defaults(home.path()), true);
    EXPECT_EQ(none.diagnostics.filesScanned, 0);
    EXPECT_TRUE(none.diagnostics.perHome.empty());
    EXPECT_TRUE(none.records.empty());

    home.mkdir(".claude-work/projects");
    auto empty = Scanner::scan(SourceHome::defaults(home.path()), false);
    EXPECT_EQ(empty.diagnostics.perHome,
              (std::map<std::string, std::int64_t>{{".claude-work", 0}}));
}

TEST(FullScan, CountsFilesAndBytesUpToTheLastNewline) {
    TempHome home;
    const auto line = usageLine("1", "claude-opus-4-5", 5);
    home.transcript("p/s1.jsonl", line + "{\"partial\":");
    home.transcript("p/s2.jsonl", usageLine("2", "claude-opus-4-5", 5), ".claude-yahoo");
    for (bool parallel : {false, true}) {
        auto r = Scanner::scan(SourceHome::defaults(home.path()), parallel);
        const auto& d = r.diagnostics;
        EXPECT_EQ(d.filesScanned, 2);
        EXPECT_TRUE(d.filesUnreadable.empty());
        EXPECT_EQ(d.bytesRead, 2 * line.size());
        EXPECT_EQ(d.uniqueRequests, 2);
        EXPECT_EQ(r.records.size(), 2u);
        EXPECT_EQ(d.perHome,
                  (std::map<std::string, std::int64_t>{{".claude", 1}, {".claude-yahoo", 1}}));
    }
}

TEST(FullScan, UnreadableFilesAreNamedAndCounted) {
    TempHome home;
    const auto line = usageLine("1", "claude-opus-4-5", 5);
    home.transcript("p/a.jsonl", line);
    auto locked = home.transcript("p/b.jsonl", usageLine("2", "claude-opus-4-5", 5));
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    if (::access(locked.c_str(), R_OK) == 0) {
        // A user who may read anything: a regular file that opens but fails to read.
        if (!std::filesystem::exists("/proc/self/mem")) GTEST_SKIP() << "no unreadable file to use";
        std::filesystem::remove(locked);
        std::filesystem::create_symlink("/proc/self/mem", locked);
    }
    for (bool parallel : {false, true}) {
        auto r = Scanner::scan(SourceHome::defaults(home.path()), parallel);
        EXPECT_EQ(r.diagnostics.filesScanned, 2);
        EXPECT_EQ(r.diagnostics.filesUnreadable, std::vector<std::string>{locked});
        EXPECT_EQ(r.diagnostics.bytesRead, line.size());
        EXPECT_EQ(r.records.size(), 1u);
    }
}

TEST(FullScan, CrossFileRuleKeepsTheLowestRankWhateverTheWorkers) {
    TempHome home;
    // Ten files; the shared request appears in ranks 3 and 7 with different models,
    // the rank-7 copy earlier and with more output.
    for (int i = 0; i < 10; ++i) {
        std::string body = usageLine("own" + std::to_string(i), "claude-haiku-4-5", i + 1);
        if (i == 3) body += usageLine("shared", "claude-opus-4-5", 10, "2025-10-05T15:00:00Z");
        if (i == 7) body += usageLine("shared", "claude-sonnet-4-5", 99, "2025-10-05T12:00:00Z");
        char name[32];
        std::snprintf(name, sizeof name, "p/f%02d.jsonl", i);
        home.transcript(name, body);
    }
    auto serial = Scanner::scanKeyed(SourceHome::defaults(home.path()), false);
    auto parallel = Scanner::scanKeyed(SourceHome::defaults(home.path()), true);
    for (const auto* k : {&serial, &parallel}) {
        const auto& shared = k->records.at("m-shared:r-shared");
        EXPECT_EQ(shared.model, "claude-opus-4-5");
        EXPECT_EQ(shared.sourceRank, 3);
        EXPECT_EQ(shared.output, 99);
        EXPECT_EQ(shared.timestamp, *Timestamp::parse("2025-10-05T12:00:00Z"));
        EXPECT_EQ(k->diagnostics.uniqueRequests, 11);
    }
    expectSameDiagnostics(serial.diagnostics, parallel.diagnostics);
    expectSameRecords(serial.records, parallel.records);
}

TEST(CrossFileRule, BaseIsTheSmallerRankAndTheExistingOneOnATie) {
    UsageRecord a;
    a.model = "a";
    a.sourceRank = 5;
    a.output = 10;
    a.timestamp = 100;
    a.cacheWriteBreakdownAssumed = true;
    UsageRecord m = a;
    UsageRecord b = a;
    b.model = "b";
    b.sourceRank = 2;
    b.output = 4;
    b.webSearch = 3;
    b.timestamp = 200;
    b.cacheWriteBreakdownAssumed = false;
    Scanner::combineCrossFile(m, b);
    EXPECT_EQ(m.model, "b");
    EXPECT_EQ(m.sourceRank, 2);
    EXPECT_FALSE(m.cacheWriteBreakdownAssumed);
    EXPECT_EQ(m.output, 10);
    EXPECT_EQ(m.webSearch, 3);
    EXPECT_EQ(m.timestamp, 100);
    UsageRecord c = b;
    c.model = "c";
    Scanner::combineCrossFile(m, c);
    EXPECT_EQ(m.model, "b");
}

TEST(FullScan, SerialAndParallelAgreeOnAMixedTree) {
    TempHome home;
    int n = 0;
    for (const char* h : {".claude", ".claude-work", ".claude-outlook"}) {
        for (int f = 0; f < 7; ++f) {
            std::string body;
            for (int i = 0; i < 30; ++i) {
                int id = (n * 7 + i) % 45; // requests repeat within and across files and homes
                body += usageLine(std::to_string(id), f % 2 ? "claude-opus-4-5" : "other-model",
                                  (i * 13 + f) % 50);
                if (i % 9 == 0)
                    body += R"({"message":{"usage":{"input_tokens":0}}})"
                            "\n";
                if (i % 11 == 0)
                    body += R"({"broken": "usage")"
                            "\n";
                body += R"({"type":"user","message":{"content":"hi"}})"
                        "\n";
            }
            home.transcript("proj" + std::to_string(f % 3) + "/f" + std::to_string(f) + ".jsonl",
                            body, h);
            ++n;
        }
    }
    auto serial = Scanner::scanKeyed(SourceHome::defaults(home.path()), false);
    auto parallel = Scanner::scanKeyed(SourceHome::defaults(home.path()), true);
    expectSameDiagnostics(serial.diagnostics, parallel.diagnostics);
    expectSameRecords(serial.records, parallel.records);
    EXPECT_EQ(serial.diagnostics.filesScanned, 21);
    EXPECT_EQ(serial.diagnostics.usageLines, 21 * (30 + 4 + 3));
    EXPECT_EQ(serial.diagnostics.skippedZeroUsage, 21 * 4);
    EXPECT_EQ(serial.diagnostics.rejectedInvalidJSON, 21 * 3);
    EXPECT_EQ(serial.diagnostics.uniqueRequests, 45);
}
