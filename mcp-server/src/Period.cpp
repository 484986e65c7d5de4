#include "vantery/mcp/Period.hpp"

#include <charconv>
#include <cstdint>

#include "vantery/base/Text.hpp"
#include "vantery/mcp/AnswerText.hpp"

namespace vantery::mcp {
namespace {

// Days before year 0 cannot be written as yyyy-MM-dd, so a period may not reach them.
const LocalDay firstFormableDay = LocalDay::fromYMD(0, 1, 1);

LocalDay day(const std::string& text) {
    if (auto d = LocalDay::parseISO(text)) return *d;
    throw MCPError::bad("invalid date \u201c" + text + "\u201d \u2014 the format is yyyy-MM-dd");
}

// "NNd" with N ≥ 1, an optional leading "+", N within int64.
std::optional<std::int64_t> dayCount(std::string_view p) {
    if (p.size() < 2 || p.back() != 'd') return std::nullopt;
    std::string_view digits = p.substr(0, p.size() - 1);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty()) return std::nullopt;
    for (char c : digits)
        if (c < '0' || c > '9') return std::nullopt;
    std::int64_t n = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || n < 1) return std::nullopt;
    return n;
}

MCPError unknownPeriod(const std::string& p) {
    return MCPError::bad("unknown period \u201c" + p +
                         "\u201d \u2014 accepted: today, yesterday, NNd (e.g. 7d), all, or "
                         "from/to in yyyy-MM-dd");
}

} // namespace

Period Period::all() {
    return Period{std::nullopt, std::nullopt, "all history", true, false};
}

Period Period::parse(const Json& arguments, std::string_view defaultPeriod,
                     const Calendar& calendar, double now) {
    const LocalDay today = calendar.dayOf(now);

    auto fromText = argString(arguments, "from");
    if (fromText && !fromText->empty()) {
        LocalDay a = day(*fromText);
        auto toText = argString(arguments, "to");
        LocalDay b = toText && !toText->empty() ? day(*toText) : today;
        if (a > b) throw MCPError::bad("reversed range: from=" + *fromText + " is later than to");
        return Period{a, b, AnswerText::day(a) + " \u2192 " + AnswerText::day(b), b >= today,
                      a == b};
    }

    std::string p = text::lowercased(
        text::trimmed(argString(arguments, "period").value_or(std::string(defaultPeriod))));
    if (p.empty() || p == "today")
        return Period{today, today, "today (" + AnswerText::day(today) + ")", true, true};
    if (p == "yesterday") {
        LocalDay y = today.addingDays(-1);
        return Period{y, y, "yesterday (" + AnswerText::day(y) + ")", false, true};
    }
    if (p == "all") return all();
    if (auto n = dayCount(p)) {
        // A first day that cannot be formed is refused rather than silently
        // replaced by today under a "last N days" label.
        std::int64_t back = *n - 1;
        std::int64_t reach = today.daysSinceEpoch() - firstFormableDay.daysSinceEpoch();
        if (back > reach) throw unknownPeriod(p);
        LocalDay start = today.addingDays(static_cast<std::int32_t>(-back));
        return Period{start, today,
                      "last " + std::to_string(*n) + " days (" + AnswerText::day(start) +
                          " \u2192 " + AnswerText::day(today) + ")",
                      true, *n == 1};
    }
    throw unknownPeriod(p);
}

} // namespace vantery::mcp
