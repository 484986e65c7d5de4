#include "vantery/report/Bucket.hpp"

#include <algorithm>

#include "report/BucketSums.hpp"
#include "vantery/base/Saturating.hpp"
#include "vantery/pricing/Pricing.hpp"

namespace vantery {
namespace {

// The per-model count and the cost, as every form of Bucket::add takes them.
void addModelAndCost(Bucket& b, std::string_view model, const Estimate<double>& e) {
    if (auto it = b.modelCounts.find(model); it != b.modelCounts.end())
        it->second = satAdd(it->second, 1);
    else
        b.modelCounts.emplace(model, 1);
    if (e.isKnown()) {
        b.cost.priced += e.knownValue();
    } else {
        b.cost.unpricedRequests = satAdd(b.cost.unpricedRequests, 1);
        if (e.unknownReason().kind() == UnknownReason::Kind::noPriceForModel)
            b.cost.unpricedModels.insert(std::string(model));
    }
}

} // namespace

void Bucket::add(const UsageRecord& r, LocalDay day) {
    add(r, r.cost(day));
}

void Bucket::add(const UsageRecord& r, const Estimate<double>& e) {
    detail::addCounts(*this, r, r.timestamp, r.cacheWriteBreakdownAssumed);
    addModelAndCost(*this, r.model, e);
}

void Bucket::add(const RequestTable& table, const RequestRow& row, LocalDay day) {
    add(table, row, costOf(table, row, day));
}

void Bucket::add(const RequestTable& table, const RequestRow& row, const Estimate<double>& e) {
    detail::addCounts(*this, table.counts(row), row.timestamp, row.cacheWriteBreakdownAssumed());
    addModelAndCost(*this, table.model(row), e);
}

Estimate<double> Bucket::costOf(const RequestTable& table, const RequestRow& row, LocalDay day) {
    auto p = Pricing::prices(table.model(row), day);
    if (!p.isKnown()) return Estimate<double>::unknown(p.unknownReason());
    return Estimate<double>::known(Pricing::costOf(p.knownValue(), table.counts(row)));
}

Estimate<double> Bucket::share(std::int64_t Bucket::*counter) const {
    auto total = totalTokens();
    if (total < 1) return Estimate<double>::unknown(UnknownReason::noData());
    return Estimate<double>::known(static_cast<double>(this->*counter) /
                                   static_cast<double>(total) * 100);
}

Estimate<DominantComponent> Bucket::dominantComponent() const {
    auto total = totalTokens();
    if (total < 1) return Estimate<DominantComponent>::unknown(UnknownReason::noData());
    struct Candidate {
        const char* name;
        std::int64_t count;
    };
    const Candidate candidates[] = {{"cache read", cacheRead},
                                    {"cache write", cacheWrite()},
                                    {"output", output},
                                    {"input", input}};
    const Candidate* best = &candidates[0];
    for (const auto& c : candidates)
        if (c.count > best->count) best = &c;
    return Estimate<DominantComponent>::known(
        {best->name, static_cast<double>(best->count) / static_cast<double>(total) * 100});
}

std::vector<Bucket::ModelUse> Bucket::modelsByUse() const {
    std::vector<ModelUse> uses;
    uses.reserve(modelCounts.size());
    for (const auto& [model, count] : modelCounts) // ascending ids: ties stay in id order
        uses.push_back({model, count});
    std::stable_sort(uses.begin(), uses.end(),
                     [](const ModelUse& a, const ModelUse& b) { return a.requests > b.requests; });
    return uses;
}

} // namespace vantery
