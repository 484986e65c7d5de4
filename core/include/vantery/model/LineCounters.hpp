#pragma once
// How the lines of a reading were counted: the lines parsed for usage and each reason
// such a line gave no request. A scan's diagnostics and a cached file's counters hold
// them as this one type, so a new reason is added here and where it really differs
// (the ingestion's test, the cache record, the texts).
#include <cstddef>
#include <cstdint>

#include "vantery/base/Saturating.hpp"

namespace vantery {

struct LineCounters {
    std::int64_t usageLines = 0;          ///< lines holding the quoted bytes "usage": parsed
    std::int64_t notUsageBearing = 0;     ///< their message has no usage object
    std::int64_t skippedZeroUsage = 0;    ///< all six usage counts are 0
    std::int64_t rejectedInvalidJSON = 0; ///< not a JSON object
    std::int64_t rejectedNoMessage = 0;   ///< no non-empty message object
    std::int64_t rejectedNoTimestamp = 0; ///< usage, but no parseable timestamp
    std::int64_t rejectedNoIdentity = 0;  ///< usage and a time, but no message or request id

    /// Calls f(&LineCounters::member) for each counter, in declaration order.
    template <class F> static constexpr void forEachField(F&& f) {
        f(&LineCounters::usageLines);
        f(&LineCounters::notUsageBearing);
        f(&LineCounters::skippedZeroUsage);
        f(&LineCounters::rejectedInvalidJSON);
        f(&LineCounters::rejectedNoMessage);
        f(&LineCounters::rejectedNoTimestamp);
        f(&LineCounters::rejectedNoIdentity);
    }

    /// These counters alone, for the types that hold them among other fields.
    LineCounters& lines() noexcept { return *this; }
    const LineCounters& lines() const noexcept { return *this; }

    /// The four rejections, saturating; lines without usage or with zero usage are
    /// not rejections.
    std::int64_t totalRejected() const noexcept {
        return satAdd(satAdd(satAdd(rejectedInvalidJSON, rejectedNoMessage), rejectedNoTimestamp),
                      rejectedNoIdentity);
    }

    /// Adds each counter of `o`, saturating.
    void accumulate(const LineCounters& o) noexcept {
        forEachField([&](auto m) { this->*m = satAdd(this->*m, o.*m); });
    }

    friend bool operator==(const LineCounters&, const LineCounters&) = default;
};
// forEachField must name every counter, or merges would silently drop one.
static_assert([] {
    std::size_t n = 0;
    LineCounters::forEachField([&](auto) { ++n; });
    return n * sizeof(std::int64_t) == sizeof(LineCounters);
}());

} // namespace vantery
