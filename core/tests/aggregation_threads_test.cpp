// The aggregation splits its work among threads by keys, never by rows: its figures must
// not depend on the number of threads, and must equal sums made row by row in the
// table's order, over a table large enough for several windows and every thread.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "RecordBuilder.hpp"
#include "SameFigures.hpp"
#include "base/Parallel.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/Report.hpp"

using namespace vantery;
using namespace vantery::fixtures;

namespace {

// Some 600,000 requests, newest first, over 60 days across a change of daylight
// saving: sub-agents come and go (a new one every 40 requests) among interleaved
// sessions and directories, sessions hop between directories, and one model has no
// price. Many requests share a time, so that ties between a session's rows occur.
std::vector<UsageRecord> manyRequests() {
    const char* models[] = {"claude-haiku-4-5", "claude-sonnet-4-5", "claude-opus-4-1", "mystery"};
    constexpr int n = 600'000;
    std::vector<UsageRecord> out;
    out.reserve(n);
    std::uint64_t x = 88172645463325252ULL;
    for (int i = 0; i < n; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        UsageRecord r = fixtures::makeRecord(1.762e9 - 60 * 86400.0 * i / n, models[x % 4],
                                             static_cast<std::int64_t>(100 + (x >> 8) % 5000),
                                             static_cast<std::int64_t>((x >> 20) % 3000));
        r.timestamp = static_cast<double>(static_cast<std::int64_t>(r.timestamp) / 7 * 7);
        r.cacheRead = static_cast<std::int64_t>((x >> 32) % 60000);
        r.sessionId = "s" + std::to_string((x >> 24) % 53);
        r.rawCwd = "/Users/u/p" + std::to_string((x >> 40) % 31);
        r.sourceHome = (x >> 50) % 5 ? ".claude" : ".claude-work";
        r.cacheWriteBreakdownAssumed = (x >> 52) % 9 == 0;
        if ((x >> 44) % 4 == 0) r.agent = AgentIdentity::anonymous("a" + std::to_string(i / 40));
        out.push_back(std::move(r));
    }
    return out;
}

} // namespace

TEST(AggregationThreads, OneThreadOrAllGiveTheSameFiguresAsSumsRowByRow) {
    const Aggregator agg(fixtures::zone("America/New_York"), ProjectResolver("/Users/u", false));
    const auto table = RequestTable::fromRecords(manyRequests());
    const LocalDay from = agg.day(1.762e9 - 50 * 86400.0), to = agg.day(1.762e9 - 3 * 86400.0);
    auto groupOf = [&](const RequestRow& r) -> std::optional<std::size_t> {
        if (table.sourceHome(r) == ".claude-work") return std::nullopt;
        return table.model(r) == "claude-haiku-4-5" ? 0 : 2;
    };

    parallel::setMaxThreads(1);
    const Report one = agg.aggregate(table, from, to, {}, true);
    const auto oneGroups = agg.agentsPerGroup(table, from, to, 3, groupOf);
    parallel::setMaxThreads(0);
    ASSERT_GT(parallel::maxThreads(), 1u) << "nothing to compare on one hardware thread";
    const Report many = agg.aggregate(table, from, to, {}, true);
    const auto manyGroups = agg.agentsPerGroup(table, from, to, 3, groupOf);

    expectSameReports(one, many);
    ASSERT_EQ(oneGroups.size(), manyGroups.size());
    for (std::size_t g = 0; g < oneGroups.size(); ++g)
        expectSameBuckets(oneGroups[g], manyGroups[g]);
    EXPECT_TRUE(manyGroups[1].empty());

    // Row by row in the table's order: the total and every agent, with the session of
    // each agent's first row.
    Bucket total;
    std::map<AgentIdentity, Bucket, AgentIdentityOrder> agents;
    std::map<AgentIdentity, std::string, AgentIdentityOrder> agentSession;
    for (const RequestRow& row : table) {
        const LocalDay day = agg.day(row.timestamp);
        if (day < from || day > to) continue;
        total.add(table, row, day);
        agents[table.agent(row)].add(table, row, day);
        agentSession.try_emplace(table.agent(row), table.sessionId(row));
    }
    EXPECT_GT(total.requests, 400'000); // more than one window
    EXPECT_GT(many.byAgent.size(), 5'000u);
    EXPECT_EQ(figures(many.total), figures(total));
    expectSameBuckets(many.byAgent, agents);
    expectSameTexts(many.agentSession, agentSession);
}
