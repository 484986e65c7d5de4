#pragma once
// The app's number, token, age, duration and date texts. Locale-independent: the
// decimal point is always ".", grouping always ",", digits always Western.
#include <cstdint>
#include <string>
#include <string_view>

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

/// A name from the transcripts (model, project, session, agent) as every label and
/// tooltip shows it: text::isolatedName (control and direction characters dropped, set
/// between U+2068 and U+2069 when it holds right-to-left letters, so that it cannot
/// reorder the text around it). Never cut: for labels that elide to their width.
std::string cleanName(std::string_view name);
/// cleanName cut in the middle to at most `maxCharacters` characters (grapheme clusters),
/// "…" included, for names inside sentences (caveats), which cannot elide to a width.
std::string shownName(std::string_view name, int maxCharacters = 60);
/// A composed text that may hold names (captions, tooltips): control characters dropped
/// and every run of more than `maxWord` characters without a space cut in the middle
/// with "…", so that word wrap can always fit it to its width.
std::string shownText(std::string_view text, int maxWord = 60);

} // namespace vantery::app::Fmt
