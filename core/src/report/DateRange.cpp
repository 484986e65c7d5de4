#include "vantery/report/DateRange.hpp"

namespace vantery {
namespace {

constexpr std::array<std::string_view, 12> monthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

LocalDay firstOfMonth(LocalDay d) {
    return LocalDay::fromYMD(d.year(), d.month(), 1);
}

// First day of the month `delta` months away from d's month.
LocalDay firstOfMonthOffset(LocalDay d, int delta) {
    int index = d.year() * 12 + (d.month() - 1) + delta;
    int year = index >= 0 ? index / 12 : -((-index + 11) / 12);
    int month = index - year * 12 + 1;
    return LocalDay::fromYMD(year, month, 1);
}

} // namespace

std::int64_t DateRange::dayCount() const noexcept {
    return static_cast<std::int64_t>(through.daysSinceEpoch()) - from.daysSinceEpoch() + 1;
}

bool DateRange::contains(double instant, const Calendar& calendar) const {
    auto d = calendar.dayOf(instant);
    return d >= from && d <= through;
}

bool DateRange::includesToday(double now, const Calendar& calendar) const {
    return contains(now, calendar);
}

std::optional<std::string> DateRange::caveat(double now, const Calendar& calendar) const {
    if (!includesToday(now, calendar)) return std::nullopt;
    return "This range includes today, so the figure is not final yet.";
}

std::string DateRange::label() const {
    if (isSingleDay()) return from.iso();
    return from.iso() + " \u2192 " + through.iso();
}

std::string DateRange::title() const {
    bool wholeMonth = from.day() == 1 && firstOfMonthOffset(from, 1).addingDays(-1) == through;
    return wholeMonth ? monthTitle(from) : label();
}

std::string monthTitle(LocalDay d) {
    return std::string(monthNames[static_cast<std::size_t>(d.month() - 1)]) + " " +
           std::to_string(d.year());
}

std::string_view RangePreset::rawValue() const noexcept {
    switch (v_) {
    case thisMonth:
        return "thisMonth";
    case lastMonth:
        return "lastMonth";
    case last7Days:
        return "last7Days";
    case last30Days:
        return "last30Days";
    case yearToDate:
        return "yearToDate";
    case custom:
        return "custom";
    }
    return "custom";
}

std::string_view RangePreset::label() const noexcept {
    switch (v_) {
    case thisMonth:
        return "This month";
    case lastMonth:
        return "Last month";
    case last7Days:
        return "Last 7 days";
    case last30Days:
        return "Last 30 days";
    case yearToDate:
        return "Year to date";
    case custom:
        return "Custom range";
    }
    return "Custom range";
}

const std::array<RangePreset, 6>& RangePreset::allCases() noexcept {
    static constexpr std::array<RangePreset, 6> all = {thisMonth,  lastMonth,  last7Days,
                                                       last30Days, yearToDate, custom};
    return all;
}

std::optional<RangePreset> RangePreset::fromRawValue(std::string_view raw) noexcept {
    for (auto p : allCases())
        if (p.rawValue() == raw) return p;
    return std::nullopt;
}

std::optional<DateRange> RangePreset::range(double now, const Calendar& calendar) const {
    const LocalDay today = calendar.dayOf(now);
    auto daysBack = [&](int n) { return DateRange(today.addingDays(1 - n), today); };
    switch (v_) {
    case thisMonth:
        return DateRange(firstOfMonth(today), today);
    case lastMonth: {
        // The month before today's; its last day is the day before today's month begins.
        return DateRange(firstOfMonthOffset(today, -1), firstOfMonth(today).addingDays(-1));
    }
    case last7Days:
        return daysBack(7);
    case last30Days:
        return daysBack(30);
    case yearToDate:
        return DateRange(LocalDay::fromYMD(today.year(), 1, 1), today);
    case custom:
        return std::nullopt;
    }
    return std::nullopt;
}

RangeSelection::RangeSelection(RangePreset p, std::optional<double> from, std::optional<double> to,
                               double now, const Calendar& calendar)
    : preset(p) {
    const LocalDay today = calendar.dayOf(now);
    customFrom = from ? *from : calendar.startOfDay(today.addingDays(-29));
    customTo = to ? *to : calendar.startOfDay(today);
}

DateRange RangeSelection::resolved(double now, const Calendar& calendar) const {
    if (auto r = preset.range(now, calendar)) return *r;
    return DateRange(customFrom, customTo, calendar);
}

} // namespace vantery
