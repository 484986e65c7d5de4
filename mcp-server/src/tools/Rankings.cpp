#include "tools/Rankings.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <unordered_map>

#include "vantery/mcp/AnswerText.hpp"

namespace vantery::mcp::tools {

std::string position(std::size_t index) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%2zu. ", index + 1);
    return buf;
}

std::string percent(double value) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%.1f%%", value);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof buf)
        return std::string(buf, static_cast<std::size_t>(n));
    // Only an absurd magnitude needs more room than the buffer.
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), "%.1f%%", value);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

Split splitOf(const Report& report) {
    Split split;
    const AgentBuckets& agents = report.byAgent;
    for (std::size_t i = 0; i < agents.size(); ++i) {
        Bucket& side = agents.agent(i).isSubagent() ? split.subagents : split.mainSession;
        side.requests += agents.requests(i);
        side.cost += agents.cost(i);
    }
    return split;
}

std::string splitCost(const Bucket& side, const CostEstimate& whole, std::string_view gap) {
    std::string s = side.requests == 0 ? CostEstimate::money(0) : AnswerText::cost(side);
    const PercentFigure share = Derived::share(side.cost, whole);
    // Appended piece by piece: g++ 12 warns about prepending to a temporary string.
    s += gap;
    s += '(';
    s += share.isKnown() ? share.text() : "share unknown \u2014 " + share.reason;
    s += ')';
    return s;
}

std::string shareOfTotal(const CostEstimate& part, const CostEstimate& whole) {
    const PercentFigure share = Derived::share(part, whole);
    if (!share.isKnown()) return "(share of the total unknown \u2014 " + share.reason + ")";
    return "(" + share.text() + " of the total)";
}

int intArgument(const Json& arguments, std::string_view key, int fallback, int low) {
    auto v = argInt(arguments, key);
    if (!v) return fallback;
    if (*v < low) return low;
    if (*v > INT_MAX) return INT_MAX;
    return static_cast<int>(*v);
}

std::vector<std::vector<RankedEntry<AgentIdentity>>>
agentsPerGroup(DataSource& data, const Period& period, const RecordFilter& extra,
               const std::vector<RankedEntry<std::string>>& listed, GroupField field,
               const KeyOfText& keyOf) {
    const std::size_t groups = listed.size();
    std::vector<std::vector<RankedEntry<AgentIdentity>>> out(groups);
    if (groups == 0) return out;
    data.ensureFresh();
    const std::shared_ptr<const RequestTable> table = data.sharedTable();
    const RequestDictionary& dictionary = table->dictionary();

    // The group of every id of the field, from its text, before the pass.
    std::unordered_map<std::string_view, std::uint32_t> groupOfKey;
    for (std::size_t g = 0; g < groups; ++g)
        groupOfKey.emplace(listed[g].key, static_cast<std::uint32_t>(g));
    constexpr std::uint32_t none = UINT32_MAX;
    const std::size_t ids =
        field == GroupField::model ? table->sizes().models : table->sizes().cwds;
    std::vector<std::uint32_t> groupOfId(ids, none);
    for (std::size_t i = 0; i < ids; ++i) {
        const auto id = static_cast<std::uint32_t>(i);
        const std::string_view text =
            field == GroupField::model ? dictionary.model(id) : dictionary.cwd(id);
        auto g = keyOf ? groupOfKey.find(keyOf(text)) : groupOfKey.find(text);
        if (g != groupOfKey.end()) groupOfId[i] = g->second;
    }
    const RecordFilter::RowFilter keep = extra.bind(dictionary);
    auto perGroup = data.aggregator().agentsPerGroup(
        *table, period.from, period.through, groups,
        [&](const RequestRow& row) -> std::optional<std::size_t> {
            const std::uint32_t id = field == GroupField::model ? row.model : row.cwd;
            const std::uint32_t g = id < groupOfId.size() ? groupOfId[id] : none;
            if (g == none || (keep && !keep(row))) return std::nullopt;
            return g;
        });
    // Ranked exactly as a report of the group's requests ranks its agents.
    for (std::size_t i = 0; i < groups; ++i) {
        Report r;
        r.byAgent = std::move(perGroup[i]);
        out[i] = r.topAgents(INT_MAX, true);
    }
    return out;
}

std::string agentLines(const std::vector<RankedEntry<AgentIdentity>>& ranked, int most,
                       bool counted) {
    if (ranked.empty()) return "    agents: unknown\n";
    std::string s;
    const std::size_t shown = std::min(ranked.size(), static_cast<std::size_t>(most));
    for (std::size_t k = 0; k < shown; ++k) {
        s += "      \u00b7 " + AnswerText::fit(AnswerText::agentLabel(ranked[k].key), 28) + " " +
             AnswerText::cost(ranked[k].value);
        if (counted)
            s += " \u00b7 " + AnswerText::noun(ranked[k].value.requests, "request", "requests");
        s += "\n";
    }
    if (counted && ranked.size() > shown)
        s += "      (" +
             AnswerText::noun(static_cast<std::int64_t>(ranked.size() - shown), "agent", "agents") +
             " more)\n";
    return s;
}

} // namespace vantery::mcp::tools
