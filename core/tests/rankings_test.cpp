#include <gtest/gtest.h>

#include "vantery/report/Report.hpp"

using namespace vantery;

namespace {

Bucket priced(double dollars, std::int64_t requests = 1) {
    Bucket b;
    b.requests = requests;
    b.cost.priced = dollars;
    return b;
}

template <class K> std::vector<K> keys(const std::vector<RankedEntry<K>>& ranking) {
    std::vector<K> out;
    for (const auto& e : ranking)
        out.push_back(e.key);
    return out;
}

using Strings = std::vector<std::string>;

} // namespace

TEST(Rankings, EmptyReport) {
    Report r;
    EXPECT_TRUE(r.topAgents(5, true).empty());
    EXPECT_TRUE(r.topProjects(5).empty());
    EXPECT_EQ(r.subagentSplit().main, 0);
    EXPECT_EQ(r.subagentSplit().subagent, 0);
}

TEST(Rankings, CostFirstThenKeyAscending) {
    Report r;
    r.byProject = {{"zeta", priced(5)}, {"beta", priced(5)},          {"alpha", priced(1)},
                   {"big", priced(9)},  {"unpriced-b", priced(0, 4)}, {"unpriced-a", priced(0, 7)}};
    r.bySession = {{"s2", priced(2)}, {"s1", priced(2)}, {"s3", priced(3)}};
    r.byModel = {{"m-b", priced(0)}, {"m-a", priced(0)}};
    EXPECT_EQ(keys(r.topProjects(10)),
              (Strings{"big", "beta", "zeta", "alpha", "unpriced-a", "unpriced-b"}));
    EXPECT_EQ(keys(r.topSessions(10)), (Strings{"s3", "s1", "s2"}));
    EXPECT_EQ(keys(r.topModels(10)), (Strings{"m-a", "m-b"}));
    EXPECT_EQ(keys(r.topProjects(2)), (Strings{"big", "beta"}));
    EXPECT_EQ(r.topProjects(2)[0].value.cost.priced, 9);
}

TEST(Rankings, LimitsAreTotal) {
    Report r;
    r.byProject = {{"a", priced(1)}, {"b", priced(2)}};
    EXPECT_TRUE(r.topProjects(0).empty());
    EXPECT_TRUE(r.topProjects(-3).empty());
    EXPECT_EQ(r.topProjects(1000).size(), 2u);
    EXPECT_TRUE(r.topAgents(-1, true).empty());
}

TEST(Rankings, AgentsTieOnRawIdAndMainAsDescription) {
    Report r;
    // Names and raw ids deliberately disagree in order: the raw id decides.
    auto zed = AgentIdentity::named("zed", "a1-0123456789abcdef");
    auto abe = AgentIdentity::named("abe", "a2-0123456789abcdef");
    auto anon = AgentIdentity::anonymous("0ddball");
    r.byAgent.set(zed, priced(3));
    r.byAgent.set(abe, priced(3));
    r.byAgent.set(anon, priced(3));
    r.byAgent.set(AgentIdentity(), priced(3));
    EXPECT_EQ(keys(r.topAgents(10, false)), (std::vector<AgentIdentity>{anon, zed, abe}));
    EXPECT_EQ(keys(r.topAgents(2, false)),
              (std::vector<AgentIdentity>{anon, zed})); // tie at the cut
    // "(main)" sorts before ids that begin with a digit or letter.
    EXPECT_EQ(keys(r.topAgents(10, true)),
              (std::vector<AgentIdentity>{AgentIdentity(), anon, zed, abe}));
    r.byAgent.set(AgentIdentity(), priced(1));
    EXPECT_EQ(keys(r.topAgents(10, true)).back(), AgentIdentity());
    auto split = r.subagentSplit();
    EXPECT_DOUBLE_EQ(split.main, 1);
    EXPECT_DOUBLE_EQ(split.subagent, 9);
}

TEST(Rankings, MainOnlySplit) {
    Report r;
    r.byAgent.set(AgentIdentity(), priced(4.5));
    EXPECT_DOUBLE_EQ(r.subagentSplit().main, 4.5);
    EXPECT_DOUBLE_EQ(r.subagentSplit().subagent, 0);
    EXPECT_TRUE(r.topAgents(3, false).empty());
}

TEST(Rankings, ComposedAndDecomposedKeysCompareAlike) {
    Report r;
    // "é" precomposed (U+00E9) versus "e" + combining acute (U+0301): both sort after "f"'s
    // decomposed neighbour only by their composed form.
    r.byProject = {{"caf\u00e9", priced(1)}, {"cafe\u0301x", priced(1)}, {"cafz", priced(1)}};
    // Composed, "cafe\u0301x" is "caf\u00e9x", which follows "caf\u00e9" and both follow "cafz".
    EXPECT_EQ(keys(r.topProjects(5)), (Strings{"cafz", "caf\u00e9", "cafe\u0301x"}));
}
