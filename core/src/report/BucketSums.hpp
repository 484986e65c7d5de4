#pragma once
// How a request is folded into a bucket's sums, written once: Bucket::add and the
// flat accumulators of the aggregation and the per-file contributions all take a
// request in through addCounts, and the accumulators turn into buckets through
// Axis::bucket.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vantery/base/Saturating.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/report/Bucket.hpp"

namespace vantery::detail {

// Adds one request's counters and activity to sums whose fields are named as
// Bucket's. The cost and the per-model counts are the caller's: a bucket keeps them
// per request, the accumulators per model.
// Always inlined: the aggregation calls it nine times per row, and as a call it costs
// a seventh of the pass.
template <class Sums>
[[gnu::always_inline]] inline void addCounts(Sums& s, const RequestCounts& c, double timestamp,
                                             bool cacheWriteBreakdownAssumed) noexcept {
    s.requests = satAdd(s.requests, 1);
    s.counts().accumulate(c);
    if (cacheWriteBreakdownAssumed)
        s.cacheWriteAssumedRequests = satAdd(s.cacheWriteAssumedRequests, 1);
    if constexpr (requires { s.noteActivity(timestamp); }) {
        s.noteActivity(timestamp);
    } else {
        if (!s.firstActivity || timestamp < *s.firstActivity) s.firstActivity = timestamp;
        if (!s.lastActivity || timestamp > *s.lastActivity) s.lastActivity = timestamp;
    }
}

// Copies the counters that a Bucket, the sums below and a report's agent columns name
// alike.
template <class To, class From> void copyCounters(To& to, const From& from) noexcept {
    to.requests = from.requests;
    to.counts() = from.counts();
    to.cacheWriteAssumedRequests = from.cacheWriteAssumedRequests;
}

// The sums of one bucket, without its per-model counts.
struct Sums : RequestCounts {
    std::int64_t requests = 0, cacheWriteAssumedRequests = 0;
    double priced = 0;
    double first = 0, last = 0; // valid once requests > 0

    // Called by addCounts once it has counted the request: the first one sets both ends.
    void noteActivity(double t) noexcept {
        if (requests == 1) {
            first = last = t;
        } else {
            if (t < first) first = t;
            if (t > last) last = t;
        }
    }
    [[gnu::always_inline]] void add(const RequestCounts& c, double timestamp, bool assumed,
                                    double cost) noexcept {
        addCounts(*this, c, timestamp, assumed);
        priced += cost; // 0 for an unpriced request, as Bucket::add adds nothing then
    }
};

// Sums per key plus request counts per (key, model), stored with a stride that grows
// when a new model appears.
class Axis {
  public:
    // Room for n keys without moving: a pass that may meet hundreds of thousands of keys
    // would otherwise hold the old and the new arrays at once as they grow.
    void reserveKeys(std::size_t n) {
        sums_.reserve(n);
        counts_.reserve(n * stride_);
    }
    void ensureKeys(std::size_t n) {
        if (sums_.size() < n) {
            sums_.resize(n);
            counts_.resize(n * stride_, 0);
        }
    }
    void ensureModels(std::size_t models) {
        if (models <= stride_) return;
        std::size_t wider = stride_;
        while (wider < models)
            wider *= 2;
        std::vector<std::int64_t> grown(sums_.size() * wider, 0);
        for (std::size_t k = 0; k < sums_.size(); ++k)
            std::copy_n(counts_.begin() + static_cast<std::ptrdiff_t>(k * stride_), stride_,
                        grown.begin() + static_cast<std::ptrdiff_t>(k * wider));
        counts_ = std::move(grown);
        stride_ = wider;
    }
    [[gnu::always_inline]] void add(std::uint32_t key, std::uint32_t model, const RequestCounts& c,
                                    double timestamp, bool assumed, double cost) {
        sums_[key].add(c, timestamp, assumed, cost);
        auto& n = counts_[key * stride_ + model];
        n = satAdd(n, 1);
    }
    // Asks for a key's sums and counts to be brought into cache.
    [[gnu::always_inline]] void prefetch(std::uint32_t key) const noexcept {
        if (key >= sums_.size()) return;
        const char* sums = reinterpret_cast<const char*>(&sums_[key]);
        __builtin_prefetch(sums);
        __builtin_prefetch(sums + sizeof(Sums) - 1);
        __builtin_prefetch(&counts_[key * stride_]);
    }
    std::size_t size() const noexcept { return sums_.size(); }
    bool used(std::uint32_t key) const { return sums_[key].requests > 0; }
    const Sums& sums(std::uint32_t key) const { return sums_[key]; }
    std::int64_t count(std::uint32_t key, std::size_t model) const {
        return counts_[key * stride_ + model];
    }

    // The bucket of one key: what Bucket::add would have built from the same requests
    // in the same order. A model without a price makes each of its requests unpriced.
    Bucket bucket(std::uint32_t key, const std::vector<std::string>& modelNames,
                  const std::vector<char>& modelPriced) const {
        const Sums& s = sums_[key];
        Bucket b;
        copyCounters(b, s);
        b.cost.priced = s.priced;
        if (s.requests > 0) {
            b.firstActivity = s.first;
            b.lastActivity = s.last;
        }
        for (std::size_t m = 0; m < modelNames.size(); ++m) {
            std::int64_t n = counts_[key * stride_ + m];
            if (n == 0) continue;
            b.modelCounts.emplace(modelNames[m], n);
            if (!modelPriced[m]) {
                b.cost.unpricedRequests = satAdd(b.cost.unpricedRequests, n);
                b.cost.unpricedModels.insert(modelNames[m]);
            }
        }
        return b;
    }

  private:
    std::vector<Sums> sums_;
    std::vector<std::int64_t> counts_;
    std::size_t stride_ = 8;
};

} // namespace vantery::detail
