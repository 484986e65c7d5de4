#pragma once
// The figures read beside today's cost: the current rate, yesterday so far, the
// change against it, yesterday's full day and the median of recent active days.
#include <span>
#include <string_view>

#include "vantery/base/Calendar.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/report/Report.hpp"

namespace vantery {

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

    /// Cost of yesterday's local day in the report; unknown(noData) when it has none.
    static Estimate<CostEstimate> yesterdayCost(const Report& report, double now,
                                                const Calendar& calendar);

    /// Median cost of the `n` most recent active days before today (not calendar days);
    /// unknown(noData) when there are none or n ≤ 0.
    static Estimate<CostEstimate> medianOfRecentDays(const Report& report, int n, double now,
                                                     const Calendar& calendar);
};

} // namespace vantery
