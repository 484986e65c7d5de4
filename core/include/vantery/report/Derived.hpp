#pragma once
// The figures read beside today's cost: the current rate, yesterday so far, the
// change against it, yesterday's full day and the median of recent active days.
#include <span>
#include <string>
#include <string_view>

#include "vantery/base/Calendar.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/report/Report.hpp"

namespace vantery {

/// A percentage read from costs that may leave out unpriced requests. It is exact only
/// when neither side leaves any out; when one side does, it is the bound that side still
/// allows ("≥ 12.3%"); when no bound says anything, it is unknown with the sentence why.
struct PercentFigure {
    enum class Kind { exact, atLeast, atMost, unknown };
    Kind kind = Kind::unknown;
    double percent = 0; ///< the value or its bound; 0 when unknown
    std::string reason; ///< only when unknown: lower case, no final full stop

    static PercentFigure exact(double p) { return {Kind::exact, p, {}}; }
    static PercentFigure bound(Kind k, double p) { return {k, p, {}}; }
    static PercentFigure unknown(std::string why) { return {Kind::unknown, 0, std::move(why)}; }

    bool isKnown() const noexcept { return kind != Kind::unknown; }
    /// "12.3%", "≥ 12.3%", "≤ 12.3%"; with `withSign` a non-negative value takes "+"
    /// ("≥ +12.3%"). A bound is rounded outward to the tenth (a lower one down, an upper
    /// one up), so that it never claims more than is known. Empty when unknown: each
    /// program words that itself.
    std::string text(bool withSign = false) const;

    friend bool operator==(const PercentFigure&, const PercentFigure&) = default;
};

/// Pure functions over reports and records; the calendar decides local days and hours.
struct Derived {
    Derived() = delete;

    /// The one line shown under every estimate.
    static constexpr std::string_view disclaimer =
        "Estimate from usage \u00d7 list API prices. Not a bill.";

    /// Dollars per hour now, from a report of today built with hours. Unknown with
    /// noRecentActivity when today had requests but none recent enough, else noData.
    static Estimate<CostEstimate> currentHourlyRate(const Report& today, double now,
                                                    const Calendar& calendar);

    /// Cost of the records from the start of yesterday up to the same elapsed time
    /// (both ends included), each priced on its own local day; unknown(noData) when
    /// none lies in that window.
    static Estimate<CostEstimate> yesterdayAtSameTime(const RequestTable& table, double now,
                                                      const Calendar& calendar);
    /// The same over a table of these records (RequestTable::fromRecords).
    static Estimate<CostEstimate> yesterdayAtSameTime(std::span<const UsageRecord> records,
                                                      double now, const Calendar& calendar);

    /// Percent change of `current` against the baseline's priced dollars; unknown(noData)
    /// when the baseline is unknown or not above 0.
    static Estimate<double> delta(double current, const Estimate<CostEstimate>& baseline);

    /// `part` as a share of `whole` (which includes it), in percent. A side that leaves out
    /// unpriced requests turns the share into a bound (the part's own: at least; the rest's:
    /// at most); both sides at once, or a bound of 0% or 100%, leave it unknown.
    static PercentFigure share(const CostEstimate& part, const CostEstimate& whole);

    /// Today's change against yesterday up to the same time (`yesterdayAtSameTime`), by
    /// the same rule: an unpriced request on today's side makes it a lower bound, on
    /// yesterday's an upper one; unknown when nothing of a side is priced or both leave
    /// requests out. A today with nothing at all against a priced yesterday is exactly
    /// -100%. Without a baseline: unknown with the no-data sentence; against a yesterday
    /// whose requests cost $0, unknown saying so.
    static PercentFigure sameTimeChange(const CostEstimate& today,
                                        const Estimate<CostEstimate>& yesterday);

    /// Cost of yesterday's local day in the report; unknown(noData) when it has none.
    static Estimate<CostEstimate> yesterdayCost(const Report& report, double now,
                                                const Calendar& calendar);

    /// Median cost of the `n` most recent active days before today (not calendar days);
    /// unknown(noData) when there are none or n ≤ 0.
    static Estimate<CostEstimate> medianOfRecentDays(const Report& report, int n, double now,
                                                     const Calendar& calendar);
};

} // namespace vantery
