// vant_top_agents: the agents that cost most over a period, each with its volume,
// models, where it worked, when, and what its team roster says; then the split
// between the main session and sub-agents.
#include <cstdio>

#include "tools/Rankings.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {
namespace {

template <class Map>
std::string linkOf(const Map& links, const AgentIdentity& agent, const NameIndex::Labels& names) {
    auto it = links.find(agent);
    return it == links.end() ? std::string("unknown") : AnswerText::name(names.shown(it->second));
}

} // namespace

std::string MCPServer::topAgents(const Json& arguments) {
    const Period p = period(arguments, "today");
    const int limit = tools::intArgument(arguments, "limit", 15, 1);
    const bool subagentsOnly = argBool(arguments, "subagents_only").value_or(false);
    const Filters filters = buildFilters(arguments);

    const auto shared = data->sharedReport(p, filters.predicate, std::nullopt);
    const Report& report = *shared;
    const Calendar& cal = data->aggregator().calendar();
    const std::shared_ptr<const NameIndex> names = data->names();

    std::string s = header("Top agents by cost", p, filters);
    if (subagentsOnly) s += "main session: excluded\n";
    s += AnswerText::rule;

    const auto agents = report.topAgents(limit, !subagentsOnly);
    if (agents.empty()) s += "  unknown \u2014 no agent with activity in range\n";
    for (std::size_t i = 0; i < agents.size(); ++i) {
        const AgentIdentity& agent = agents[i].key;
        const Bucket& b = agents[i].value;
        s += tools::position(i) + names->agentText(agent) + "\n";
        s += "    cost      " + AnswerText::cost(b) + "\n";
        s += "    volume    " + AnswerText::noun(b.requests, "request", "requests") + " \u00b7 " +
             AnswerText::tokens(b.totalTokens()) + " tokens\n";
        s += "    models    " + AnswerText::models(b).value_or("unknown") + "\n";
        auto session = report.agentSession.find(agent);
        s += "    session   " + linkOf(report.agentSession, agent, names->sessions()) + "\n";
        s += "    project   " + linkOf(report.agentProject, agent, names->projects()) + "\n";
        s += "    active    " + AnswerText::span(b, cal) + "\n";
        const std::string sessionId =
            session == report.agentSession.end() ? std::string() : session->second;
        if (auto entry = data->roster().entry(agent, sessionId))
            s += "    roster    type=" + AnswerText::name(entry->agentType.value_or("unknown")) +
                 " model=" + AnswerText::name(entry->model.value_or("unknown")) + "\n";
    }

    s += "\nOF WHICH\n";
    const tools::Split split = tools::splitOf(report);
    const double total = split.priced();
    if (!(total > 0)) {
        s += "  unknown \u2014 nothing priced in range\n";
    } else {
        const CostEstimate whole = split.cost();
        s += "  main session " + tools::splitCost(split.mainSession, whole, " ") +
             " \u00b7 sub-agents " + tools::splitCost(split.subagents, whole, " ") + "\n";
    }
    s += "  distinct agents " +
         AnswerText::count(static_cast<std::int64_t>(report.byAgent.size())) + " (shown " +
         AnswerText::count(static_cast<std::int64_t>(agents.size())) + ")\n";
    s += footer(report, p);
    return s;
}

} // namespace vantery::mcp
