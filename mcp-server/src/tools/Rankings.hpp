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

/// The rows of a ranking of projects or sessions, each as the names print it.
inline std::vector<std::pair<std::string, Bucket>>
labelled(const std::vector<RankedEntry<std::string>>& ranked, const NameIndex::Labels& names) {
    return labelled(ranked, [&](const std::string& key) { return names.shown(key); });
}

/// The field of a request whose text decides its group.
enum class GroupField { model, cwd };

/// The key of the group a text of the field belongs to (a working directory's
/// project, say). Asked once per distinct text of the field, never per request.
using KeyOfText = std::function<std::string(std::string_view text)>;

/// Every agent of each listed group (a ranking's rows, a request belonging to the
/// row whose key is `keyOf` of its field's text, or the text itself when `keyOf` is
/// empty) over the period, ranked as Report::topAgents ranks them (main session
/// included), from the data source's requests that `extra` accepts (all when it is
/// empty). The same figures as one report per group made with a group filter, from a
/// single pass over the table.
std::vector<std::vector<RankedEntry<AgentIdentity>>>
agentsPerGroup(DataSource& data, const Period& period, const RecordFilter& extra,
               const std::vector<RankedEntry<std::string>>& groups, GroupField field,
               const KeyOfText& keyOf = {});

/// The lines that list a group's agents under it: "    agents: unknown" when it has
/// none, else the first `most`, each "      · <name> <cost>"; with `counted`, each
/// agent's requests follow its cost and a last line counts the agents left out.
std::string agentLines(const std::vector<RankedEntry<AgentIdentity>>& ranked, int most,
                       bool counted);

} // namespace vantery::mcp::tools
