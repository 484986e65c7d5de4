// vant_session: one session followed through the history.
#include <climits>

#include "tools/Rankings.hpp"
#include "tools/ThreadText.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {

std::string MCPServer::session(const Json& arguments) {
    const std::string query = tools::requiredText(arguments, "session_id");
    const Period p = period(arguments, "all");

    const std::shared_ptr<const NameIndex> names = data->names();
    const Report& history = names->report();
    auto found = DataSource::resolveSession(query, *names);
    using Kind = DataSource::Resolution<std::string>::Kind;
    if (found.kind == Kind::many)
        return "The prefix " + tools::matchCount(query, found, "sessions") +
               " \u2014 pick one:" + tools::candidateLines(found.lines);
    if (found.kind == Kind::none)
        return "No session starts with " + tools::quoted(query) +
               ". See `vant_cost` with `by: \"session\"` for the real ids.";

    const std::string id = *found.match;
    const Report report = data->report(p, RecordFilter::session(id), std::nullopt);
    const Calendar& cal = data->calendar();
    const Bucket& total = report.total;

    auto project = history.sessionProject.find(id);
    std::string s =
        "Session " + AnswerText::name(names->sessions().shown(id)) + " \u2014 " + p.label + "\n";
    s += AnswerText::rule;
    s += "  project   " +
         (project == history.sessionProject.end()
              ? std::string("unknown")
              : AnswerText::name(names->projects().shown(project->second))) +
         "\n";
    s += "  cost      " + AnswerText::cost(total) + "\n";
    s += "  volume    " + tools::volume(total) + "\n";
    s += "  active    " + AnswerText::span(total, cal) + "\n";
    s += "  models    " + AnswerText::models(total).value_or("unknown") + "\n";

    s += "\nAGENTS IN THIS SESSION (ranked by cost)\n";
    const auto agents = report.topAgents(INT_MAX, true);
    if (agents.empty()) s += "  unknown \u2014 no requests in the period asked for\n";
    for (const auto& a : agents)
        s += "  " + AnswerText::fit(AnswerText::agentLabel(a.key), 30) + " " +
             AnswerText::cost(a.value) + " \u00b7 " +
             AnswerText::noun(a.value.requests, "request", "requests") + " \u00b7 " +
             AnswerText::span(a.value, cal) + "\n";

    s += "\nBY DAY\n";
    s += list(tools::daysNewestFirst(report), "no day with activity in the period asked for");

    if (report.byProject.size() >= 2) {
        s += "\nPROJECTS TOUCHED (the session changed directory)\n";
        s += list(tools::labelled(report.topProjects(20), names->projects()), "\u2014");
    }
    s += footer(report, p);
    return s;
}

} // namespace vantery::mcp
