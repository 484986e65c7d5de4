#pragma once
// Pieces shared by the answers that follow one session or one agent.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/DataSource.hpp"
#include "vantery/mcp/Json.hpp"
#include "vantery/mcp/Period.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::mcp::tools {

/// The text a thread follows (`agent`, `session_id`): a non-empty string argument,
/// refused as missing otherwise.
inline std::string requiredText(const Json& arguments, std::string_view key) {
    auto text = argString(arguments, key);
    if (!text || text->empty()) throw MCPError::bad("`" + std::string(key) + "` is missing.");
    return *text;
}

/// What the user typed, quoted back as answers quote it: “text”.
inline std::string quoted(std::string_view typed) {
    return "\u201c" + AnswerText::name(typed) + "\u201d";
}

/// Said after the count of matches when only the dearest candidates are listed,
/// so the count never understates the matches.
template <class T> std::string shownNote(const DataSource::Resolution<T>& r) {
    if (r.matches <= static_cast<std::int64_t>(r.lines.size())) return {};
    return " (the " + std::to_string(r.lines.size()) + " dearest shown)";
}

/// "“text” matches 3 agents (the 2 dearest shown)": how many candidates a text names.
template <class T>
std::string matchCount(std::string_view typed, const DataSource::Resolution<T>& r,
                       std::string_view plural) {
    return quoted(typed) + " matches " + std::to_string(r.matches) + " " + std::string(plural) +
           shownNote(r);
}

/// The answer when no agent goes by a text, in vant_agent and in every agent filter.
inline std::string noAgentMatches(std::string_view typed) {
    return "No agent matches " + quoted(typed) +
           ". See `vant_top_agents` with `period: \"all\"` for the real names.";
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

} // namespace vantery::mcp::tools
