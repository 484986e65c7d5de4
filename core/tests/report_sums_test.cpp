// Randomised: the one-pass aggregation must equal adding every record to every
// bucket one by one, and every breakdown must add up to the total.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>

#include "RecordBuilder.hpp"
#include "SameFigures.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/Report.hpp"

using namespace vantery;

namespace {

// Straightforward aggregation, record by record, as the reference.
Report reference(const Aggregator& agg, const std::vector<UsageRecord>& records,
                 std::optional<LocalDay> from, std::optional<LocalDay> to, bool hours) {
    Report r;
    std::map<AgentIdentity, Bucket, AgentIdentityOrder> agents;
    const auto& cal = agg.calendar();
    const auto& resolver = agg.resolver();
    for (const auto& rec : records) {
        LocalDay day = cal.dayOf(rec.timestamp);
        if ((from && day < *from) || (to && day > *to)) continue;
        auto resolved = resolver.resolve(rec.rawCwd, "");
        std::string rawKey = rec.rawCwd.empty() ? "(unknown cwd)" : resolver.tildify(rec.rawCwd);
        r.total.add(rec, day);
        r.byDay[day].add(rec, day);
        r.byModel[rec.model].add(rec, day);
        r.byProject[resolved.canonical].add(rec, day);
        r.byRawCwd[rawKey].add(rec, day);
        r.bySession[rec.sessionId].add(rec, day);
        agents[rec.agent].add(rec, day);
        r.bySource[rec.sourceHome].add(rec, day);
        r.projectProvenance[resolved.canonical].insert(resolved.provenanceRaw);
        if (hours) r.byHour[cal.hourOf(rec.timestamp)].add(rec, day);
        if (!(*r.bySession[rec.sessionId].lastActivity > rec.timestamp))
            r.sessionProject[rec.sessionId] = resolved.canonical;
        if (!r.agentSession.count(rec.agent)) r.agentSession.set(rec.agent, rec.sessionId);
        if (!r.agentProject.count(rec.agent)) r.agentProject.set(rec.agent, resolved.canonical);
    }
    for (const auto& [agent, bucket] : agents)
        r.byAgent.set(agent, bucket);
    return r;
}

void expectSameBucket(const Bucket& a, const Bucket& b, const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(a.requests, b.requests);
    EXPECT_EQ(fixtures::countsOf(a), fixtures::countsOf(b));
    EXPECT_EQ(a.cacheWriteAssumedRequests, b.cacheWriteAssumedRequests);
    EXPECT_EQ(a.modelCounts, b.modelCounts);
    EXPECT_EQ(a.cost.unpricedRequests, b.cost.unpricedRequests);
    EXPECT_EQ(a.cost.unpricedModels, b.cost.unpricedModels);
    EXPECT_NEAR(a.cost.priced, b.cost.priced, 1e-9 * std::max(1.0, std::abs(b.cost.priced)));
    EXPECT_EQ(a.firstActivity, b.firstActivity);
    EXPECT_EQ(a.lastActivity, b.lastActivity);
}

template <class Map> void expectSameMap(const Map& got, const Map& want, const char* axis) {
    ASSERT_EQ(got.size(), want.size()) << axis;
    auto g = got.begin();
    for (auto w = want.begin(); w != want.end(); ++w, ++g) {
        ASSERT_TRUE(g->first == w->first) << axis;
        expectSameBucket(g->second, w->second, axis);
    }
}

// Every breakdown's buckets add up to the total.
template <class Map> void expectSumsToTotal(const Map& map, const Bucket& total, const char* axis) {
    SCOPED_TRACE(axis);
    Bucket sum;
    double priced = 0;
    std::set<std::string> models;
    for (const auto& [key, b] : map) {
        EXPECT_GT(b.requests, 0); // no empty buckets
        sum.requests += b.requests;
        RequestCounts::forEachField([&](auto count) { sum.*count += b.*count; });
        sum.cost.unpricedRequests += b.cost.unpricedRequests;
        priced += b.cost.priced;
        models.insert(b.cost.unpricedModels.begin(), b.cost.unpricedModels.end());
    }
    EXPECT_EQ(sum.requests, total.requests);
    EXPECT_EQ(fixtures::countsOf(sum), fixtures::countsOf(total));
    EXPECT_EQ(sum.cost.unpricedRequests, total.cost.unpricedRequests);
    EXPECT_EQ(models, total.cost.unpricedModels);
    EXPECT_NEAR(priced, total.cost.priced, 1e-9 * std::max(1.0, total.cost.priced));
}

template <class A, class B>
std::set<std::string> keySet(const std::map<std::string, A, std::less<>>& m) {
    std::set<std::string> s;
    for (const auto& [k, v] : m)
        s.insert(k);
    return s;
}

std::vector<UsageRecord> randomRecords(std::mt19937_64& rng, const Calendar& cal, int n) {
    const char* models[] = {"claude-sonnet-5", "claude-opus-4-1", "claude-haiku-4-5",
                            "gpt-x",           "unknown",         "claude-3-5-haiku-latest"};
    const char* cwds[] = {
        "",       "/Users/u", "/Users/u/app", "/Users/u/app/.claude/worktrees/a1/x", "/Users/ux/p",
        "/tmp/s", "~/app"};
    const char* homes[] = {".claude", ".claude-work", ".claude-yahoo"};
    std::vector<AgentIdentity> agents = {
        AgentIdentity(), AgentIdentity::parse(std::string_view("aplan-0123456789abcdef")),
        AgentIdentity::parse(std::string_view("a-0123456789abcdef")),
        AgentIdentity::parse(std::string_view("xyz"))};
    // Instants around DST changes, skipped midnights, price-tier edges and far-off years.
    const double anchors[] = {cal.startOfDay(LocalDay::fromYMD(2024, 3, 10)),
                              cal.startOfDay(LocalDay::fromYMD(2024, 11, 3)),
                              cal.startOfDay(LocalDay::fromYMD(2024, 4, 7)),
                              cal.startOfDay(LocalDay::fromYMD(2026, 9, 1)),
                              cal.startOfDay(LocalDay::fromYMD(1901, 1, 1)),
                              cal.startOfDay(LocalDay::fromYMD(2150, 6, 1))};
    std::uniform_int_distribution<int> pick(0, 1 << 20);
    std::uniform_real_distribution<double> spread(-3 * 86400.0, 3 * 86400.0);
    std::vector<UsageRecord> out;
    for (int i = 0; i < n; ++i) {
        UsageRecord r;
        double base = anchors[static_cast<std::size_t>(pick(rng)) % std::size(anchors)];
        // Some records sit exactly on a day start or an hour edge.
        r.timestamp =
            pick(rng) % 5 == 0 ? base + 3600.0 * (pick(rng) % 50 - 25) : base + spread(rng);
        r.model = models[static_cast<std::size_t>(pick(rng)) % std::size(models)];
        r.sessionId = "s" + std::to_string(pick(rng) % 40);
        r.rawCwd = cwds[static_cast<std::size_t>(pick(rng)) % std::size(cwds)];
        r.agent = agents[static_cast<std::size_t>(pick(rng)) % agents.size()];
        r.sourceHome = homes[static_cast<std::size_t>(pick(rng)) % std::size(homes)];
        r.input = pick(rng) % 5000;
        r.output = pick(rng) % 3000;
        r.cacheWrite5m = pick(rng) % 3 ? 0 : pick(rng);
        r.cacheWrite1h = pick(rng) % 4 ? 0 : pick(rng);
        r.cacheRead = pick(rng) * 7;
        r.webSearch = pick(rng) % 7 == 0 ? 2 : 0;
        r.webFetch = pick(rng) % 9 == 0 ? 1 : 0;
        r.cacheWriteBreakdownAssumed = pick(rng) % 11 == 0;
        out.push_back(std::move(r));
    }
    return out;
}

} // namespace

