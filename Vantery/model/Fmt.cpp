#include "model/Fmt.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <QList>
#include <QString>

#include <fmt/format.h>

#include "model/QtText.hpp"
#include "vantery/base/Text.hpp"

namespace vantery::app::Fmt {

namespace {

// Names are cleaned and isolated by the core's rules, so that the app's texts and the
// core's (caveats, the summary) treat a name alike.
QString cleanedText(std::string_view s) {
    return qs(text::cleanedName(s));
}

/// `s` cut in the middle to `max` user-perceived characters, "…" being one of them,
/// counted as the core counts them for every other label.
std::string cutMiddle(std::string_view s, int max) {
    const auto limit = static_cast<std::size_t>(std::max(1, max));
    if (s.size() <= limit) return std::string(s); // never more characters than bytes
    const std::size_t count = text::characterCount(s);
    if (count <= limit) return std::string(s);
    const std::size_t head = (limit - 1) / 2, tail = limit - 1 - head;
    std::string out(text::prefixCharacters(s, head));
    out += "\u2026";
    out += text::dropCharacters(s, count - tail);
    return out;
}

} // namespace

std::string cleanName(std::string_view name) {
    return text::isolatedName(name);
}

std::string shownName(std::string_view name, int maxCharacters) {
    return text::isolatedName(cutMiddle(text::cleanedName(name), maxCharacters));
}

std::string shownText(std::string_view composed, int maxWord) {
    const QString s = cleanedText(composed);
    QString out;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= s.size(); ++i) {
        if (i < s.size() && !s[i].isSpace()) continue;
        out += qs(cutMiddle(s.mid(start, i - start).toStdString(), maxWord));
        if (i < s.size()) out += s[i];
        start = i + 1;
    }
    return out.toStdString();
}

std::string fixed(double value, int decimals) {
    // fmt never consults the locale for "{:.Nf}", unlike printf under a set LC_NUMERIC.
    return fmt::format("{:.{}f}", value, decimals);
}

// Counts are written by the core's helpers, as in the exports and the server's answers.
std::string tokens(std::int64_t n) {
    return text::compactCount(n);
}

std::string exact(std::int64_t n) {
    return text::groupedDigits(n);
}

std::string ago(double date, double now) {
    // A moment after the clock read (a clock set back, a read taken too early) is now.
    const double s = std::max(0.0, now - date);
    if (s < 60) return std::to_string(static_cast<long long>(std::trunc(s))) + "s ago";
    if (s < 3600) return std::to_string(static_cast<long long>(s / 60)) + " min ago";
    if (s < 86400) return std::to_string(static_cast<long long>(s / 3600)) + "h ago";
    return std::to_string(static_cast<long long>(s / 86400)) + "d ago";
}

std::string duration(double seconds) {
    if (seconds < 1.0)
        return std::to_string(static_cast<long long>(std::trunc(seconds * 1000))) + " ms";
    return fixed(seconds, 1) + " s";
}

std::string day(LocalDay d) {
    return d.iso();
}

std::string day(double instant, const Calendar& calendar) {
    return calendar.dayOf(instant).iso();
}

std::string dayTime(double instant, const Calendar& calendar) {
    const LocalTime t = calendar.localTime(instant);
    return fmt::format("{:02}.{:02} {:02}:{:02}", t.day.day(), t.day.month(), t.hour, t.minute);
}

} // namespace vantery::app::Fmt
