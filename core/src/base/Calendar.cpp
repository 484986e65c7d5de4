#include "vantery/base/Calendar.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <date/date.h>
#include <date/tz.h>

namespace vantery {
namespace {

using Seconds = std::chrono::duration<double>;

date::sys_seconds floorSeconds(double instant, double& fraction) {
    double whole = std::floor(instant);
    fraction = instant - whole;
    // Instants far outside any calendar are clamped to keep date's arithmetic defined.
    constexpr double limit = 1e13;
    if (!(whole > -limit)) whole = -limit;
    if (!(whole < limit)) whole = limit;
    return date::sys_seconds{std::chrono::seconds{static_cast<std::int64_t>(whole)}};
}

const date::time_zone* tryLocate(std::string_view name) {
    try {
        return date::locate_zone(std::string(name));
    } catch (...) {
        return nullptr;
    }
}

const date::time_zone* utcZone() {
    static const date::time_zone* z = [] {
        for (auto n : {"Etc/UTC", "UTC", "Etc/GMT"})
            if (auto* found = tryLocate(n)) return found;
        return static_cast<const date::time_zone*>(nullptr);
    }();
    return z;
}

} // namespace

LocalDay LocalDay::fromYMD(int year, int month, int day) {
    // Day 1 of the month plus (day - 1) lets an overlong day run into the next month.
    auto first = date::sys_days{date::year{year} / date::month{static_cast<unsigned>(month)} / 1};
    return LocalDay(static_cast<std::int32_t>(first.time_since_epoch().count() + day - 1));
}

static date::year_month_day ymd(std::int32_t d) {
    return date::year_month_day{date::sys_days{date::days{d}}};
}

int LocalDay::year() const noexcept {
    return static_cast<int>(ymd(days_).year());
}
int LocalDay::month() const noexcept {
    return static_cast<int>(static_cast<unsigned>(ymd(days_).month()));
}
int LocalDay::day() const noexcept {
    return static_cast<int>(static_cast<unsigned>(ymd(days_).day()));
}
int LocalDay::weekday() const noexcept {
    return static_cast<int>(date::weekday{date::sys_days{date::days{days_}}}.c_encoding());
}

std::string LocalDay::iso() const {
    auto d = ymd(days_);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(d.year()),
                  static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
    return buf;
}

std::optional<LocalDay> LocalDay::parseISO(std::string_view t) {
    if (t.size() != 10 || t[4] != '-' || t[7] != '-') return std::nullopt;
    auto num = [&](std::size_t at, std::size_t n, int& out) {
        out = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9') return false;
            out = out * 10 + (t[i] - '0');
        }
        return true;
    };
    int y, m, d;
    if (!num(0, 4, y) || !num(5, 2, m) || !num(8, 2, d)) return std::nullopt;
    date::year_month_day v{date::year{y}, date::month{static_cast<unsigned>(m)},
                           date::day{static_cast<unsigned>(d)}};
    if (!v.ok()) return std::nullopt;
    return LocalDay(static_cast<std::int32_t>(date::sys_days{v}.time_since_epoch().count()));
}

Calendar::Calendar(const date::time_zone* zone)
    : zone_(zone), name_(zone ? std::string(zone->name()) : "UTC") {}

Calendar Calendar::utc() {
    return Calendar(utcZone());
}

std::optional<Calendar> Calendar::named(std::string_view ianaName) {
    if (auto* z = tryLocate(ianaName)) return Calendar(z);
    return std::nullopt;
}

Calendar Calendar::current() {
    if (const char* tz = std::getenv("TZ")) {
        std::string_view v(tz);
        if (!v.empty() && v.front() == ':') v.remove_prefix(1);
        if (v.empty()) return utc();
        constexpr std::string_view zoneinfo = "/usr/share/zoneinfo/";
        if (v.substr(0, zoneinfo.size()) == zoneinfo) v.remove_prefix(zoneinfo.size());
        if (auto* z = tryLocate(v)) return Calendar(z);
    }
    try {
        if (auto* z = date::current_zone()) return Calendar(z);
    } catch (...) {
    }
    return utc();
}

LocalTime Calendar::localTime(double instant) const {
    double fraction = 0;
    auto sys = floorSeconds(instant, fraction);
    LocalTime t;
    t.fraction = fraction;
    date::local_seconds local;
    if (zone_) {
        auto info = zone_->get_info(sys);
        t.offsetSeconds = static_cast<int>(info.offset.count());
        local = date::local_seconds{sys.time_since_epoch() + info.offset};
    } else {
        local = date::local_seconds{sys.time_since_epoch()};
    }
    auto dayStart = date::floor<date::days>(local);
    t.day = LocalDay(static_cast<std::int32_t>(dayStart.time_since_epoch().count()));
    auto tod = date::hh_mm_ss<std::chrono::seconds>(local - dayStart);
    t.hour = static_cast<int>(tod.hours().count());
    t.minute = static_cast<int>(tod.minutes().count());
    t.second = static_cast<int>(tod.seconds().count());
    return t;
}

LocalDay Calendar::dayOf(double instant) const {
    return localTime(instant).day;
}
int Calendar::hourOf(double instant) const {
    return localTime(instant).hour;
}
int Calendar::offsetSeconds(double instant) const {
    return localTime(instant).offsetSeconds;
}

double Calendar::instantOf(LocalDay day, int hour, int minute, double second) const {
    double whole = std::floor(second);
    auto local = date::local_seconds{date::days{day.daysSinceEpoch()}} + std::chrono::hours{hour} +
                 std::chrono::minutes{minute} +
                 std::chrono::seconds{static_cast<std::int64_t>(whole)};
    double frac = second - whole;
    if (!zone_) return static_cast<double>(local.time_since_epoch().count()) + frac;
    auto info = zone_->get_info(local);
    std::int64_t sys = 0;
    switch (info.result) {
    case date::local_info::unique:
    case date::local_info::ambiguous:
        sys = local.time_since_epoch().count() - info.first.offset.count();
        break;
    case date::local_info::nonexistent:
        // The wall-clock time fell in a gap: the first instant after it.
        sys = info.second.begin.time_since_epoch().count();
        frac = 0;
        break;
    }
    return static_cast<double>(sys) + frac;
}

Calendar::OffsetSpan Calendar::offsetSpan(double instant) const {
    double fraction = 0;
    auto sys = floorSeconds(instant, fraction);
    if (!zone_) return {-1e300, 1e300, 0};
    auto info = zone_->get_info(sys);
    return {static_cast<double>(info.begin.time_since_epoch().count()),
            static_cast<double>(info.end.time_since_epoch().count()),
            static_cast<int>(info.offset.count())};
}

double Calendar::startOfDay(LocalDay day) const {
    return instantOf(day, 0, 0, 0);
}

} // namespace vantery
