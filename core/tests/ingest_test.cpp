#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ingest/LineReader.hpp"
#include "vantery/ingest/Scanner.hpp"

using namespace vantery;

namespace {

struct Ingest {
    RequestMap map;
    ScanDiagnostics diag;
    void operator()(std::string_view line, std::string path = "/p/abc-123.jsonl",
                    std::int64_t rank = 0) {
        Scanner::ingest(line, path, ".claude", rank, map, diag);
    }
    const UsageRecord& only() const {
        EXPECT_EQ(map.size(), 1u);
        return map.begin()->second;
    }
};

// An ordinary usage line with the given usage object text.
std::string line(std::string usage, std::string extraTop = "",
                 std::string ts = "2025-10-05T14:03:07Z", std::string mid = "msg_1",
                 std::string rid = "req_1") {
    return R"({"type":"assistant","timestamp":")" + ts + R"(","requestId":")" + rid +
           R"(","sessionId":"s1","cwd":"/w/repo")" + extraTop + R"(,"message":{"id":")" + mid +
           R"(","model":"claude-sonnet-4-5-20250929","usage":)" + usage + "}}";
}

} // namespace

TEST(Ingest, CountsNothingForLinesWithoutTheNeedleButTracksTheLongestLine) {
    Ingest in;
    in(R"({"type":"user","message":{"content":"usage without quotes"}})", "/a.jsonl");
    in("short", "/b.jsonl");
    EXPECT_EQ(in.diag.usageLines, 0);
    EXPECT_EQ(in.diag.longestLinePath, "/a.jsonl");
    auto longest = in.diag.longestLineBytes;
    // An equally long line elsewhere leaves the path alone.
    in(std::string(static_cast<std::size_t>(longest), 'x'), "/c.jsonl");
    EXPECT_EQ(in.diag.longestLinePath, "/a.jsonl");
    in(std::string(static_cast<std::size_t>(longest) + 1, 'x'), "/c.jsonl");
    EXPECT_EQ(in.diag.longestLinePath, "/c.jsonl");
    EXPECT_TRUE(in.map.empty());
}

TEST(Ingest, RejectsInOrderWithOneCounterPerLine) {
    Ingest in;
    in(R"(["usage"])");                                        // not an object
    in(R"({"message":{"usage":{"input_tokens":1}})");          // broken JSON
    in(R"({"message":{"usage":{}}} trailing)");                // not wholly JSON
    in(R"({"usage":{"input_tokens":1}})");                     // no message
    in(R"({"usage":1,"message":"text"})");                     // message not an object
    in(R"({"usage":1,"message":null})");                       // message not an object
    in(R"({"usage":1,"message":{}})");                         // empty message: no usage in it
    in(R"({"message":{"content":[{"input":{"usage":{}}}]}})"); // needle only in nested content
    in(R"({"message":{"usage":"lots"}})");                     // usage not an object
    EXPECT_EQ(in.diag.usageLines, 9);
    EXPECT_EQ(in.diag.rejectedInvalidJSON, 3);
    EXPECT_EQ(in.diag.rejectedNoMessage, 3);
    EXPECT_EQ(in.diag.notUsageBearing, 3);
    EXPECT_EQ(in.diag.totalRejected(), 6);
    EXPECT_TRUE(in.map.empty());
}

TEST(Ingest, ZeroUsageComesBeforeTimestampAndTimestampBeforeIdentity) {
    Ingest in;
    // Zero usage and no timestamp: only zero usage.
    in(R"({"message":{"id":"m","usage":{"input_tokens":0}}})");
    // A cache-creation split alone, total 0: zero usage.
    in(line(R"({"cache_creation":{"ephemeral_5m_input_tokens":5}})"));
    // No timestamp and no identity: only the timestamp.
    in(R"({"message":{"usage":{"input_tokens":3}}})");
    in(line(R"({"input_tokens":3})", "", "2025-10-05"));
    // Timestamp fine, identity missing or empty.
    in(line(R"({"input_tokens":3})", "", "2025-10-05T14:03:07Z", ""));
    in(line(R"({"input_tokens":3})", "", "2025-10-05T14:03:07Z", "m", ""));
    EXPECT_EQ(in.diag.usageLines, 6);
    EXPECT_EQ(in.diag.skippedZeroUsage, 2);
    EXPECT_EQ(in.diag.rejectedNoTimestamp, 2);
    EXPECT_EQ(in.diag.rejectedNoIdentity, 2);
    EXPECT_EQ(in.diag.totalRejected(), 4);
    EXPECT_TRUE(in.map.empty());
}

