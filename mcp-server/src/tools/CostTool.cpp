// vant_cost: what a period cost, optionally narrowed, with its volume, dominant
// component, span, a breakdown along one axis and the agents that spent most.
#include <cstdio>
#include <utf8proc.h>

#include "tools/Rankings.hpp"
#include "vantery/mcp/MCPServer.hpp"
#include "vantery/mcp/R.hpp"

namespace vantery::mcp {
namespace {

// Lower case by code point (the axis is quoted back when it is refused); bytes
// that are not UTF-8 are kept as they are.
std::string lowered(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t pos = 0; pos < s.size();) {
        utf8proc_int32_t cp = -1;
        auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + pos),
                                  static_cast<utf8proc_ssize_t>(s.size() - pos), &cp);
        if (n <= 0) {
            out += s[pos++];
            continue;
        }
        utf8proc_uint8_t buf[4];
        auto m = utf8proc_encode_char(utf8proc_tolower(cp), buf);
        out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(m));
        pos += static_cast<std::size_t>(n);
    }
    return out;
}

// Only the accepted axes are ever shown upper-cased, and they are ASCII.
std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string hourLabel(int hour) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:00", hour);
    return buf;
}

std::string same(const std::string& s) {
    return s;
}

} // namespace

std::string MCPServer::cost(const Json& arguments) {
    const Period p = period(arguments, "today");
    const Filters filters = buildFilters(arguments);
    const std::string by = lowered(argString(arguments, "by").value_or("day"));

    const auto shared = data->sharedReport(p, filters.predicate, by == "hour");
    const Report& report = *shared;
    const Calendar& cal = data->aggregator().calendar();
    const Bucket& total = report.total;

    std::string s = header("Cost", p, filters);
    s += R::rule;
    s += "  TOTAL  " + R::cost(total) + "\n";
    if (total.requests >= 1) {
        s += "  tokens " + R::tokens(total.totalTokens()) + " (in " + R::tokens(total.input) +
             " \u00b7 out " + R::tokens(total.output) + " \u00b7 cache-write " +
             R::tokens(total.cacheWrite()) + " \u00b7 cache-read " + R::tokens(total.cacheRead) +
             ")\n";
        auto dominant = total.dominantComponent();
        s += "  dominant: ";
        if (dominant.isKnown())
            s += dominant.knownValue().name + " " + tools::percent(dominant.knownValue().percent);
        else
            s += "unknown \u2014 " + dominant.unknownReason().text();
        s += "\n";
        s += "  range: " + R::span(total, cal) + "\n";
    }

    s += "\nBREAKDOWN BY " + upper(by) + "\n";
    if (by == "day") {
        std::vector<std::pair<std::string, Bucket>> rows;
        rows.reserve(report.byDay.size());
        for (auto it = report.byDay.rbegin(); it != report.byDay.rend(); ++it)
            rows.emplace_back(R::day(it->first), it->second);
        s += list(rows, "no day with activity in range");
    } else if (by == "hour") {
        if (!p.isSingleDay)
            throw MCPError::bad("`by: \"hour\"` only makes sense on a single day \u2014 give "
                                "`period: \"today\"`, `\"yesterday\"` or `from`=`to`.");
        std::vector<std::pair<std::string, Bucket>> rows;
        rows.reserve(report.byHour.size());
        for (const auto& [hour, bucket] : report.byHour)
            rows.emplace_back(hourLabel(hour), bucket);
        s += list(rows, "no hour with activity on this day");
    } else if (by == "agent") {
        s += list(tools::labelled(report.topAgents(50, true), R::agentLabel), "no agent in range");
    } else if (by == "project") {
        s += list(tools::labelled(report.topProjects(50), same), "no project in range");
    } else if (by == "model") {
        s += list(tools::labelled(report.topModels(50), same), "no model in range");
    } else if (by == "session") {
        s += list(tools::labelled(report.topSessions(50), R::sessionLabel), "no session in range");
    } else {
        throw MCPError::bad("unknown axis \u201c" + by +
                            "\u201d \u2014 accepted: day, hour, agent, project, model, session");
    }

    if (by != "agent" && total.requests >= 1) {
        s += "\nWHO (top 5 agents over the same range)\n";
        s += list(tools::labelled(report.topAgents(5, true), R::agentLabel), "no agent in range");
    }
    s += footer(report, p);
    return s;
}

} // namespace vantery::mcp
