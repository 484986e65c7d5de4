#include "vantery/report/Derived.hpp"

#include <cmath>
#include <fmt/format.h>
#include <vector>

#include "report/DayPricing.hpp"
#include "vantery/base/Saturating.hpp"
#include "vantery/pricing/Pricing.hpp"

namespace vantery {
namespace {

using CostFigure = Estimate<CostEstimate>;

const Bucket* activeHour(const Report& today, int hour) {
    auto it = today.byHour.find(hour);
    if (it == today.byHour.end() || it->second.requests < 1) return nullptr;
    return &it->second;
}

} // namespace

CostFigure Derived::currentHourlyRate(const Report& today, double now, const Calendar& calendar) {
    const LocalTime t = calendar.localTime(now);
    const int h = t.hour, m = t.minute;
    if (m >= 10)
        if (const Bucket* b = activeHour(today, h))
            return CostFigure::known(b->cost.scaled(60.0 / m));
    // A full past hour is a rate in itself.
    for (int back = h - 1; back >= 0 && back >= h - 3; --back)
        if (const Bucket* b = activeHour(today, back)) return CostFigure::known(b->cost);
    // Under two minutes of the current hour is too little to extrapolate.
    if (m >= 2)
        if (const Bucket* b = activeHour(today, h))
            return CostFigure::known(b->cost.scaled(60.0 / m));
    return CostFigure::unknown(today.total.requests > 0 ? UnknownReason::noRecentActivity()
                                                        : UnknownReason::noData());
}

CostFigure Derived::yesterdayAtSameTime(std::span<const UsageRecord> records, double now,
                                        const Calendar& calendar) {
    return yesterdayAtSameTime(RequestTable::fromRecords(records), now, calendar);
}

CostFigure Derived::yesterdayAtSameTime(const RequestTable& table, double now,
                                        const Calendar& calendar) {
    const LocalDay today = calendar.dayOf(now);
    const double todayStart = calendar.startOfDay(today);
    // The previous calendar day's own start: on a day whose midnight was skipped,
    // "today's start minus a day" would not be a day start at all.
    const double yesterdayStart = calendar.startOfDay(today.addingDays(-1));
    // Elapsed time, not clock reading: across a DST change the window is as long as today's.
    const double elapsed = std::trunc(now - todayStart);
    const double windowEnd = yesterdayStart + elapsed;
    if (!std::isfinite(todayStart) || !std::isfinite(yesterdayStart) || !std::isfinite(windowEnd))
        return CostFigure::unknown(UnknownReason::noData());

    detail::LocalClock clock(calendar);
    detail::PriceBook book;
    book.use(table.dictionary(), table.sizes().models);
    CostEstimate sum;
    bool any = false;
    for (const RequestRow& r : table) {
        if (!(r.timestamp >= yesterdayStart && r.timestamp <= windowEnd)) continue;
        any = true;
        std::int32_t day = 0;
        int hour = 0;
        clock.dayAndHour(r.timestamp, day, hour);
        bool added = false;
        const std::uint32_t model = book.model(r.model, day, added);
        if (book.priced[model]) {
            sum.priced += book.cost(model, day, table.counts(r));
        } else {
            sum.unpricedRequests = satAdd(sum.unpricedRequests, 1);
            sum.unpricedModels.insert(book.names[model]);
        }
    }
    if (!any) return CostFigure::unknown(UnknownReason::noData());
    return CostFigure::known(std::move(sum));
}

Estimate<double> Derived::delta(double current, const CostFigure& baseline) {
    if (!baseline.isKnown() || !(baseline.knownValue().priced > 0))
        return Estimate<double>::unknown(UnknownReason::noData());
    const double base = baseline.knownValue().priced;
    return Estimate<double>::known((current - base) / base * 100);
}

std::string PercentFigure::text(bool withSign) const {
    if (kind == Kind::unknown) return {};
    // A bound is rounded away from what it claims, a lower one down and an upper one up:
    // rounded to the nearest tenth, 99.96% "at least" would read "≥ 100.0%", a share the
    // open side can never reach. Dollar bounds round the same way (CostEstimate::moneyRounded).
    std::string number;
    if (kind == Kind::exact)
        number = fmt::format("{:.1f}", percent + 0.0); // no "-0.0%"
    else
        number = fixedDecimals(percent, 1, kind == Kind::atLeast ? Rounding::down : Rounding::up);
    std::string out = kind == Kind::atLeast ? "\u2265 " : kind == Kind::atMost ? "\u2264 " : "";
    if (withSign && number[0] != '-') out += '+';
    return out + number + '%';
}

PercentFigure Derived::share(const CostEstimate& part, const CostEstimate& whole) {
    if (!(whole.priced > 0))
        return PercentFigure::unknown(whole.isComplete()
                                          ? "there is no priced cost to take a share of"
                                          : "none of these requests has a known price");
    const bool partOpen = !part.isComplete();
    const bool restOpen = whole.unpricedRequests > part.unpricedRequests;
    // Nothing priced and nothing left out is nothing at all, whatever the rest is.
    if (!partOpen && !(part.priced > 0)) return PercentFigure::exact(0);
    const double p = part.priced / whole.priced * 100;
    // The rest is nothing at all: the part is the whole, however much of it is priced.
    if (!restOpen && !(whole.priced - part.priced > 0)) return PercentFigure::exact(100);
    if (partOpen && restOpen)
        return PercentFigure::unknown(
            "both it and the rest leave out requests with no known price");
    // "At least 0%" and "at most 100%" are true of any share: they are no figure.
    if (partOpen && !(part.priced > 0))
        return PercentFigure::unknown("none of its requests has a known price");
    if (restOpen && !(whole.priced - part.priced > 0))
        return PercentFigure::unknown("none of the other requests has a known price");
    if (partOpen) return PercentFigure::bound(PercentFigure::Kind::atLeast, p);
    if (restOpen) return PercentFigure::bound(PercentFigure::Kind::atMost, p);
    return PercentFigure::exact(p);
}

PercentFigure Derived::sameTimeChange(const CostEstimate& today, const CostFigure& yesterday) {
    const bool todayOpen = !today.isComplete();
    // Against a lower bound of $0 any change from -100% up is possible: that is no figure.
    if (todayOpen && !(today.priced > 0))
        return PercentFigure::unknown("none of today\u2019s requests has a known price");
    if (!yesterday.isKnown()) return PercentFigure::unknown(yesterday.unknownReason().text());
    const CostEstimate& base = yesterday.knownValue();
    const bool baseOpen = !base.isComplete();
    if (!(base.priced > 0))
        return PercentFigure::unknown(
            baseOpen ? "none of yesterday\u2019s requests up to this time has a known price"
                     : "yesterday\u2019s requests up to this time cost " + CostEstimate::money(0));
    // Nothing today, against a yesterday that cost something: all of it is gone, however
    // much more yesterday's unpriced requests cost.
    if (!todayOpen && !(today.priced > 0)) return PercentFigure::exact(-100);
    if (todayOpen && baseOpen)
        return PercentFigure::unknown(
            "today and yesterday both leave out requests with no known price");
    const double p = (today.priced - base.priced) / base.priced * 100;
    if (todayOpen) return PercentFigure::bound(PercentFigure::Kind::atLeast, p);
    if (baseOpen) return PercentFigure::bound(PercentFigure::Kind::atMost, p);
    return PercentFigure::exact(p);
}

CostFigure Derived::yesterdayCost(const Report& report, double now, const Calendar& calendar) {
    auto it = report.byDay.find(calendar.dayOf(now).addingDays(-1));
    if (it == report.byDay.end()) return CostFigure::unknown(UnknownReason::noData());
    return CostFigure::known(it->second.cost);
}

CostFigure Derived::medianOfRecentDays(const Report& report, int n, double now,
                                       const Calendar& calendar) {
    const LocalDay today = calendar.dayOf(now);
    std::vector<CostEstimate> costs;
    // byDay is ordered by day: walk back from the last day before today.
    for (auto it = report.byDay.lower_bound(today);
         it != report.byDay.begin() && static_cast<int>(costs.size()) < n;) {
        --it;
        costs.push_back(it->second.cost);
    }
    if (costs.empty()) return CostFigure::unknown(UnknownReason::noData());
    return CostFigure::known(CostEstimate::median(costs));
}

} // namespace vantery