TEST(Ingest, AWebFetchAloneIsUsage) {
    Ingest in;
    in(line(R"({"input_tokens":0,"server_tool_use":{"web_fetch_requests":1}})"));
    EXPECT_EQ(in.only().webFetch, 1);
    EXPECT_EQ(in.only().totalTokens(), 0);
}

TEST(Ingest, RequestIdFallsBackOnlyWhenNotAString) {
    Ingest in;
    in(R"({"timestamp":"2025-10-05T14:03:07Z","requestId":7,"request_id":"r2","message":{"id":"m","usage":{"input_tokens":1}}})");
    ASSERT_EQ(in.map.count("m:r2"), 1u);
    in(R"({"timestamp":"2025-10-05T14:03:07Z","requestId":"","request_id":"r3","message":{"id":"m","usage":{"input_tokens":1}}})");
    EXPECT_EQ(in.diag.rejectedNoIdentity, 1);
    EXPECT_EQ(in.map.size(), 1u);
}

TEST(Ingest, WithoutARequestIdTheMessageIdAloneIdentifies) {
    Ingest in;
    auto l = [](std::string_view top, std::string_view id) {
        return R"({"timestamp":"2025-10-05T14:03:07Z")" + std::string(top) +
               R"(,"message":{"id":)" + std::string(id) + R"(,"usage":{"input_tokens":1}}})";
    };
    in(l(R"(,"requestId":null)", R"("m")")); // counted: null is no request id
    in(l(R"(,"requestId":7)", R"("m")"));    // the same request again
    in(l("", R"("a:b")"));                   // an id alone holding a ":"
    in(l(R"(,"requestId":"b:")", R"("a")")); // must not meet "a:b" alone
    in(l(R"(,"requestId":"")", R"("e")"));   // empty request id: rejected
    in(l("", R"("")"));                      // empty message id: rejected
    in(l("", "null"));                       // no message id: rejected
    EXPECT_EQ(in.diag.rejectedNoIdentity, 3);
    EXPECT_EQ(in.map.size(), 3u);
    EXPECT_EQ(in.map.count("m:"), 1u);
    EXPECT_EQ(in.map.count("a:b:"), 1u);
}

TEST(Ingest, StreamingRepeatsMergeByMaximumAndEarliestTime) {
    Ingest in;
    in(line(R"({"input_tokens":3,"output_tokens":10})", R"(,"agentId":"aplanner-0123456789abcdef")",
            "2025-10-05T14:03:08Z"));
    in(R"({"timestamp":"2025-10-05T14:03:07Z","requestId":"req_1","sessionId":"other","cwd":"/elsewhere","message":{"id":"msg_1","model":"claude-opus-4-1","usage":{"input_tokens":2,"output_tokens":250}}})");
    in(line(R"({"input_tokens":3,"output_tokens":240})", "", "2025-10-05T14:03:09Z"));
    const auto& r = in.only();
    EXPECT_EQ(r.output, 250);
    EXPECT_EQ(r.input, 3);
    EXPECT_DOUBLE_EQ(r.timestamp, *Timestamp::parse("2025-10-05T14:03:07Z"));
    // Descriptive fields stay those of the first line.
    EXPECT_EQ(r.model, "claude-sonnet-4-5");
    EXPECT_EQ(r.sessionId, "s1");
    EXPECT_EQ(r.rawCwd, "/w/repo");
    EXPECT_EQ(r.agent, AgentIdentity::named("planner", "aplanner-0123456789abcdef"));
    EXPECT_EQ(in.diag.usageLines, 3);
}

TEST(Ingest, FillsANewRecordFromTheLine) {
    Ingest in;
    in(R"({"timestamp":"2025-10-05T14:03:07.5Z","requestId":"r","agentId":"helper","message":{"id":"m","usage":{"input_tokens":5,"output_tokens":6,"cache_read_input_tokens":7,"server_tool_use":{"web_search_requests":2,"web_fetch_requests":1}}}})",
       "/p/abc-123.jsonl", 4);
    const auto& r = in.only();
    EXPECT_EQ(in.map.begin()->first, "m:r");
    EXPECT_EQ(r.model, "unknown");
    EXPECT_EQ(r.sessionId, "abc-123"); // from the file name
    EXPECT_EQ(r.rawCwd, "");
    EXPECT_EQ(r.agent, AgentIdentity::anonymous("helper"));
    EXPECT_EQ(r.sourceHome, ".claude");
    EXPECT_EQ(r.sourceRank, 4);
    EXPECT_EQ(r.input, 5);
    EXPECT_EQ(r.output, 6);
    EXPECT_EQ(r.cacheRead, 7);
    EXPECT_EQ(r.webSearch, 2);
    EXPECT_EQ(r.webFetch, 1);
    EXPECT_DOUBLE_EQ(r.timestamp, 1759672987.5);
}

