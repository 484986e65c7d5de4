#pragma once
// The seven counts of a request, and the rules that combine them: a record, a row's
// wide counters, a bucket and the aggregation's sums all hold them as this type, so a
// new kind of count is added here and where it really differs (prices, the cache
// record, the texts).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "vantery/base/Saturating.hpp"

namespace vantery {

/// Token counts by kind and web tool requests, at full width.
struct RequestCounts {
    std::int64_t input = 0;
    std::int64_t output = 0;
    std::int64_t cacheWrite5m = 0;
    std::int64_t cacheWrite1h = 0;
    std::int64_t cacheRead = 0;
    std::int64_t webSearch = 0;
    std::int64_t webFetch = 0;

    /// Calls f(&RequestCounts::member) for each count, in declaration order.
    template <class F> static constexpr void forEachField(F&& f) {
        f(&RequestCounts::input);
        f(&RequestCounts::output);
        f(&RequestCounts::cacheWrite5m);
        f(&RequestCounts::cacheWrite1h);
        f(&RequestCounts::cacheRead);
        f(&RequestCounts::webSearch);
        f(&RequestCounts::webFetch);
    }

    /// These counts alone, for the types that hold them among other fields.
    RequestCounts& counts() noexcept { return *this; }
    const RequestCounts& counts() const noexcept { return *this; }

    /// Both cache writes, saturating.
    std::int64_t cacheWrite() const noexcept { return satAdd(cacheWrite5m, cacheWrite1h); }
    /// input + output + both cache writes + cache reads, saturating; web requests are
    /// not tokens.
    std::int64_t totalTokens() const noexcept {
        return satAdd(satAdd(satAdd(input, output), cacheWrite()), cacheRead);
    }
    /// True when the five token counts are equal; web requests are not compared.
    bool sameTokens(const RequestCounts& o) const noexcept {
        return input == o.input && output == o.output && cacheRead == o.cacheRead &&
               cacheWrite5m == o.cacheWrite5m && cacheWrite1h == o.cacheWrite1h;
    }

    /// Adds each count of `o`, saturating.
    void accumulate(const RequestCounts& o) noexcept {
        forEachField([&](auto m) { this->*m = satAdd(this->*m, o.*m); });
    }
    /// Another sighting of the same request: each count takes the larger of the two.
    /// Repeated lines and copies in other files report a request's running totals, so
    /// the largest is the request's count; summing would count it twice.
    void foldMax(const RequestCounts& o) noexcept {
        forEachField([&](auto m) { this->*m = std::max(this->*m, o.*m); });
    }

    friend bool operator==(const RequestCounts&, const RequestCounts&) = default;
};
// forEachField must name every count, or sums and folds would silently skip one.
static_assert([] {
    std::size_t n = 0;
    RequestCounts::forEachField([&](auto) { ++n; });
    return n * sizeof(std::int64_t) == sizeof(RequestCounts);
}());

} // namespace vantery
