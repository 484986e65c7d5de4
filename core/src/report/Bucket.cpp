#include "vantery/report/Bucket.hpp"

#include "report/BucketSums.hpp"
#include "vantery/base/Saturating.hpp"

namespace vantery {

std::int64_t Bucket::cacheWrite() const noexcept {
    return satAdd(cacheWrite5m, cacheWrite1h);
}

std::int64_t Bucket::totalTokens() const noexcept {
    return satAdd(satAdd(satAdd(input, output), cacheWrite()), cacheRead);
}

void Bucket::add(const UsageRecord& r, LocalDay day) {
    add(r, r.cost(day));
}

void Bucket::add(const UsageRecord& r, const Estimate<double>& e) {
    detail::addCounts(*this, r);
    if (auto it = modelCounts.find(r.model); it != modelCounts.end())
        it->second = satAdd(it->second, 1);
    else
        modelCounts.emplace(r.model, 1);
    if (e.isKnown()) {
        cost.priced += e.knownValue();
    } else {
        cost.unpricedRequests = satAdd(cost.unpricedRequests, 1);
        if (e.unknownReason().kind() == UnknownReason::Kind::noPriceForModel)
            cost.unpricedModels.insert(r.model);
    }
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

} // namespace vantery
