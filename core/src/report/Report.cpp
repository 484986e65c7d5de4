#include "vantery/report/Report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include <utf8proc.h>

namespace vantery {

bool AgentIdentityOrder::operator()(const AgentIdentity& a, const AgentIdentity& b) const noexcept {
    if (a.kind() != b.kind()) return a.kind() < b.kind();
    if (int c = a.rawIdText().compare(b.rawIdText()); c != 0) return c < 0;
    return a.name() < b.name();
}

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

// The text a key is compared by: canonically composed, so that the same name written
// with combining marks or precomposed ranks the same. UTF-8 byte order is scalar order.
std::string comparisonText(std::string text) {
    bool ascii = std::all_of(text.begin(), text.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return text;
    utf8proc_uint8_t* composed =
        utf8proc_NFC(reinterpret_cast<const utf8proc_uint8_t*>(text.c_str()));
    if (!composed) return text; // not valid UTF-8: compare the bytes as they are
    std::string out(reinterpret_cast<const char*>(composed));
    std::free(composed);
    return out;
}

// NaN never arises from real counts; ranking it last keeps the order a strict weak one.
double rankMeasure(double priced) {
    return std::isnan(priced) ? -std::numeric_limits<double>::infinity() : priced;
}

template <class K, class Map, class Filter, class KeyText>
std::vector<RankedEntry<K>> ranked(const Map& map, int limit, Filter keep, KeyText text) {
    std::vector<RankedEntry<K>> all;
    if (limit <= 0) return all;
    struct Ref {
        const K* key;
        const Bucket* value;
        double measure;
        std::string text;
        std::size_t taken;
    };
    std::vector<Ref> refs;
    refs.reserve(map.size());
    for (const auto& [key, value] : map)
        if (keep(key))
            refs.push_back({&key, &value, rankMeasure(value.cost.priced), comparisonText(text(key)),
                            refs.size()});
    auto before = [](const Ref& a, const Ref& b) {
        if (a.measure != b.measure) return a.measure > b.measure;
        if (int c = a.text.compare(b.text); c != 0) return c < 0;
        return a.taken < b.taken;
    };
    std::size_t n = std::min(refs.size(), static_cast<std::size_t>(limit));
    std::partial_sort(refs.begin(), refs.begin() + static_cast<std::ptrdiff_t>(n), refs.end(),
                      before);
    all.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        all.push_back({*refs[i].key, *refs[i].value});
    return all;
}

template <class Map> std::vector<RankedEntry<std::string>> rankedByText(const Map& map, int limit) {
    return ranked<std::string>(
        map, limit, [](const std::string&) { return true; },
        [](const std::string& k) { return k; });
}

} // namespace

std::vector<RankedEntry<AgentIdentity>> Report::topAgents(int limit, bool includeMain) const {
    return ranked<AgentIdentity>(
        byAgent, limit, [&](const AgentIdentity& a) { return includeMain || a.isSubagent(); },
        [](const AgentIdentity& a) { return a.description(); });
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
    for (const auto& [agent, bucket] : byAgent)
        (agent.isSubagent() ? split.subagent : split.main) += bucket.cost.priced;
    return split;
}

} // namespace vantery
