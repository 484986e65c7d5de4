#pragma once
// What is known about a set of requests over a span of local days, broken down
// along every axis the system shows.
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/report/AgentMaps.hpp"
#include "vantery/report/Bucket.hpp"

namespace vantery {

/// One entry of a ranking: a copy of a report's key and bucket.
template <class K> struct RankedEntry {
    K key;
    Bucket value;
};

/// Priced dollars of the main session and of all sub-agents together, and how many
/// requests of each side they leave out for want of a price.
struct SubagentSplit {
    double main = 0;
    double subagent = 0;
    std::int64_t mainUnpriced = 0;
    std::int64_t subagentUnpriced = 0;

    CostEstimate mainCost() const { return {main, mainUnpriced, {}}; }
    CostEstimate subagentCost() const { return {subagent, subagentUnpriced, {}}; }
    CostEstimate wholeCost() const {
        return {main + subagent, mainUnpriced + subagentUnpriced, {}};
    }
};

/// The total and the breakdowns of a set of requests. A plain value; every map holds
/// only keys that received at least one request, and each breakdown sums to `total`.
struct Report {
    Bucket total;
    /// Local day of the request (the aggregator's calendar).
    std::map<LocalDay, Bucket> byDay;
    /// Local hour 0–23, days not separated; empty unless hours were asked for.
    std::map<int, Bucket> byHour;
    std::map<std::string, Bucket, std::less<>> byModel;
    /// Canonical project label from the resolver.
    std::map<std::string, Bucket, std::less<>> byProject;
    /// Raw working directory with the home folded to "~"; "(unknown cwd)" when empty.
    std::map<std::string, Bucket, std::less<>> byRawCwd;
    std::map<std::string, Bucket, std::less<>> bySession;
    AgentBuckets byAgent;
    /// Name of the Claude home.
    std::map<std::string, Bucket, std::less<>> bySource;
    /// Session → project of its latest request (the later one in input order on a tie).
    std::map<std::string, std::string, std::less<>> sessionProject;
    /// Agent → session of its first request in input order.
    AgentTexts agentSession;
    /// Agent → project of its first request in input order.
    AgentTexts agentProject;
    /// Project → provenance raw values of the resolutions that produced it (never empty).
    std::map<std::string, std::set<std::string>, std::less<>> projectProvenance;
    /// The whole scan's diagnostics, as the caller gave them.
    ScanDiagnostics diagnostics;

    /// Number of local days holding at least one request.
    std::int64_t activeDays() const noexcept { return static_cast<std::int64_t>(byDay.size()); }
    /// Total cost over active days (priced only; unpriced count and models kept);
    /// unknown(noData) without active days.
    Estimate<CostEstimate> averagePerActiveDay() const;
    /// Median of the daily costs over active days; unknown(noData) without active days.
    Estimate<CostEstimate> medianPerActiveDay() const;

    // Rankings: by priced dollars, largest first, ties by the key's text ascending.
    // A negative limit is taken as 0.

    /// Sub-agents (and main when asked), ties broken by AgentIdentity::description().
    std::vector<RankedEntry<AgentIdentity>> topAgents(int limit, bool includeMain) const;
    std::vector<RankedEntry<std::string>> topProjects(int limit) const;
    std::vector<RankedEntry<std::string>> topSessions(int limit) const;
    std::vector<RankedEntry<std::string>> topModels(int limit) const;
    /// Priced dollars of main versus every sub-agent; (0, 0) for an empty report.
    SubagentSplit subagentSplit() const;
};

} // namespace vantery
