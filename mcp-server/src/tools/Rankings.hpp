#pragma once
// Pieces shared by the ranking tools (overview, cost, top agents, top projects,
// by model): labelled list rows, percentages, the main-session and sub-agent split,
// clamped integer arguments, and the agents of each of several groups of requests
// (a project's, a model's).
#include <climits>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantery/mcp/DataSource.hpp"
#include "vantery/mcp/Json.hpp"
#include "vantery/mcp/Period.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::mcp::tools {

/// The 1-based place of a ranked row, right-aligned in two columns: " 1. ".
std::string position(std::size_t index);

/// "%.1f%%" of a value that is already a percentage.
std::string percent(double value);

/// An integer argument clamped to [low, INT_MAX]; `fallback` when it is missing or
/// not an integer.
int intArgument(const Json& arguments, std::string_view key, int fallback, int low);

/// The requests of a report's main session and of its sub-agents, each side's count and
/// cost summed in the report's agent order (the order of Report::subagentSplit).
struct Split {
    Bucket mainSession, subagents;
    double priced() const noexcept { return mainSession.cost.priced + subagents.cost.priced; }
    CostEstimate cost() const { return mainSession.cost + subagents.cost; }
};
Split splitOf(const Report& report);

/// One side of a split: its cost as ranking rows show one (a lower bound with its caveat,
/// "unknown (…)" when none of it is priced), then `gap` and its share of `whole`
/// ("(12.3%)", "(≥ 12.3%)", "(share unknown — …)"). A side without requests shows
/// "$0.00" and "(0.0%)".
std::string splitCost(const Bucket& side, const CostEstimate& whole, std::string_view gap);

/// "(12.3% of the total)" with its bound, or "(share of the total unknown — …)".
std::string shareOfTotal(const CostEstimate& part, const CostEstimate& whole);

/// The rows of a ranking as (label, bucket) pairs for MCPServer::list.
template <class K, class Label>
std::vector<std::pair<std::string, Bucket>> labelled(const std::vector<RankedEntry<K>>& ranked,
                                                     Label label) {
    std::vector<std::pair<std::string, Bucket>> rows;
    rows.reserve(ranked.size());
    for (const auto& e : ranked)
        rows.emplace_back(label(e.key), e.value);
    return rows;
}

/// The field of a request whose text decides its group.
enum class GroupField { model, cwd };

/// Which of the groups a text belongs to; absent for none. Asked once per distinct text
/// of the field, never per request.
using GroupOfText = std::function<std::optional<std::size_t>(std::string_view text)>;

/// Every agent of each group over the period, ranked as Report::topAgents ranks
/// them (main session included), from the data source's requests that `extra`
/// accepts (all when it is empty). The same figures as one report per group made
/// with a group filter, from a single pass over the table.
std::vector<std::vector<RankedEntry<AgentIdentity>>>
agentsPerGroup(DataSource& data, const Period& period, const RecordFilter& extra,
               std::size_t groups, GroupField field, const GroupOfText& groupOf);

} // namespace vantery::mcp::tools
