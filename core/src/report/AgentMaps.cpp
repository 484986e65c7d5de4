#include "vantery/report/AgentMaps.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "report/BucketSums.hpp"

namespace vantery {
namespace {

constexpr double absent = std::numeric_limits<double>::quiet_NaN();

// Past this many, a text is held again rather than searched for: only small reports
// made by hand come through set(); the aggregator shares texts through its own index.
constexpr std::size_t searchedTexts = 256;

// The index of `text` among the first searchedTexts of `texts`, else of a new one.
std::uint32_t textIn(std::vector<std::string>& texts, std::string_view text) {
    const std::size_t searched = std::min(texts.size(), searchedTexts);
    for (std::size_t i = 0; i < searched; ++i)
        if (texts[i] == text) return static_cast<std::uint32_t>(i);
    texts.emplace_back(text);
    return static_cast<std::uint32_t>(texts.size() - 1);
}

template <class Agents> std::size_t lowerBound(const Agents& agents, const AgentIdentity& agent) {
    return static_cast<std::size_t>(
        std::lower_bound(agents.begin(), agents.end(), agent, AgentIdentityOrder{}) -
        agents.begin());
}

// Where `agent` goes: its index when held (`held` set), else where it would be inserted.
template <class Agents>
std::size_t placeOf(const Agents& agents, const AgentIdentity& agent, bool& held) {
    if (agents.empty() || AgentIdentityOrder{}(agents.back(), agent)) {
        held = false;
        return agents.size();
    }
    const std::size_t at = lowerBound(agents, agent);
    held = at < agents.size() && agents[at] == agent;
    return at;
}

template <class T> void insertAt(std::vector<T>& v, std::size_t at, T value) {
    v.insert(v.begin() + static_cast<std::ptrdiff_t>(at), std::move(value));
}

} // namespace

std::size_t detail::indexOfAgent(const std::vector<AgentIdentity>& agents,
                                 const AgentIdentity& agent) noexcept {
    const std::size_t at = lowerBound(agents, agent);
    return at < agents.size() && agents[at] == agent ? at : agents.size();
}

bool AgentIdentityOrder::operator()(const AgentIdentity& a, const AgentIdentity& b) const noexcept {
    if (a.kind() != b.kind()) return a.kind() < b.kind();
    if (int c = a.rawIdText().compare(b.rawIdText()); c != 0) return c < 0;
    return a.name() < b.name();
}

// ---- AgentBuckets

Bucket AgentBuckets::at(const AgentIdentity& agent) const {
    return bucket(positionOf(agent));
}

CostEstimate AgentBuckets::cost(std::size_t i) const {
    CostEstimate c;
    c.priced = sums_[i].priced;
    c.unpricedRequests = sums_[i].unpricedRequests;
    for (std::size_t m = modelsBegin(i); m < modelsEnd_[i]; ++m)
        if (models_[m].flags & unpriced) c.unpricedModels.insert(names_[models_[m].name]);
    return c;
}

Bucket AgentBuckets::bucket(std::size_t i) const {
    const Sums& s = sums_[i];
    Bucket b;
    detail::copyCounters(b, s);
    b.cost = cost(i);
    if (!std::isnan(s.first)) b.firstActivity = s.first;
    if (!std::isnan(s.last)) b.lastActivity = s.last;
    for (std::size_t m = modelsBegin(i); m < modelsEnd_[i]; ++m)
        if (models_[m].flags & counted)
            b.modelCounts.emplace_hint(b.modelCounts.end(), names_[models_[m].name],
                                       models_[m].count);
    return b;
}

std::uint32_t AgentBuckets::nameId(std::string_view name) {
    return textIn(names_, name);
}

void AgentBuckets::set(const AgentIdentity& agent, const Bucket& b) {
    Sums s;
    detail::copyCounters(s, b);
    s.unpricedRequests = b.cost.unpricedRequests;
    s.priced = b.cost.priced;
    s.first = b.firstActivity.value_or(absent);
    s.last = b.lastActivity.value_or(absent);

    // The union of the counted and the unpriced models, in name order as a map makes them.
    std::vector<ModelEntry> models;
    auto count = b.modelCounts.begin();
    auto named = b.cost.unpricedModels.begin();
    while (count != b.modelCounts.end() || named != b.cost.unpricedModels.end()) {
        const bool takeCount = count != b.modelCounts.end() &&
                               (named == b.cost.unpricedModels.end() || count->first <= *named);
        const bool takeNamed = named != b.cost.unpricedModels.end() &&
                               (count == b.modelCounts.end() || *named <= count->first);
        ModelEntry e;
        e.name = nameId(takeCount ? std::string_view(count->first) : std::string_view(*named));
        if (takeCount) e.flags |= counted, e.count = (count++)->second;
        if (takeNamed) e.flags |= unpriced, ++named;
        models.push_back(e);
    }

    bool held = false;
    const std::size_t at = placeOf(agents_, agent, held);
    const auto n = static_cast<std::uint32_t>(models.size());
    std::int64_t shift = n;
    const std::size_t from = modelsBegin(at);
    if (held) {
        sums_[at] = s;
        const std::size_t to = modelsEnd_[at];
        shift -= static_cast<std::int64_t>(to - from);
        models_.erase(models_.begin() + static_cast<std::ptrdiff_t>(from),
                      models_.begin() + static_cast<std::ptrdiff_t>(to));
    } else {
        insertAt(agents_, at, agent);
        insertAt(sums_, at, s);
        insertAt(modelsEnd_, at, static_cast<std::uint32_t>(from));
    }
    models_.insert(models_.begin() + static_cast<std::ptrdiff_t>(from), models.begin(),
                   models.end());
    modelsEnd_[at] = static_cast<std::uint32_t>(from + n);
    for (std::size_t i = at + 1; i < modelsEnd_.size(); ++i)
        modelsEnd_[i] = static_cast<std::uint32_t>(modelsEnd_[i] + shift);
}

bool operator==(const AgentBuckets& a, const AgentBuckets& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a.agent(i) == b.agent(i)) || !(a.bucket(i) == b.bucket(i))) return false;
    return true;
}

// ---- AgentTexts

const std::string& AgentTexts::at(const AgentIdentity& agent) const {
    return texts_[textOf_[positionOf(agent)]];
}

std::uint32_t AgentTexts::textId(std::string_view text) {
    return textIn(texts_, text);
}

void AgentTexts::set(const AgentIdentity& agent, std::string_view text) {
    const std::uint32_t id = textId(text);
    bool held = false;
    const std::size_t at = placeOf(agents_, agent, held);
    if (held) {
        textOf_[at] = id;
        return;
    }
    insertAt(agents_, at, agent);
    insertAt(textOf_, at, id);
}

void AgentTexts::erase(const AgentIdentity& agent) {
    const std::size_t i = detail::indexOfAgent(agents_, agent);
    if (i == agents_.size()) return;
    agents_.erase(agents_.begin() + static_cast<std::ptrdiff_t>(i));
    textOf_.erase(textOf_.begin() + static_cast<std::ptrdiff_t>(i));
}

bool operator==(const AgentTexts& a, const AgentTexts& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a.agents_[i] == b.agents_[i]) || a.texts_[a.textOf_[i]] != b.texts_[b.textOf_[i]])
            return false;
    return true;
}

} // namespace vantery
