#include <gtest/gtest.h>

#include <map>

#include "vantery/report/AgentMaps.hpp"

using namespace vantery;

namespace {

Bucket bucketWith(std::int64_t requests, std::map<std::string, std::int64_t, std::less<>> models,
                  std::set<std::string> unpriced = {}) {
    Bucket b;
    b.requests = requests;
    b.input = requests * 10;
    b.cacheWrite1h = 7;
    b.webFetch = 1;
    b.cost.priced = 0.1 * static_cast<double>(requests);
    b.cost.unpricedRequests = static_cast<std::int64_t>(unpriced.size());
    b.cost.unpricedModels = std::move(unpriced);
    b.modelCounts = std::move(models);
    b.firstActivity = 100.5;
    b.lastActivity = 200.25;
    return b;
}

} // namespace

// Buckets come back as they were set, whatever the order of setting, and replacing or
// inserting one never moves another agent's models.
TEST(AgentBuckets, SetInAnyOrderThenReadBack) {
    const auto a = AgentIdentity::named("a", "a1-00"), b = AgentIdentity::anonymous("b2"),
               c = AgentIdentity::named("c", "c3-00");
    const Bucket first = bucketWith(3, {{"m-one", 2}, {"m-two", 1}});
    // An unpriced model that no count names, and no activity: both must survive.
    Bucket odd = bucketWith(1, {{"m-two", 1}}, {"m-none"});
    odd.firstActivity.reset();
    odd.lastActivity.reset();
    const Bucket last = bucketWith(5, {{"m-three", 5}});

    AgentBuckets m;
    m.set(c, last);
    m.set(AgentIdentity(), first);
    m.set(a, odd); // between the two
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m.agent(0), AgentIdentity());
    EXPECT_EQ(m.at(AgentIdentity()), first);
    EXPECT_EQ(m.at(a), odd);
    EXPECT_EQ(m.at(c), last);
    EXPECT_EQ(m.cost(1), odd.cost);

    m.set(a, first); // replaced by a bucket with more models
    EXPECT_EQ(m.size(), 3u);
    EXPECT_EQ(m.at(a), first);
    EXPECT_EQ(m.at(c), last);
    EXPECT_EQ(m.count(b), 0u);
    EXPECT_THROW(m.at(b), std::out_of_range);

    // A bucket reached through the iterator stays valid while the iterator does.
    auto it = m.find(c);
    const Bucket& held = it->second;
    EXPECT_EQ(held, last);
    std::vector<std::int64_t> requests;
    for (const auto& [agent, bucket] : m)
        requests.push_back(bucket.requests);
    EXPECT_EQ(requests, (std::vector<std::int64_t>{3, 3, 5}));

    AgentBuckets other;
    other.set(c, last);
    other.set(a, first);
    EXPECT_FALSE(m == other);
    other.set(AgentIdentity(), first);
    EXPECT_TRUE(m == other);
}

TEST(AgentTexts, SetReplaceEraseAndCompare) {
    const auto a = AgentIdentity::named("a", "a1-00"), b = AgentIdentity::anonymous("b2");
    AgentTexts t;
    t.set(b, "s-1");
    t.set(a, "s-1");
    t.set(AgentIdentity(), "s-2");
    EXPECT_EQ(t.at(a), "s-1");
    t.set(a, "s-3");
    EXPECT_EQ(t.at(a), "s-3");
    EXPECT_EQ(t.at(b), "s-1");
    t.erase(AgentIdentity());
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t.begin()->first, a);
    const std::map<AgentIdentity, std::string, AgentIdentityOrder> copy(t.begin(), t.end());
    EXPECT_EQ(copy.at(b), "s-1");
    AgentTexts u;
    u.set(a, "s-3");
    u.set(b, "s-1");
    EXPECT_TRUE(t == u);
}
