// vant_cost: what a period cost, optionally narrowed, with its volume, dominant
// component, span, a breakdown along one axis and the agents that spent most.
#include <cstdio>

#include "tools/Rankings.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {
namespace {

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
    const std::string by = text::lowercased(argString(arguments, "by").value_or("day"));

    const auto shared = data->sharedReport(p, filters.predicate, by == "hour");
    const Report& report = *shared;
    const Calendar& cal = data->aggregator().calendar();
    const Bucket& total = report.total;

    std::string s = header("Cost", p, filters);
    s += AnswerText::rule;
    s += "  TOTAL  " + AnswerText::cost(total) + "\n";
    if (total.requests >= 1) {
        s += "  tokens " + AnswerText::tokens(total.totalTokens()) + " (in " +
             AnswerText::tokens(total.input) + " \u00b7 out " + AnswerText::tokens(total.output) +
             " \u00b7 cache-write " + AnswerText::tokens(total.cacheWrite()) +
             " \u00b7 cache-read " + AnswerText::tokens(total.cacheRead) + ")\n";
        auto dominant = total.dominantComponent();
        s += "  dominant: ";
        if (dominant.isKnown())
            s += dominant.knownValue().name + " " + tools::percent(dominant.knownValue().percent);
        else
            s += "unknown \u2014 " + dominant.unknownReason().text();
        s += "\n";
        s += "  range: " + AnswerText::span(total, cal) + "\n";
    }

    s += "\nBREAKDOWN BY " + upper(by) + "\n";
    if (by == "day") {
        std::vector<std::pair<std::string, Bucket>> rows;
        rows.reserve(report.byDay.size());
        for (auto it = report.byDay.rbegin(); it != report.byDay.rend(); ++it)
            rows.emplace_back(AnswerText::day(it->first), it->second);
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
        s += list(tools::labelled(report.topAgents(50, true), AnswerText::agentLabel),
                  "no agent in range");
    } else if (by == "project") {
        s += list(tools::labelled(report.topProjects(50), data->names()->projects()),
                  "no project in range");
    } else if (by == "model") {
        s += list(tools::labelled(report.topModels(50), same), "no model in range");
    } else if (by == "session") {
        const std::shared_ptr<const NameIndex> names = data->names();
        s += list(tools::labelled(report.topSessions(50),
                                  [&](const std::string& id) {
                                      return AnswerText::sessionLabel(names->sessions().shown(id));
                                  }),
                  "no session in range");
    } else {
        throw MCPError::bad("unknown axis \u201c" + by +
                            "\u201d \u2014 accepted: day, hour, agent, project, model, session");
    }

    if (by != "agent" && total.requests >= 1) {
        s += "\nWHO (top 5 agents over the same range)\n";
        s += list(tools::labelled(report.topAgents(5, true), AnswerText::agentLabel),
                  "no agent in range");
    }
    s += footer(report, p);
    return s;
}

} // namespace vantery::mcp
