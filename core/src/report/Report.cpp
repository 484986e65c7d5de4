#include "vantery/report/Report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include <utf8proc.h>

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

// A candidate of a ranking: its measure and where it was taken.
struct Candidate {
    double measure;
    std::size_t taken;
};

// The `taken` of the first `limit` candidates in ranking order: measure, then text, then
// taken. Only candidates that reach the limit-th measure get their text: a history's
// ranking of 200,000 agents for its top 15 made 200,000 texts.
template <class TextOf>
std::vector<std::size_t> firstRanked(std::vector<Candidate>& candidates, int limit,
                                     const TextOf& textOf) {
    const std::size_t n = std::min(candidates.size(), static_cast<std::size_t>(limit));
    if (n == 0) return {};
    auto reaches = candidates.end();
    if (n < candidates.size()) {
        auto nth = candidates.begin() + static_cast<std::ptrdiff_t>(n - 1);
        std::nth_element(
            candidates.begin(), nth, candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.measure > b.measure; });
        const double least = nth->measure;
        reaches = std::partition(candidates.begin(), candidates.end(),
                                 [least](const Candidate& c) { return c.measure >= least; });
    }
    struct Ranked {
        double measure;
        std::string text;
        std::size_t taken;
    };
    std::vector<Ranked> ranked;
    ranked.reserve(static_cast<std::size_t>(reaches - candidates.begin()));
    for (auto c = candidates.begin(); c != reaches; ++c)
        ranked.push_back({c->measure, comparisonText(textOf(c->taken)), c->taken});
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(n), ranked.end(),
                      [](const Ranked& a, const Ranked& b) {
                          if (a.measure != b.measure) return a.measure > b.measure;
                          if (int c = a.text.compare(b.text); c != 0) return c < 0;
                          return a.taken < b.taken;
                      });
    std::vector<std::size_t> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = ranked[i].taken;
    return out;
}

template <class Map> std::vector<RankedEntry<std::string>> rankedByText(const Map& map, int limit) {
    std::vector<RankedEntry<std::string>> all;
    if (limit <= 0) return all;
    std::vector<typename Map::const_iterator> at;
    std::vector<Candidate> candidates;
    at.reserve(map.size());
    candidates.reserve(map.size());
    for (auto it = map.begin(); it != map.end(); ++it) {
        candidates.push_back({rankMeasure(it->second.cost.priced), at.size()});
        at.push_back(it);
    }
    for (std::size_t i :
         firstRanked(candidates, limit, [&](std::size_t i) { return at[i]->first; }))
        all.push_back({at[i]->first, at[i]->second});
    return all;
}

} // namespace

std::vector<RankedEntry<AgentIdentity>> Report::topAgents(int limit, bool includeMain) const {
    std::vector<RankedEntry<AgentIdentity>> all;
    if (limit <= 0) return all;
    std::vector<Candidate> candidates;
    candidates.reserve(byAgent.size());
    for (std::size_t i = 0; i < byAgent.size(); ++i)
        if (includeMain || byAgent.agent(i).isSubagent())
            candidates.push_back({rankMeasure(byAgent.priced(i)), i});
    const auto description = [&](std::size_t i) { return byAgent.agent(i).description(); };
    for (std::size_t i : firstRanked(candidates, limit, description))
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
    for (std::size_t i = 0; i < byAgent.size(); ++i)
        (byAgent.agent(i).isSubagent() ? split.subagent : split.main) += byAgent.priced(i);
    return split;
}

} // namespace vantery