TEST(Ingest, CacheWriteSplitIsUsedOnlyWhenItAddsUp) {
    auto ingestOne = [](std::string usage) {
        Ingest in;
        in(line(std::move(usage)));
        return in.only();
    };
    auto noSplit = ingestOne(R"({"cache_creation_input_tokens":1000})");
    EXPECT_EQ(noSplit.cacheWrite5m, 1000);
    EXPECT_EQ(noSplit.cacheWrite1h, 0);
    EXPECT_TRUE(noSplit.cacheWriteBreakdownAssumed);

    auto split = ingestOne(
        R"({"cache_creation_input_tokens":1000,"cache_creation":{"ephemeral_5m_input_tokens":600,"ephemeral_1h_input_tokens":400}})");
    EXPECT_EQ(split.cacheWrite5m, 600);
    EXPECT_EQ(split.cacheWrite1h, 400);
    EXPECT_FALSE(split.cacheWriteBreakdownAssumed);

    auto bad = ingestOne(
        R"({"cache_creation_input_tokens":1000,"cache_creation":{"ephemeral_5m_input_tokens":600,"ephemeral_1h_input_tokens":300}})");
    EXPECT_EQ(bad.cacheWrite5m, 1000);
    EXPECT_EQ(bad.cacheWrite1h, 0);
    EXPECT_TRUE(bad.cacheWriteBreakdownAssumed);

    // A total of 0 is never assumed; the stray split is dropped.
    auto zeroTotal =
        ingestOne(R"({"input_tokens":1,"cache_creation":{"ephemeral_1h_input_tokens":9}})");
    EXPECT_EQ(zeroTotal.cacheWrite1h, 0);
    EXPECT_FALSE(zeroTotal.cacheWriteBreakdownAssumed);
}

TEST(Ingest, CountsOfAnyJsonTypeAndRangeNeverOverflow) {
    auto ingestOne = [](std::string usage) {
        Ingest in;
        in(line(std::move(usage)));
        return in.only();
    };
    auto r = ingestOne(
        R"({"input_tokens":2.9,"output_tokens":-2.9,"cache_read_input_tokens":true,"server_tool_use":{"web_search_requests":"5","web_fetch_requests":null}})");
    EXPECT_EQ(r.input, 2);
    EXPECT_EQ(r.output, 0); // a count cannot be negative
    EXPECT_EQ(r.cacheRead, 1);
    EXPECT_EQ(r.webSearch, 0);
    EXPECT_EQ(r.webFetch, 0);

    auto huge = ingestOne(
        R"({"input_tokens":18446744073709551615,"output_tokens":1e300,"cache_read_input_tokens":-1e300})");
    EXPECT_EQ(huge.input, INT64_MAX);
    EXPECT_EQ(huge.output, INT64_MAX);
    EXPECT_EQ(huge.cacheRead, 0);
    EXPECT_EQ(huge.totalTokens(), INT64_MAX); // saturated, never wrapped

    // Valid JSON numbers beyond what 64-bit integers and doubles hold are clamped,
    // not taken for broken JSON.
    auto beyond = ingestOne(
        R"({"input_tokens":99999999999999999999999,"output_tokens":-1e400,"cache_read_input_tokens":2.5e1,"note":"1e999 -99999999999999999999999"})");
    EXPECT_EQ(beyond.input, INT64_MAX);
    EXPECT_EQ(beyond.output, 0);
    EXPECT_EQ(beyond.cacheRead, 25);
    {
        Ingest in;
        in(line(R"({"input_tokens":1e-400,"output_tokens":7,"x":[1E+999]})"));
        EXPECT_EQ(in.only().input, 0);
        EXPECT_EQ(in.only().output, 7);
        // Malformed numbers stay malformed.
        in(line(R"({"input_tokens":012,"output_tokens":1e999})", "", "2025-10-05T14:03:07Z", "m2"));
        in(line(R"({"input_tokens":1.,"output_tokens":1e999})", "", "2025-10-05T14:03:07Z", "m3"));
        EXPECT_EQ(in.diag.rejectedInvalidJSON, 2);
    }

    // A split whose sum would overflow cannot match the total.
    auto split = ingestOne(
        R"({"cache_creation_input_tokens":5,"cache_creation":{"ephemeral_5m_input_tokens":9223372036854775807,"ephemeral_1h_input_tokens":9223372036854775807}})");
    EXPECT_EQ(split.cacheWrite5m, 5);
    EXPECT_TRUE(split.cacheWriteBreakdownAssumed);
}

