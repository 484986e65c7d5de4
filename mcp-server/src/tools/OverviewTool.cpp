// vant_overview: today's cost and rate against yesterday, who spent it, the top
// agents and projects of today, and the whole history in three lines.
#include <algorithm>

#include "tools/Rankings.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery::mcp {

std::string MCPServer::overview(const Json& arguments) {
    // The headings name the number asked for; the rankings take at most INT_MAX.
    const std::int64_t asked = std::max<std::int64_t>(argInt(arguments, "top").value_or(5), 1);
    const int top = tools::intArgument(arguments, "top", 5, 1);

    // One reading of the clock for the whole answer, so that a call near midnight
    // never takes "today" from one day and "yesterday" from the next.
    const double now = data->now();
    const Calendar& cal = data->aggregator().calendar();
    const LocalDay today = cal.dayOf(now);

    // Every request without hours: the history the data source keeps per refresh.
    const std::shared_ptr<const Report> all = data->history();
    const Report& history = *all;
    const Period todayPeriod{today, today, "today", true, true};
    const Report todayReport = data->report(todayPeriod, {}, true);

    const auto rate = Derived::currentHourlyRate(todayReport, now, cal);
    const auto sameTime = Derived::yesterdayAtSameTime(data->table(), now, cal);
    const auto change = Derived::sameTimeChange(todayReport.total.cost, sameTime);
    const auto yesterday = Derived::yesterdayCost(history, now, cal);
    const auto median = Derived::medianOfRecentDays(history, 7, now, cal);
    const tools::Split split = tools::splitOf(todayReport);

    std::string s = "Vantery \u2014 status at " + AnswerText::stamp(now, cal) + "\n";
    s += AnswerText::rule;
    s += "TODAY (" + AnswerText::day(today) + ")\n";
    s += "  cost                 " + AnswerText::cost(todayReport.total) + "\n";
    s += "  current rate         " + AnswerText::costEst(rate, "/h") + "\n";
    s += "  yesterday, same time " + AnswerText::costEst(sameTime, "") + "\n";
    s += "  change               " + AnswerText::percentFigure(change, true) + "\n";
    s += "  yesterday, full day  " + AnswerText::costEst(yesterday, "") + "\n";
    s += "  median, 7 full days  " + AnswerText::costEst(median, "") + "\n";

    s += "\nWHO SPENT IT TODAY\n";
    if (todayReport.total.requests == 0) {
        s += "  unknown \u2014 no requests recorded today\n";
    } else if (!(split.priced() > 0) && !split.cost().isComplete()) {
        // As the change above says it. Requests that all have a known price of $0 are
        // split below, each side at $0.00 with why it has no share, as the app shows them.
        s += "  unknown \u2014 none of today\u2019s requests has a known price\n";
    } else {
        const CostEstimate whole = split.cost();
        s += "  main session         " + tools::splitCost(split.mainSession, whole, "  ") + "\n";
        s += "  sub-agents           " + tools::splitCost(split.subagents, whole, "  ") + "\n";
        s += "  distinct agents      " +
             AnswerText::count(static_cast<std::int64_t>(todayReport.byAgent.size())) + "\n";
    }

    const std::string n = std::to_string(asked);
    s += "\nTOP " + n + " AGENTS TODAY\n";
    s += list(tools::labelled(todayReport.topAgents(top, true), AnswerText::agentLabel),
              "no agent with activity today");
    s += "\nTOP " + n + " PROJECTS TODAY\n";
    s += list(tools::labelled(todayReport.topProjects(top), data->names()->projects()),
              "no project with activity today");

    s += "\nHISTORY\n";
    s += "  days with activity   " + AnswerText::count(history.activeDays()) + "\n";
    s += "  total recorded       " + AnswerText::cost(history.total) + "\n";
    s += "  range                " + AnswerText::span(history.total, cal) + "\n";

    s += footer(todayReport, todayPeriod);
    s += "Next: vant_top_agents \u00b7 vant_provenance \u00b7 vant_sources\n";
    return s;
}

} // namespace vantery::mcp
