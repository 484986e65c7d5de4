#pragma once
// Pieces shared by the answers that follow one session or one agent.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/DataSource.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::mcp::tools {

/// Said after the count of matches when only the dearest candidates are listed,
/// so the count never understates the matches.
template <class T> std::string shownNote(const DataSource::Resolution<T>& r) {
    if (r.matches <= static_cast<std::int64_t>(r.lines.size())) return {};
    return " (the " + std::to_string(r.lines.size()) + " dearest shown)";
}

/// The candidate lines, each after a line feed and two spaces.
inline std::string candidateLines(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& line : lines)
        s += "\n  " + line;
    return s;
}

/// The days of a report, newest first, labelled yyyy-MM-dd.
inline std::vector<std::pair<std::string, Bucket>> daysNewestFirst(const Report& report) {
    std::vector<std::pair<std::string, Bucket>> days;
    days.reserve(report.byDay.size());
    for (auto it = report.byDay.rbegin(); it != report.byDay.rend(); ++it)
        days.emplace_back(AnswerText::day(it->first), it->second);
    return days;
}

/// "  volume    " value: requests and all tokens.
inline std::string volume(const Bucket& b) {
    return AnswerText::noun(b.requests, "request", "requests") + " \u00b7 " +
           AnswerText::tokens(b.totalTokens()) + " tokens";
}

template <class K>
std::vector<std::pair<std::string, Bucket>> labelled(const std::vector<RankedEntry<K>>& ranked) {
    std::vector<std::pair<std::string, Bucket>> items;
    items.reserve(ranked.size());
    for (const auto& e : ranked)
        items.emplace_back(e.key, e.value);
    return items;
}

} // namespace vantery::mcp::tools
