// vant_by_model: a period's cost by model, each with its share of the priced
// total, its volume, a warning when it has no price, and the agents that used it.
#include "tools/Rankings.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"

namespace vantery::mcp {

std::string MCPServer::byModel(const Json& arguments) {
    const Period p = period(arguments, "today");
    const int perModel = tools::intArgument(arguments, "agents_per_model", 3, 0);
    const Filters filters = buildFilters(arguments);

    const auto shared = data->sharedReport(p, filters.predicate, std::nullopt);
    const Report& report = *shared;

    std::string s = header("Breakdown by model", p, filters);
    s += AnswerText::rule;
    s += "  TOTAL " + AnswerText::cost(report.total) + "\n\n";

    const auto models = report.topModels(50);
    if (models.empty()) s += "  unknown \u2014 no model with activity in range\n";

    std::vector<std::vector<RankedEntry<AgentIdentity>>> agents;
    if (perModel >= 1)
        agents =
            tools::agentsPerGroup(*data, p, filters.predicate, models, tools::GroupField::model);

    for (std::size_t i = 0; i < models.size(); ++i) {
        const std::string& model = models[i].key;
        const Bucket& b = models[i].value;
        s += AnswerText::name(model) + "\n";
        s += "    cost   " + AnswerText::cost(b) + "  " +
             tools::shareOfTotal(b.cost, report.total.cost) + "\n";
        s += "    volume " + AnswerText::noun(b.requests, "request", "requests") + " \u00b7 " +
             AnswerText::tokens(b.totalTokens()) + " tokens (in " + AnswerText::tokens(b.input) +
             " \u00b7 out " + AnswerText::tokens(b.output) + " \u00b7 cw " +
             AnswerText::tokens(b.cacheWrite()) + " \u00b7 cr " + AnswerText::tokens(b.cacheRead) +
             ")\n";
        if (b.cost.unpricedModels.count(model))
            s += "    PRICE  unknown \u2014 this model is not in the price table, its cost is NOT "
                 "included anywhere\n";
        if (perModel >= 1) s += tools::agentLines(agents[i], perModel, false);
    }
    s += footer(report, p);
    return s;
}

} // namespace vantery::mcp
