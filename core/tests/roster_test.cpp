#include <gtest/gtest.h>

#include "TempDir.hpp"
#include "vantery/ingest/AgentRoster.hpp"

using namespace vantery;
using vantery::testing::TempDir;

namespace {

struct Rosters : ::testing::Test {
    TempDir home;
    std::vector<SourceHome> homes{SourceHome(".claude", home.path()),
                                  SourceHome(".claude-work", home.path())};

    void roster(std::string_view claudeHome, std::string_view session, std::string_view json) {
        home.write(std::string(claudeHome) + "/teams/" + std::string(session) + "/config.json",
                   json);
    }
    AgentRoster loaded() {
        AgentRoster r;
        r.load(homes);
        return r;
    }
};

AgentIdentity named(const std::string& name) {
    return AgentIdentity::named(name, "a" + name + "-0123456789abcdef");
}

} // namespace

TEST_F(Rosters, ReadsMembersWithTheirOptionalFields) {
    roster(".claude", "session-1a2b3c4d",
           R"({"name":"t","members":[{"agentId":"planner@session-1a2b3c4d","agentType":"plan",
               "model":"claude-opus-4-5","cwd":"/w","prompt":"ignored"},
              {"agentId":"coder@1a2b3c4d","model":7}]})");
    AgentRoster r = loaded();
    EXPECT_EQ(r.coverage().rostersRead, 1);
    EXPECT_EQ(r.coverage().entriesLoaded, 2);
    auto planner = r.entry(named("planner"), "1a2b3c4d-5e6f-7a8b");
    ASSERT_TRUE(planner);
    EXPECT_EQ(*planner, (RosterEntry{"planner", "plan", "claude-opus-4-5", "/w", "1a2b3c4d"}));
    auto coder = r.entry(named("coder"), "1a2b3c4d");
    ASSERT_TRUE(coder);
    EXPECT_FALSE(coder->model); // not a string
    EXPECT_FALSE(coder->agentType);
}

TEST_F(Rosters, SkipsWhatIsNotARosterWithoutCounting) {
    home.write(".claude/teams/session-x", "not a folder");
    roster(".claude", "other-1", R"({"members":[{"agentId":"a@b"}]})");      // wrong prefix
    roster(".claude", "session-broken", R"({"members":[{"agentId":"a@b"})"); // broken JSON
    roster(".claude", "session-array", R"([{"members":[]}])");               // not an object
    roster(".claude", "session-empty", R"({})");
    roster(".claude", "session-mixed", R"({"members":[{"agentId":"a@b"}, 3]})"); // not all objects
    roster(".claude", "session-str", R"({"members":"a@b"})");
    home.mkdir(".claude/teams/session-nofile");
    AgentRoster r = loaded();
    EXPECT_EQ(r.coverage().rostersRead, 0);
    EXPECT_EQ(r.coverage().entriesLoaded, 0);
}

TEST_F(Rosters, EmptyMemberListCountsARosterButNoEntry) {
    roster(".claude-work", "session-1", R"({"members":[]})");
    AgentRoster r = loaded();
    EXPECT_EQ(r.coverage().rostersRead, 1);
    EXPECT_EQ(r.coverage().entriesLoaded, 0);
}

TEST_F(Rosters, SameKeyReplacesEarlierEntryAndCountsAgain) {
    roster(".claude", "session-a",
           R"({"members":[{"agentId":"planner@session-1a2b3c4d","model":"first"}]})");
    roster(".claude-work", "session-b",
           R"({"members":[{"agentId":"planner@1a2b3c4d","model":"second"}]})");
    AgentRoster r = loaded();
    EXPECT_EQ(r.coverage().rostersRead, 2);
    EXPECT_EQ(r.coverage().entriesLoaded, 2);
    EXPECT_EQ(r.entry(named("planner"), "1a2b3c4d")->model, "second");
}

TEST_F(Rosters, SkipsMembersWithUnusableIds) {
    roster(
        ".claude", "session-a",
        R"({"members":[{"agentId":"@1a2b3c4d"},{"agentId":"planner@"},{"agentId":"planner@session-"},
               {"agentId":"planner"},{},{"agentId":5},{"agentType":"x"},{"agentId":"a@b@c"}]})");
    AgentRoster r = loaded();
    EXPECT_EQ(r.coverage().rostersRead, 1);
    EXPECT_EQ(r.coverage().entriesLoaded, 1);
    auto split = r.entry(named("a"), "b@c");
    ASSERT_TRUE(split); // split at the first "@"
    EXPECT_EQ(split->sessionId, "b@c");
}

TEST_F(Rosters, LookupUsesTheFirstEightCharactersOfTheSession) {
    roster(".claude", "session-a",
           R"({"members":[{"agentId":"planner@1a2b3c4d"},{"agentId":"planner@1a2b3c4"}]})");
    AgentRoster r = loaded();
    EXPECT_EQ(r.entry(named("planner"), "1a2b3c4d-5e6f")->sessionId, "1a2b3c4d");
    EXPECT_EQ(r.entry(named("planner"), "1a2b3c4")->sessionId, "1a2b3c4");
    EXPECT_FALSE(r.entry(named("planner"), "1a2b3c4e"));
    EXPECT_FALSE(r.entry(AgentIdentity::anonymous("planner"), "1a2b3c4d"));
    EXPECT_FALSE(r.entry(AgentIdentity::mainSession(), "1a2b3c4d"));
}

TEST_F(Rosters, LoadAddsToWhatIsThere) {
    roster(".claude", "session-a", R"({"members":[{"agentId":"p@1"}]})");
    AgentRoster r = loaded();
    r.load(homes);
    EXPECT_EQ(r.coverage().rostersRead, 2);
    EXPECT_EQ(r.coverage().entriesLoaded, 2);
}

TEST_F(Rosters, CoverageCountsNamedMatchedAndAnonymous) {
    roster(".claude", "session-a",
           R"({"members":[{"agentId":"planner@1a2b3c4d"},{"agentId":"coder@1a2b3c4d"}]})");
    AgentRoster r = loaded();
    EXPECT_EQ(r.coverage().matchFraction(), Estimate<double>::unknown(UnknownReason::noData()));
    r.recordCoverage({{named("planner"), "1a2b3c4d-x"},
                      {named("coder"), "1a2b3c4d"},
                      {named("tester"), "1a2b3c4d"},
                      {AgentIdentity::anonymous("zz"), "1a2b3c4d"},
                      {AgentIdentity::mainSession(), "1a2b3c4d"}});
    const auto& c = r.coverage();
    EXPECT_EQ(c.namedAgentsSeen, 3);
    EXPECT_EQ(c.namedAgentsMatched, 2);
    EXPECT_EQ(c.anonymousAgentsSeen, 1);
    EXPECT_DOUBLE_EQ(c.matchFraction().knownValue(), 2.0 / 3.0);
}
