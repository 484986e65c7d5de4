#pragma once
// Spans of whole local days, the usual presets that end today, and the user's choice.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "vantery/base/Calendar.hpp"

namespace vantery {

/// A span of whole local days, both ends included; always from ≤ through.
struct DateRange {
    LocalDay from;
    LocalDay through;

    /// The days of two days, put in order.
    DateRange(LocalDay a, LocalDay b) : from(a < b ? a : b), through(a < b ? b : a) {}
    /// The local days of two instants in the calendar, put in order.
    DateRange(double fromInstant, double throughInstant, const Calendar& calendar)
        : DateRange(calendar.dayOf(fromInstant), calendar.dayOf(throughInstant)) {}

    bool isSingleDay() const noexcept { return from == through; }
    /// Days in the span, both ends counted.
    std::int64_t dayCount() const noexcept;
    /// Whether the local day of `now` lies in the span.
    bool includesToday(double now, const Calendar& calendar) const;
    /// Whether the local day of the instant lies in the span.
    bool contains(double instant, const Calendar& calendar) const;
    /// "This range includes today, so the figure is not final yet." when it does.
    std::optional<std::string> caveat(double now, const Calendar& calendar) const;
    /// "YYYY-MM-DD" for one day, else "YYYY-MM-DD → YYYY-MM-DD".
    std::string label() const;
    /// "March 2026" when the span is exactly one whole calendar month, else label().
    std::string title() const;

    /// The first instant of `from` in the calendar.
    double fromInstant(const Calendar& calendar) const { return calendar.startOfDay(from); }
    /// The first instant of `through` in the calendar.
    double throughInstant(const Calendar& calendar) const { return calendar.startOfDay(through); }

    friend bool operator==(const DateRange&, const DateRange&) = default;
};

/// The English name of a month with its year, e.g. "March 2026".
std::string monthTitle(LocalDay anyDayOfMonth);

/// A named span ending today, or a custom one.
class RangePreset {
  public:
    enum Value : std::uint8_t { thisMonth, lastMonth, last7Days, last30Days, yearToDate, custom };

    constexpr RangePreset(Value v) noexcept : v_(v) {}
    constexpr Value value() const noexcept { return v_; }

    /// The case name, e.g. "last7Days"; also the preset's id.
    std::string_view rawValue() const noexcept;
    std::string_view id() const noexcept { return rawValue(); }
    /// The label shown to users, e.g. "Last 7 days".
    std::string_view label() const noexcept;
    /// The preset with exactly that case name (case-sensitive); absent otherwise.
    static std::optional<RangePreset> fromRawValue(std::string_view raw) noexcept;

    /// The six presets in declaration order.
    static const std::array<RangePreset, 6>& allCases() noexcept;
    /// The presets the range picker offers: all six, in declaration order.
    static const std::array<RangePreset, 6>& pickable() noexcept { return allCases(); }

    /// The span of the preset on the local day of `now`; absent for custom.
    std::optional<DateRange> range(double now, const Calendar& calendar) const;

    friend constexpr bool operator==(RangePreset a, RangePreset b) noexcept { return a.v_ == b.v_; }

  private:
    Value v_;
};

/// The user's choice: a preset plus the custom days, kept whatever preset is chosen.
struct RangeSelection {
    RangePreset preset = RangePreset::last30Days;
    double customFrom = 0; ///< an instant on the first custom day, as picked
    double customTo = 0;   ///< an instant on the last custom day, as picked

    /// Missing custom days become the ends of the 30 days ending on the day of `now`.
    RangeSelection(RangePreset preset, std::optional<double> customFrom,
                   std::optional<double> customTo, double now, const Calendar& calendar);

    /// The preset's span, or for custom the ordered days of the two custom instants.
    DateRange resolved(double now, const Calendar& calendar) const;

    friend bool operator==(const RangeSelection&, const RangeSelection&) = default;
};

} // namespace vantery

/// Hashes both days, `from` first, so that equal ranges hash equally.
template <> struct std::hash<vantery::DateRange> {
    std::size_t operator()(const vantery::DateRange& r) const noexcept {
        std::size_t h = std::hash<std::int32_t>{}(r.from.daysSinceEpoch());
        return h ^ (std::hash<std::int32_t>{}(r.through.daysSinceEpoch()) + 0x9e3779b97f4a7c15ULL +
                    (h << 6) + (h >> 2));
    }
};

/// Hashes the raw value.
template <> struct std::hash<vantery::RangePreset> {
    std::size_t operator()(vantery::RangePreset p) const noexcept {
        return std::hash<std::string_view>{}(p.rawValue());
    }
};
