#include <gtest/gtest.h>

#include <unordered_set>

#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/pricing/Pricing.hpp"

using namespace vantery;

TEST(AgentIdentity, ParsesNamedAgents) {
    EXPECT_EQ(AgentIdentity::parse("aplanner-0123456789abcdef"),
              AgentIdentity::named("planner", "aplanner-0123456789abcdef"));
    EXPECT_EQ(AgentIdentity::parse("areview-bot-0123456789abcdef0"),
              AgentIdentity::named("review-bot", "areview-bot-0123456789abcdef0"));
    // Full-width lower-case hexadecimal digits count as digits.
    std::string fullWidth = "aplanner-";
    for (int i = 0; i < 16; ++i)
        fullWidth += "\xEF\xBC\x91"; // U+FF11
    EXPECT_EQ(AgentIdentity::parse(fullWidth).kind(), AgentIdentity::Kind::named);
    std::string fullWidthLetters = "aplanner-";
    for (int i = 0; i < 16; ++i)
        fullWidthLetters += "\xEF\xBD\x86"; // U+FF46 (f)
    EXPECT_EQ(AgentIdentity::parse(fullWidthLetters).kind(), AgentIdentity::Kind::named);
}

TEST(AgentIdentity, EverythingElseIsAnonymousOrMain) {
    EXPECT_EQ(AgentIdentity::parse(std::nullopt), AgentIdentity::mainSession());
    EXPECT_EQ(AgentIdentity::parse(""), AgentIdentity::mainSession());
    for (const char* id :
         {"a-0123456789abcdef", "aplanner-0123456789ABCDEF", "aplanner-0123456789abcde",
          "planner-0123456789abcdef", "aplanner-0123456789abcdef01", "aplanner-0123456789abcdeg",
          "aplanner0123456789abcdef", "a2898e3", "a", "aplanner-"}) {
        auto a = AgentIdentity::parse(id);
        EXPECT_EQ(a, AgentIdentity::anonymous(id)) << id;
        EXPECT_EQ(a.rawId(), std::optional<std::string>(id));
    }
}

TEST(AgentIdentity, TheLeadingAAndTheLastDashAreWholeCharacters) {
    // An "a" with a combining acute accent is another character.
    EXPECT_EQ(AgentIdentity::parse("a\u0301planner-0123456789abcdef").kind(),
              AgentIdentity::Kind::anonymous);
    // A prepended mark makes "\u0600-" one character, which is no "-": there is none.
    EXPECT_EQ(AgentIdentity::parse("aplanner\u0600-0123456789abcdef").kind(),
              AgentIdentity::Kind::anonymous);
    EXPECT_EQ(AgentIdentity::parse("aplan-\u0301ner-0123456789abcdef"),
              AgentIdentity::named("plan-\u0301ner", "aplan-\u0301ner-0123456789abcdef"));
}

TEST(AgentIdentity, LabelsAndKeys) {
    EXPECT_EQ(AgentIdentity::mainSession().label(), "main session");
    EXPECT_FALSE(AgentIdentity::mainSession().isSubagent());
    EXPECT_FALSE(AgentIdentity::mainSession().rawId());
    EXPECT_EQ(AgentIdentity::anonymous("abc").label(), "anonymous agent abc");
    EXPECT_EQ(AgentIdentity::anonymous("f00dfeedcafe").label(), "anonymous agent f00dfeedc");
    EXPECT_EQ(AgentIdentity::named("planner", "aplanner-0123456789abcdef").label(), "planner");
    EXPECT_TRUE(AgentIdentity::named("p", "x").isSubagent());

    std::unordered_set<AgentIdentity> set;
    set.insert(AgentIdentity::named("planner", "aplanner-0123456789abcdef"));
    set.insert(AgentIdentity::anonymous("aplanner-0123456789abcdef"));
    set.insert(AgentIdentity::named("planner", "aplanner-fedcba9876543210"));
    set.insert(AgentIdentity::named("planner", "aplanner-0123456789abcdef"));
    set.insert(AgentIdentity::mainSession());
    EXPECT_EQ(set.size(), 4u);
    EXPECT_EQ(AgentIdentity::named("a", "b").hash(), AgentIdentity::named("a", "b").hash());
}

TEST(UsageRecord, TotalTokensLeavesOutWebRequests) {
    UsageRecord r;
    r.webSearch = 3;
    EXPECT_EQ(r.totalTokens(), 0);
    r.input = 1;
    r.output = 2;
    r.cacheWrite5m = 3;
    r.cacheWrite1h = 4;
    r.cacheRead = 5;
    EXPECT_EQ(r.totalTokens(), 15);
    r.cacheRead = INT64_MAX;
    EXPECT_EQ(r.totalTokens(), INT64_MAX);
    EXPECT_EQ(UsageRecord{}.sourceRank, INT64_MAX);
}

