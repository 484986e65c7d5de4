#pragma once
// The built-in list prices, per million tokens, by model id and day.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/model/RequestCounts.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery {

/// One dated list price of one model; `until` is the last day it applies, absent when open-ended.
struct PriceTier {
    std::optional<LocalDay> until;
    double input = 0;
    double output = 0;
    friend bool operator==(const PriceTier&, const PriceTier&) = default;
};

/// The prices resolved for one model on one day, dollars per million tokens.
struct Prices {
    double input = 0;
    double output = 0;
    friend bool operator==(const Prices&, const Prices&) = default;
};

/// The price table and model-id rules. A type without instances; every member is
/// thread-safe and pure.
struct Pricing {
    Pricing() = delete;

    static constexpr double cacheReadMultiplier = 0.1;
    static constexpr double cacheWrite5mMultiplier = 1.25;
    static constexpr double cacheWrite1hMultiplier = 2.0;
    static constexpr double webSearchCostPerRequest = 0.01;
    static Estimate<double> webFetchCost();

    /// Model id → its tiers in date order, the open-ended tier last.
    static const std::map<std::string, std::vector<PriceTier>, std::less<>>& table();

    /// Prices of a model on a local civil day: exact id, else the longest key that
    /// prefixes it, a "." between two ASCII digits matching a "-" ("claude-opus-4.6"
    /// takes "claude-opus-4-6"); unknown(noPriceForModel(model)) when no key matches.
    static Estimate<Prices> prices(std::string_view model, LocalDay day);

    /// Trimmed, lower-cased, "[1m]" removed, a trailing "-20YYMMDD"-style date suffix dropped.
    static std::string normalizeModel(std::string_view model);

    /// The cost of one request at the given prices, in dollars: the one cost formula,
    /// behind UsageRecord::cost, every cached price lookup and every priced row. Web
    /// fetches add nothing. Inline, as the aggregation calls it for every request.
    static double costOf(const Prices& p, const RequestCounts& request) noexcept {
        const double in = p.input;
        double a = in * static_cast<double>(request.input);
        a = a + (in * static_cast<double>(request.cacheRead)) * cacheReadMultiplier;
        a = a + (in * static_cast<double>(request.cacheWrite5m)) * cacheWrite5mMultiplier;
        a = a + cacheWrite1hMultiplier * (in * static_cast<double>(request.cacheWrite1h));
        a = a + p.output * static_cast<double>(request.output);
        return a / 1'000'000.0 + static_cast<double>(request.webSearch) * webSearchCostPerRequest;
    }
};

} // namespace vantery
