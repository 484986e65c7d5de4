#include "vantery/report/Report.hpp"

#include "report/RankOrder.hpp"

namespace vantery {

Estimate<CostEstimate> Report::averagePerActiveDay() const {
    if (byDay.empty()) return Estimate<CostEstimate>::unknown(UnknownReason::noData());
    return Estimate<CostEstimate>::known(
        total.cost.scaled(1.0 / static_cast<double>(byDay.size())));
}

Estimate<CostEstimate> Report::medianPerActiveDay() const {
    if (byDay.empty()) return Estimate<CostEstimate>::unknown(UnknownReason::noData());
    std::vector<CostEstimate> costs;
    costs.reserve(byDay.size());
    for (const auto& [day, bucket] : byDay)
        costs.push_back(bucket.cost);
    return Estimate<CostEstimate>::known(CostEstimate::median(costs));
}

namespace {

template <class Map> std::vector<RankedEntry<std::string>> rankedByText(const Map& map, int limit) {
    std::vector<RankedEntry<std::string>> all;
    if (limit <= 0) return all;
    std::vector<typename Map::const_iterator> at;
    std::vector<detail::RankCandidate> candidates;
    at.reserve(map.size());
    candidates.reserve(map.size());
    for (auto it = map.begin(); it != map.end(); ++it) {
        candidates.push_back({detail::rankMeasure(it->second.cost.priced), at.size()});
        at.push_back(it);
    }
    for (std::size_t i : detail::firstRanked(candidates, static_cast<std::size_t>(limit),
                                             [&](std::size_t i) { return at[i]->first; }))
        all.push_back({at[i]->first, at[i]->second});
    return all;
}

} // namespace

std::vector<RankedEntry<AgentIdentity>> Report::topAgents(int limit, bool includeMain) const {
    std::vector<RankedEntry<AgentIdentity>> all;
    if (limit <= 0) return all;
    std::vector<detail::RankCandidate> candidates;
    candidates.reserve(byAgent.size());
    for (std::size_t i = 0; i < byAgent.size(); ++i)
        if (includeMain || byAgent.agent(i).isSubagent())
            candidates.push_back({detail::rankMeasure(byAgent.priced(i)), i});
    const auto description = [&](std::size_t i) { return byAgent.agent(i).description(); };
    for (std::size_t i :
         detail::firstRanked(candidates, static_cast<std::size_t>(limit), description))
        all.push_back({byAgent.agent(i), byAgent.bucket(i)});
    return all;
}

std::vector<RankedEntry<std::string>> Report::topProjects(int limit) const {
    return rankedByText(byProject, limit);
}
std::vector<RankedEntry<std::string>> Report::topSessions(int limit) const {
    return rankedByText(bySession, limit);
}
std::vector<RankedEntry<std::string>> Report::topModels(int limit) const {
    return rankedByText(byModel, limit);
}

SubagentSplit Report::subagentSplit() const {
    SubagentSplit split;
    for (std::size_t i = 0; i < byAgent.size(); ++i) {
        const bool sub = byAgent.agent(i).isSubagent();
        (sub ? split.subagent : split.main) += byAgent.priced(i);
        (sub ? split.subagentUnpriced : split.mainUnpriced) += byAgent.unpricedRequests(i);
    }
    return split;
}

} // namespace vantery