TEST(Ingest, NestedCopiesOfUsageDoNotCount) {
    Ingest in;
    // A progress line that carries a whole assistant message under "data".
    in(R"({"type":"progress","timestamp":"2025-10-05T14:03:07Z","data":{"message":{"message":{"id":"m","usage":{"input_tokens":4}}}}})");
    EXPECT_EQ(in.diag.usageLines, 1);
    EXPECT_EQ(in.diag.rejectedNoMessage, 1);
    EXPECT_TRUE(in.map.empty());
}

TEST(Ingest, CarriageReturnBeforeNewlineStillParses) {
    Ingest in;
    in(line(R"({"input_tokens":1})") + "\r");
    EXPECT_EQ(in.map.size(), 1u);
}

TEST(Ingest, SessionIdPrefersSessionIdThenSnakeCaseThenFileName) {
    Ingest in;
    in(R"({"timestamp":"2025-10-05T14:03:07Z","requestId":"r1","session_id":"snake","message":{"id":"m","usage":{"input_tokens":1}}})");
    in(R"({"timestamp":"2025-10-05T14:03:07Z","requestId":"r2","sessionId":"","session_id":"snake","message":{"id":"m","usage":{"input_tokens":1}}})");
    in(R"({"timestamp":"2025-10-05T14:03:07Z","requestId":"r3","sessionId":1,"message":{"id":"m","usage":{"input_tokens":1}}})",
       "/home/u/.claude/projects/x/s.e.s.jsonl");
    EXPECT_EQ(in.map.at("m:r1").sessionId, "snake");
    EXPECT_EQ(in.map.at("m:r2").sessionId, "");
    EXPECT_EQ(in.map.at("m:r3").sessionId, "s.e.s");
}

TEST(Ingest, RememberingTheLastRequestChangesNothing) {
    // The same lines with and without the remembered request, including lines that
    // return to an earlier request and lines rejected between repeats.
    std::vector<std::string> lines;
    for (int i = 0; i < 60; ++i) {
        int id = (i / 3) % 7; // runs of three, and returns to earlier ids
        lines.push_back(R"({"timestamp":"2025-10-05T14:03:)" + std::to_string(10 + (i * 7) % 40) +
                        R"(Z","requestId":"r)" + std::to_string(id) + R"(","sessionId":"s)" +
                        std::to_string(i % 4) + R"(","message":{"id":"m","model":"M)" +
                        std::to_string(i % 3) + R"(","usage":{"input_tokens":)" +
                        std::to_string(i % 5 + 1) + R"(,"output_tokens":)" +
                        std::to_string((i * 37) % 100) + "}}}");
        if (i % 5 == 0) lines.push_back(R"({"message":{"usage":{}}})");
    }
    RequestMap plain, remembered;
    ScanDiagnostics d1, d2;
    Scanner::LastRequest last;
    for (const auto& line : lines) {
        Scanner::ingest(line, "/p/f.jsonl", ".claude", 2, plain, d1);
        Scanner::ingest(line, "/p/f.jsonl", ".claude", 2, remembered, d2, last);
    }
    ASSERT_EQ(plain.size(), 7u);
    ASSERT_EQ(remembered.size(), plain.size());
    EXPECT_EQ(d1.skippedZeroUsage, d2.skippedZeroUsage);
    for (const auto& [key, r] : plain) {
        const auto& s = remembered.at(key);
        EXPECT_EQ(r.timestamp, s.timestamp) << key;
        EXPECT_EQ(r.model, s.model) << key;
        EXPECT_EQ(r.sessionId, s.sessionId) << key;
        EXPECT_EQ(r.input, s.input) << key;
        EXPECT_EQ(r.output, s.output) << key;
    }
    // First line of r0 is line 0: session s0, model m0; its largest output is among its runs.
    EXPECT_EQ(plain.at("m:r0").sessionId, "s0");
    EXPECT_EQ(plain.at("m:r0").model, "m0");
}
