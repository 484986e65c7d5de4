// vant_agent: one agent followed through the history.
#include "tools/Rankings.hpp"
#include "tools/ThreadText.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {
namespace {

std::string rosterLine(const AgentRoster& roster, const AgentIdentity& agent,
                       const Report& history) {
    auto session = history.agentSession.find(agent);
    const std::string sessionId =
        session == history.agentSession.end() ? std::string() : session->second;
    auto entry = roster.entry(agent, sessionId);
    if (!entry)
        return "  roster    unknown \u2014 this agent is not in `teams/session-*/config.json` (the "
               "roster covers only a small share of agents; being absent is not an error)\n";
    return "  roster    name=" + AnswerText::name(entry->name) +
           " type=" + AnswerText::name(entry->agentType.value_or("unknown")) +
           " model=" + AnswerText::name(entry->model.value_or("unknown")) +
           " cwd=" + AnswerText::name(entry->cwd.value_or("unknown")) + "\n";
}

} // namespace

std::string MCPServer::agent(const Json& arguments) {
    const std::string query = tools::requiredText(arguments, "agent");
    const Period p = period(arguments, "all");

    const std::shared_ptr<const NameIndex> names = data->names();
    const Report& history = names->report();
    auto found = DataSource::resolveAgent(query, *names);
    using Kind = DataSource::Resolution<AgentIdentity>::Kind;
    if (found.kind == Kind::many)
        return tools::matchCount(query, found, "agents") +
               " \u2014 pick one:" + tools::candidateLines(found.lines);
    if (found.kind == Kind::none) return tools::noAgentMatches(query);

    const AgentIdentity who = *found.match;
    const Report report = data->report(p, RecordFilter::agent(who), std::nullopt);
    const Calendar& cal = data->calendar();
    const Bucket& total = report.total;

    std::string s = "Agent " + names->agentText(who) + " \u2014 " + p.label + "\n";
    s += AnswerText::rule;
    s += std::string("  type      ") +
         (who.kind() == AgentIdentity::Kind::main ? "main session" : "sub-agent") + "\n";
    s += "  cost      " + AnswerText::cost(total) + "\n";
    s += "  volume    " + tools::volume(total) + "\n";
    s += "  active    " + AnswerText::span(total, cal) + "\n";
    s += "  models    " + AnswerText::models(total).value_or("unknown") + "\n";
    s += rosterLine(data->roster(), who, history);

    s += "\nBY DAY\n";
    s += list(tools::daysNewestFirst(report), "no day with activity in the period asked for");
    s += "\nSESSIONS\n";
    s += list(tools::labelled(report.topSessions(20), names->sessions()),
              "no session in the period asked for");
    s += "\nPROJECTS\n";
    s += list(tools::labelled(report.topProjects(20), names->projects()),
              "no project in the period asked for");
    s += footer(report, p);
    return s;
}

} // namespace vantery::mcp
