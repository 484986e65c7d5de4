#include "tools/Rankings.hpp"

#include <cmath>
#include <cstdio>

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

int intArgument(const Json& arguments, std::string_view key, int fallback, int low) {
    auto v = argInt(arguments, key);
    if (!v) return fallback;
    if (*v < low) return low;
    if (*v > INT_MAX) return INT_MAX;
    return static_cast<int>(*v);
}

std::vector<std::vector<RankedEntry<AgentIdentity>>>
agentsPerGroup(DataSource& data, const Period& period, const RecordFilter& extra,
               std::size_t groups, const GroupOf& groupOf) {
    std::vector<std::vector<RankedEntry<AgentIdentity>>> out(groups);
    if (groups == 0) return out;
    data.ensureFresh();
    const Calendar& cal = data.aggregator().calendar();

    // A cheap cut by instant, a day wider than the period on each side, keeps the
    // copies small; the aggregator then makes the exact cut by local day. Instants
    // it would not place by their offset (far off, not finite) are left to it.
    std::optional<double> low, high;
    if (period.from) low = cal.startOfDay(period.from->addingDays(-1));
    if (period.through) high = cal.startOfDay(period.through->addingDays(2));
    auto mayBeInPeriod = [&](double t) {
        if (!(t > -1e11 && t < 1e11)) return true;
        if (low && std::isfinite(*low) && t < *low) return false;
        if (high && std::isfinite(*high) && t >= *high) return false;
        return true;
    };

    std::vector<std::vector<UsageRecord>> parts(groups);
    for (const UsageRecord& r : data.records()) {
        if (!mayBeInPeriod(r.timestamp)) continue;
        auto g = groupOf(r);
        if (!g || *g >= groups) continue;
        if (extra && !extra(r)) continue;
        parts[*g].push_back(r);
    }
    for (std::size_t i = 0; i < groups; ++i) {
        if (parts[i].empty()) continue;
        Report r = data.aggregator().aggregate(parts[i], period.from, period.through,
                                               data.diagnostics(), false);
        out[i] = r.topAgents(INT_MAX, true);
    }
    return out;
}

} // namespace vantery::mcp::tools
