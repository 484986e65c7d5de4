// Scans the real transcripts kept beside the project (copied into a temporary home)
// and checks figures worked out independently from the files.
#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.hpp"
#include "ingest/LineReader.hpp"
#include "vantery/ingest/Scanner.hpp"

using namespace vantery;
namespace fs = std::filesystem;

namespace {

class RealTranscripts : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path source = fs::path(VANTERY_SHARED_DIR) / "testdata" / "real";
        if (!fs::is_directory(source)) GTEST_SKIP() << "no real transcripts at " << source;
        projects = home.mkdir(".claude/projects");
        fs::copy(source, projects, fs::copy_options::recursive);
    }

    vantery::testing::TempHome home;
    std::string projects;
};

} // namespace

TEST_F(RealTranscripts, CountersMatchTheFiles) {
    auto scan = Scanner::scanKeyed(SourceHome::defaults(home.path()), true);
    const auto& d = scan.diagnostics;
    EXPECT_EQ(d.filesScanned, 26);
    EXPECT_TRUE(d.filesUnreadable.empty());
    EXPECT_EQ(d.bytesRead, 6'645'258u);
    EXPECT_EQ(d.usageLines, 883);
    EXPECT_EQ(d.rejectedInvalidJSON, 6);
    EXPECT_EQ(d.rejectedNoMessage, 45); // progress lines with a nested copy of usage
    EXPECT_EQ(d.notUsageBearing, 4);
    EXPECT_EQ(d.rejectedNoTimestamp, 0);
    EXPECT_EQ(d.rejectedNoIdentity, 0); // six requests of 2.0.64 carry no request id
    EXPECT_EQ(d.skippedZeroUsage, 5);
    EXPECT_EQ(d.longestLineBytes, 150'702);
    EXPECT_EQ(d.longestLinePath, projects + "/M-Claude/CHAT_LOGS/agent-a8901b3.jsonl");
    EXPECT_EQ(d.uniqueRequests, 424);
    EXPECT_EQ(d.perHome, (std::map<std::string, std::int64_t>{{".claude", 26}}));

    std::int64_t input = 0, output = 0, cacheRead = 0, cw5 = 0, cw1 = 0, assumed = 0;
    std::map<std::string, int> models;
    for (const auto& [key, r] : scan.records) {
        input += r.input;
        output += r.output;
        cacheRead += r.cacheRead;
        cw5 += r.cacheWrite5m;
        cw1 += r.cacheWrite1h;
        assumed += r.cacheWriteBreakdownAssumed;
        ++models[r.model];
    }
    EXPECT_EQ(input, 12'239);
    EXPECT_EQ(output, 81'770);
    EXPECT_EQ(cacheRead, 24'195'771);
    EXPECT_EQ(cw5, 1'704'212);
    EXPECT_EQ(cw1, 57'373);
    EXPECT_EQ(assumed, 0);
    EXPECT_EQ(models, (std::map<std::string, int>{{"claude-haiku-4-5", 13},
                                                  {"claude-opus-4-1", 25},
                                                  {"claude-opus-4-5", 109},
                                                  {"claude-opus-4-6", 157},
                                                  {"claude-sonnet-4", 97},
                                                  {"claude-sonnet-4-5", 23}}));
}

TEST_F(RealTranscripts, StreamingRepeatsAndCrossFileCopiesMerge) {
    for (bool parallel : {false, true}) {
        auto scan = Scanner::scanKeyed(SourceHome::defaults(home.path()), parallel);
        // Three streaming lines with output 5, 5 and 147.
        const auto& streamed =
            scan.records.at("msg_01E9edsA5WQatpwe7yFQe2af:req_011CWg55TovLWpKZN2EBctYw");
        EXPECT_EQ(streamed.output, 147);
        EXPECT_EQ(streamed.timestamp, *Timestamp::parse("2026-01-01T05:01:56.676Z"));

        // One request copied into three sessions: the first listed file gives the
        // session, the earliest copy the time, the largest the output.
        const auto& copied =
            scan.records.at("msg_01XJbUUaAZQJ98KvdRok42oJ:req_011CSX7f5huB6UfCd5fdiktq");
        EXPECT_EQ(copied.sessionId, "30ea3608-ac58-4466-9f4f-417b13bb3644");
        EXPECT_EQ(copied.timestamp, *Timestamp::parse("2025-08-26T22:32:35.115Z"));
        EXPECT_EQ(copied.output, 107);
        EXPECT_EQ(copied.model, "claude-sonnet-4");
        auto files = Scanner::fileList(SourceHome::defaults(home.path()), nullptr);
        EXPECT_EQ(files[static_cast<std::size_t>(copied.sourceRank)].path,
                  projects + "/claude-code-archiver/30ea3608-ac58-4466-9f4f-417b13bb3644.jsonl");

        // A line of Claude Code 2.0.64 without a request id: known by its message id.
        EXPECT_EQ(scan.records.at("msg_01YLdkemP6QabVsfJvMNdqFP:").cacheWrite5m, 20'217);

        // Sub-agent transcripts carry short anonymous agent ids.
        const auto& sub =
            scan.records.at("msg_016xcKQRzQXv2gLKoiSyUZxc:req_011CY4TSxK7aKeeVwvVX81aP");
        EXPECT_EQ(sub.agent, AgentIdentity::anonymous("a2898e3"));
        EXPECT_EQ(sub.agent.label(), "anonymous agent a2898e3");
    }
}
