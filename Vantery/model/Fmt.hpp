#pragma once
// The app's number, token, age, duration and date texts. Locale-independent: the
// decimal point is always ".", grouping always ",", digits always Western.
#include <cstdint>
#include <string>

#include "vantery/base/Calendar.hpp"

namespace vantery::app::Fmt {

/// A compact token count: 999, 1.0k, 1.00M, 1.23G; values below 1,000 (negatives too) plain.
std::string tokens(std::int64_t count);
/// A whole number with "," every three digits: 1,234,567; -1,000.
std::string exact(std::int64_t count);
/// The age of a moment measured from `now` (seconds since 1970): 42s ago, 5 min ago, 3h ago, 2d
/// ago.
std::string ago(double date, double now);
/// A short duration: 250 ms, 12.0 s.
std::string duration(double seconds);
/// The local day of an instant as "yyyy-MM-dd" in the given calendar.
std::string day(double instant, const Calendar& calendar);
/// A local day as "yyyy-MM-dd".
std::string day(LocalDay day);
/// An instant as "dd.MM HH:mm" in the given calendar.
std::string dayTime(double instant, const Calendar& calendar);
/// printf-style "%.Nf" without any locale: rounds as printf does.
std::string fixed(double value, int decimals);

} // namespace vantery::app::Fmt
