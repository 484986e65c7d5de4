// vant_top_projects: the projects that cost most over a period, how each label
// was decided, and the agents that spent in each one.
#include <cstdio>
#include <string_view>

#include "tools/Rankings.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {
std::string MCPServer::topProjects(const Json& arguments) {
    const Period p = period(arguments, "today");
    const int limit = tools::intArgument(arguments, "limit", 10, 1);
    const int perProject = tools::intArgument(arguments, "agents_per_project", 3, 0);
    const Filters filters = buildFilters(arguments);

    const auto shared = data->sharedReport(p, filters.predicate, std::nullopt);
    const Report& report = *shared;
    const std::shared_ptr<const NameIndex> names = data->names();

    std::string s = header("Top projects by cost", p, filters);
    s += AnswerText::rule;

    const auto projects = report.topProjects(limit);
    if (projects.empty()) s += "  unknown \u2014 no project with activity in range\n";

    // The agents of every listed project, each request's project found again from
    // its working directory alone, as the project filter finds it.
    std::vector<std::vector<RankedEntry<AgentIdentity>>> agents;
    if (perProject >= 1) {
        const ProjectResolver& resolver = data->resolver();
        agents = tools::agentsPerGroup(
            *data, p, filters.predicate, projects, tools::GroupField::cwd,
            [&](std::string_view cwd) { return resolver.resolve(cwd).canonical; });
    }

    for (std::size_t i = 0; i < projects.size(); ++i) {
        const std::string& label = projects[i].key;
        const Bucket& b = projects[i].value;
        s += tools::position(i) + AnswerText::name(names->projects().shown(label)) + "\n";
        s += "    cost   " + AnswerText::cost(b) + "  \u00b7  " +
             AnswerText::noun(b.requests, "request", "requests") + "  \u00b7  " +
             AnswerText::tokens(b.totalTokens()) + " tokens\n";
        if (auto how = report.projectProvenance.find(label);
            how != report.projectProvenance.end() && !how->second.empty())
            s += "    how the label was decided: " + AnswerText::joined(how->second, ", ") + "\n";
        if (perProject >= 1) s += tools::agentLines(agents[i], perProject, true);
    }
    s += footer(report, p);
    return s;
}

} // namespace vantery::mcp
