// vant_by_model: a period's cost by model, each with its share of the priced
// total, its volume, a warning when it has no price, and the agents that used it.
#include <string_view>
#include <unordered_map>

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
    if (perModel >= 1 && !models.empty()) {
        std::unordered_map<std::string_view, std::size_t> index;
        for (std::size_t i = 0; i < models.size(); ++i)
            index.emplace(models[i].key, i);
        agents = tools::agentsPerGroup(*data, p, filters.predicate, models.size(),
                                       tools::GroupField::model,
                                       [&](std::string_view model) -> std::optional<std::size_t> {
                                           auto it = index.find(model);
                                           if (it == index.end()) return std::nullopt;
                                           return it->second;
                                       });
    }

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
        if (perModel < 1) continue;
        const auto& ranked = agents[i];
        if (ranked.empty()) {
            s += "    agents: unknown\n";
            continue;
        }
        const std::size_t shown = std::min(ranked.size(), static_cast<std::size_t>(perModel));
        for (std::size_t k = 0; k < shown; ++k)
            s += "      \u00b7 " + AnswerText::fit(AnswerText::agentLabel(ranked[k].key), 28) +
                 " " + AnswerText::cost(ranked[k].value) + "\n";
    }
    s += footer(report, p);
    return s;
}

} // namespace vantery::mcp
