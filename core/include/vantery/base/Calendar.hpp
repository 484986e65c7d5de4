#pragma once
// Local calendar days and hours in one time zone. Day starts come from the zone's
// rules, never from multiples of 86,400 s, so DST days and skipped midnights work.
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace date {
class time_zone;
}

namespace vantery {

/// One civil (proleptic Gregorian) calendar day, independent of any zone.
class LocalDay {
  public:
    constexpr LocalDay() = default;
    /// Days since 1970-01-01.
    constexpr explicit LocalDay(std::int32_t daysSinceEpoch) : days_(daysSinceEpoch) {}
    /// A day from its parts; a day past the month's end runs on into the next month.
    static LocalDay fromYMD(int year, int month, int day);

    constexpr std::int32_t daysSinceEpoch() const noexcept { return days_; }
    int year() const noexcept;
    int month() const noexcept; ///< 1 to 12
    int day() const noexcept;   ///< 1 to 31
    /// 0 = Sunday … 6 = Saturday.
    int weekday() const noexcept;
    constexpr LocalDay addingDays(std::int32_t n) const noexcept { return LocalDay(days_ + n); }
    /// "YYYY-MM-DD".
    std::string iso() const;
    /// Parses "YYYY-MM-DD" strictly (a real date, four-digit year).
    static std::optional<LocalDay> parseISO(std::string_view text);

    friend constexpr auto operator<=>(LocalDay, LocalDay) = default;

  private:
    std::int32_t days_ = 0;
};

/// Broken-down local time of an instant.
struct LocalTime {
    LocalDay day;
    int hour = 0, minute = 0, second = 0;
    double fraction = 0;   ///< of the second, 0 ≤ f < 1
    int offsetSeconds = 0; ///< zone offset from UTC at that instant
};

/// A Gregorian calendar in one IANA time zone. Cheap to copy; safe to share between threads.
class Calendar {
  public:
    /// The process's zone: TZ when set (empty means UTC), else the system's; UTC as a last resort.
    static Calendar current();
    /// A calendar in the named IANA zone; absent when the zone is unknown.
    static std::optional<Calendar> named(std::string_view ianaName);
    static Calendar utc();

    const std::string& zoneName() const noexcept { return name_; }

    /// The local civil day that contains the instant (seconds since 1970).
    LocalDay dayOf(double instant) const;
    /// The local hour 0 to 23 of the instant.
    int hourOf(double instant) const;
    /// Local day, time and offset of the instant.
    LocalTime localTime(double instant) const;
    /// The first instant of the local day: local midnight, or the end of the gap
    /// when midnight was skipped; the earlier midnight when it repeats.
    double startOfDay(LocalDay day) const;
    /// The first instant of the local day after `day`.
    double startOfNextDay(LocalDay day) const { return startOfDay(day.addingDays(1)); }
    /// The instant of a local wall-clock time on a day (earliest when ambiguous,
    /// the gap's end when it does not exist).
    double instantOf(LocalDay day, int hour, int minute, double second) const;
    /// Offset from UTC in seconds at the instant.
    int offsetSeconds(double instant) const;

    /// A stretch of time [begin, end) over which the zone's offset from UTC does not change.
    struct OffsetSpan {
        double begin = 0;
        double end = 0;
        int offsetSeconds = 0;
        bool contains(double instant) const noexcept { return instant >= begin && instant < end; }
    };
    /// The stretch of constant offset that holds the instant, so that callers can work out
    /// the local day and hour of many instants without asking the zone each time.
    OffsetSpan offsetSpan(double instant) const;

    friend bool operator==(const Calendar& a, const Calendar& b) { return a.zone_ == b.zone_; }

  private:
    explicit Calendar(const date::time_zone* zone);
    const date::time_zone* zone_;
    std::string name_;
};

} // namespace vantery