TEST(SourceHome, DefaultsAndPlainConcatenation) {
    auto homes = SourceHome::defaults("/Users/u");
    ASSERT_EQ(homes.size(), 4u);
    EXPECT_EQ(homes[0].name, ".claude");
    EXPECT_EQ(homes[0].projectsPath, "/Users/u/.claude/projects");
    EXPECT_EQ(homes[0].teamsPath, "/Users/u/.claude/teams");
    EXPECT_EQ(homes[1].name, ".claude-work");
    EXPECT_EQ(homes[2].name, ".claude-outlook");
    EXPECT_EQ(homes[3].name, ".claude-yahoo");
    EXPECT_EQ(SourceHome(".claude", "/h/").projectsPath, "/h//.claude/projects");
}

TEST(ScanDiagnostics, MergeAndTotals) {
    ScanDiagnostics a, b;
    a.filesScanned = 1;
    a.filesUnreadable = {"x"};
    a.lines() = LineCounters{.notUsageBearing = 50,
                             .skippedZeroUsage = 60,
                             .rejectedInvalidJSON = 1,
                             .rejectedNoMessage = 2,
                             .rejectedNoTimestamp = 3,
                             .rejectedNoIdentity = 4};
    a.longestLineBytes = 10;
    a.longestLinePath = "mine";
    a.perHome = {{".claude", 2}, {".claude-work", 1}};
    a.uniqueRequests = 7;
    a.duration = 1.5;
    EXPECT_EQ(a.totalRejected(), 10);
    b.filesScanned = 2;
    b.filesUnreadable = {"y"};
    b.bytesRead = 9;
    b.lines() = LineCounters{.usageLines = 4, .rejectedInvalidJSON = 1};
    b.longestLineBytes = 10;
    b.longestLinePath = "theirs";
    b.perHome = {{".claude", 3}, {".claude-yahoo", 0}};
    b.uniqueRequests = 99;
    b.duration = 9;
    a.merge(b);
    EXPECT_EQ(a.filesScanned, 3);
    EXPECT_EQ(a.filesUnreadable, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(a.bytesRead, 9u);
    EXPECT_EQ(a.usageLines, 4);
    EXPECT_EQ(a.rejectedInvalidJSON, 2);
    EXPECT_EQ(a.longestLinePath, "mine"); // equal lengths keep the receiver's
    EXPECT_EQ(a.perHome, (std::map<std::string, std::int64_t>{
                             {".claude", 5}, {".claude-work", 1}, {".claude-yahoo", 0}}));
    EXPECT_EQ(a.uniqueRequests, 7);
    EXPECT_EQ(a.duration, 1.5);
    b.longestLineBytes = 11;
    a.merge(b);
    EXPECT_EQ(a.longestLinePath, "theirs");
}

TEST(NormalizeModel, TrimsLowersAndDropsDateSuffixes) {
    EXPECT_EQ(Pricing::normalizeModel("claude-sonnet-4-5-20250929"), "claude-sonnet-4-5");
    EXPECT_EQ(Pricing::normalizeModel("  Claude-Opus-4-1[1M] \n"), "claude-opus-4-1");
    EXPECT_EQ(Pricing::normalizeModel("claude[1m]-opus[1M]"), "claude-opus");
    EXPECT_EQ(Pricing::normalizeModel("unknown"), "unknown");
    EXPECT_EQ(Pricing::normalizeModel("claude-x-2025092"),
              "claude-x-2025092"); // five digits after -20
    EXPECT_EQ(Pricing::normalizeModel("claude-x-19250929"), "claude-x-19250929"); // not -20
    EXPECT_EQ(Pricing::normalizeModel("-20250929"), "-20250929"); // fewer than 10 characters
    EXPECT_EQ(Pricing::normalizeModel("x-20250929"), "x");
    EXPECT_EQ(Pricing::normalizeModel("\xC2\xA0sonnet\xE2\x80\x83"), "sonnet"); // Unicode blanks
    EXPECT_EQ(Pricing::normalizeModel("\u1680\u3000sonnet\u205f\u2029"), "sonnet");
    // Characters, not bytes: digits of another script, and a digit with a mark on it.
    EXPECT_EQ(Pricing::normalizeModel("claude-x-20\u0662\u0665\u0660\u0669\u0662\u0669"),
              "claude-x");
    EXPECT_EQ(Pricing::normalizeModel("claude-x-2025092\uff19"), "claude-x");
    EXPECT_EQ(Pricing::normalizeModel("claude-x-20250929\u0301"), "claude-x");
    EXPECT_EQ(Pricing::normalizeModel("\u00e9-20250929"), "\u00e9"); // 10 characters, 11 bytes
    EXPECT_EQ(Pricing::normalizeModel("claude-x-2\u03010250929"), "claude-x-2\u03010250929");
    EXPECT_EQ(Pricing::normalizeModel("claude-x-2025092a"), "claude-x-2025092a");
    EXPECT_EQ(Pricing::normalizeModel(""), "");
    EXPECT_EQ(Pricing::normalizeModel("CLAUDE-\xC3\x96"), "claude-\xC3\xB6");
}