TEST(ReportSums, MatchesRecordByRecordAggregationAndAddsUp) {
    std::mt19937_64 rng(20240310);
    for (const char* zone : {"America/New_York", "America/Havana", "Australia/Lord_Howe",
                             "Pacific/Chatham", "Asia/Kolkata", "UTC"}) {
        SCOPED_TRACE(zone);
        Aggregator agg(fixtures::zone(zone), ProjectResolver("/Users/u", false));
        auto records = randomRecords(rng, agg.calendar(), 4000);
        for (int round = 0; round < 4; ++round) {
            std::optional<LocalDay> from, to;
            if (round == 1) from = LocalDay::fromYMD(2024, 3, 9);
            if (round == 2) {
                from = LocalDay::fromYMD(2024, 3, 10);
                to = LocalDay::fromYMD(2024, 11, 3);
            }
            bool hours = round != 3;
            auto got = agg.aggregate(records, from, to, {}, hours);
            auto want = reference(agg, records, from, to, hours);
            ASSERT_GT(got.total.requests, 0);
            expectSameBucket(got.total, want.total, "total");
            auto sameAndAddsUp = [&](const auto& mine, const auto& theirs, const char* axis) {
                expectSameMap(mine, theirs, axis);
                if (!hours && std::string_view(axis) == "hour")
                    EXPECT_TRUE(mine.empty());
                else
                    expectSumsToTotal(mine, got.total, axis);
            };
            fixtures::forEachBreakdown(got, want, sameAndAddsUp);
            EXPECT_EQ(got.sessionProject, want.sessionProject);
            EXPECT_EQ(got.agentSession, want.agentSession);
            EXPECT_EQ(got.agentProject, want.agentProject);
            EXPECT_EQ(got.projectProvenance, want.projectProvenance);
            EXPECT_EQ((keySet<Bucket, std::string>(got.bySession)),
                      (keySet<std::string, std::string>(got.sessionProject)));
            EXPECT_EQ((keySet<Bucket, std::string>(got.byProject)),
                      (keySet<std::set<std::string>, std::string>(got.projectProvenance)));
            EXPECT_EQ(got.agentSession.size(), got.byAgent.size());
            EXPECT_EQ(got.agentProject.size(), got.byAgent.size());
        }
    }
}

TEST(ReportSums, SameAggregatorOnSeveralThreads) {
    std::mt19937_64 rng(7);
    Aggregator agg(fixtures::zone("Europe/Berlin"), ProjectResolver("/Users/u", true));
    auto records = randomRecords(rng, agg.calendar(), 3000);
    auto want = agg.aggregate(records, std::nullopt, std::nullopt, {}, true);
    std::vector<Report> got(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < got.size(); ++i)
        threads.emplace_back(
            [&, i] { got[i] = agg.aggregate(records, std::nullopt, std::nullopt, {}, true); });
    for (auto& t : threads)
        t.join();
    for (const auto& r : got) {
        expectSameBucket(r.total, want.total, "total");
        EXPECT_EQ(r.sessionProject, want.sessionProject);
        EXPECT_EQ(r.byDay.size(), want.byDay.size());
    }
}
