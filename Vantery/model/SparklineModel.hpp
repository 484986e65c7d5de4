#pragma once
// One day's cost by local hour as 24 bars: heights, fills and help texts.
#include <array>
#include <map>
#include <string>

#include "vantery/base/Calendar.hpp"
#include "vantery/report/Bucket.hpp"

namespace vantery::app {

struct SparklineBar {
    enum class Fill {
        empty,   ///< no requests in the hour: the faded unknown colour
        faded,   ///< requests, not the current hour: accent at reduced opacity
        current, ///< requests in the current hour: full accent
    };
    int hour = 0;
    Fill fill = Fill::empty;
    /// Height in device-independent pixels, absolute whatever the frame's height:
    /// 30 for the costliest hour, never below 2.
    double height = 2;
    /// "09:00 — $1.24", "09:00 — ≥ $0.00" with unpriced requests, "09:00 — no requests".
    std::string tooltip;

    friend bool operator==(const SparklineBar&, const SparklineBar&) = default;
};

struct SparklineModel {
    static constexpr double tallest = 30;
    static constexpr double lowest = 2;

    std::array<SparklineBar, 24> bars; ///< hour 0 first
    int currentHour = 0;
};

/// The bars of a report's hours with the current hour taken from `now` in `calendar`.
/// An hour with requests is always drawn as such and shows its cost, also when none of
/// its requests could be priced; only an hour without requests reads "no requests".
SparklineModel buildSparkline(const std::map<int, Bucket>& byHour, double now,
                              const Calendar& calendar);

} // namespace vantery::app
