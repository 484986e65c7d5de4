#pragma once
// The running total of a set of requests: one row of any report.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/model/RequestCounts.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery {

/// The cost component with the most tokens, and its share in percent.
struct DominantComponent {
    std::string name; ///< "cache read", "cache write", "output" or "input"
    double percent = 0;
    friend bool operator==(const DominantComponent&, const DominantComponent&) = default;
};

/// Its counts are the sums of its requests' counts, with cacheWrite() and totalTokens().
struct Bucket : RequestCounts {
    std::int64_t requests = 0;
    CostEstimate cost;
    std::map<std::string, std::int64_t, std::less<>> modelCounts;
    std::optional<double> firstActivity;
    std::optional<double> lastActivity;
    std::int64_t cacheWriteAssumedRequests = 0;

    /// Folds one request in, priced on its local day.
    void add(const UsageRecord& record, LocalDay day);
    /// Folds one request in with a cost already worked out (by record.cost(day)),
    /// so one aggregation prices each record once for all its buckets.
    void add(const UsageRecord& record, const Estimate<double>& cost);
    /// The same for a row of a table, priced on its local day.
    void add(const RequestTable& table, const RequestRow& row, LocalDay day);
    /// The same for a row with a cost already worked out (by costOf).
    void add(const RequestTable& table, const RequestRow& row, const Estimate<double>& cost);
    /// The list-price cost of a row on a local day, by the one formula of
    /// Pricing::costOf; unknown(noPriceForModel) when its model has no price.
    static Estimate<double> costOf(const RequestTable& table, const RequestRow& row, LocalDay day);

    /// A counter as a percentage of totalTokens; unknown(noData) when there are no tokens.
    Estimate<double> share(std::int64_t Bucket::*counter) const;
    Estimate<DominantComponent> dominantComponent() const;

    /// One model id and how many of the bucket's requests used it.
    struct ModelUse {
        std::string_view model; ///< points into modelCounts
        std::int64_t requests;
    };
    /// The models by use: most requests first, equal counts by model id ascending.
    std::vector<ModelUse> modelsByUse() const;

    friend bool operator==(const Bucket&, const Bucket&) = default;
};

} // namespace vantery
