#include "model/RangeTabModel.hpp"

#include <algorithm>
#include <utility>

#include "model/FigureTexts.hpp"
#include "model/Fmt.hpp"
#include "model/LoadingText.hpp"

namespace vantery::app {
namespace {

template <class T> std::int64_t count(T n) {
    return static_cast<std::int64_t>(n);
}

} // namespace

std::vector<TableRow> projectRows(const Report& report) {
    std::vector<TableRow> rows;
    rows.reserve(report.byProject.size());
    for (const auto& [project, bucket] : report.byProject)
        rows.push_back({project, bucket, std::nullopt});
    std::stable_sort(rows.begin(), rows.end(), [](const TableRow& a, const TableRow& b) {
        return b.bucket.cost.priced < a.bucket.cost.priced;
    });
    return rows;
}

RangeSelection withPreset(RangeSelection selection, RangePreset preset) {
    selection.preset = preset;
    return selection;
}

RangeSelection withCustomFrom(RangeSelection selection, LocalDay day, const Calendar& aggregator) {
    selection.customFrom = aggregator.instantOf(day, 12, 0, 0);
    return selection;
}

RangeSelection withCustomTo(RangeSelection selection, LocalDay day, const Calendar& aggregator) {
    selection.customTo = aggregator.instantOf(day, 12, 0, 0);
    return selection;
}

std::optional<std::string> rangeLoadingText(const UsageStore::LoadState& state,
                                            std::optional<double> lastRefresh,
                                            bool rangeReportPublished) {
    if (auto text = loadingText(state, lastRefresh)) return text;
    if (!rangeReportPublished) return std::string("computing the selected range");
    return std::nullopt;
}

RangeTabModel buildRangeTab(const RangeTabInputs& in) {
    RangeTabModel m;
    const Report& report = in.rangeReport;

    m.selector = {"Billing period", "pick the period you are billing for \u2014 the figures below "
                                    "cover exactly those days, both ends included"};
    for (RangePreset p : RangePreset::pickable()) {
        if (p == in.selection.preset) m.selectedPreset = static_cast<int>(m.presets.size());
        m.presets.push_back({p, std::string(p.id()), std::string(p.label())});
    }
    m.showCustomDays = in.selection.preset == RangePreset::custom;
    m.customFrom = in.aggregatorCalendar.dayOf(in.selection.customFrom);
    m.customTo = in.aggregatorCalendar.dayOf(in.selection.customTo);

    m.range = in.selection.resolved(in.now, in.aggregatorCalendar);
    m.title = m.range.title();
    if (const std::string label = m.range.label(); label != m.title) m.label = label;
    m.dayCount = std::to_string(m.range.dayCount()) + " days";
    m.computing = in.rangeIsComputing;
    m.clockLine = m.range.caveat(in.now, in.userCalendar);

    m.loading = in.loading;
    if (m.loading) return m;
    m.hasRequests = report.total.requests != 0;
    m.empty = {"No requests in this period", std::nullopt};
    m.emptyText = "No request was found in the transcripts between " + Fmt::day(m.range.from) +
                  " and " + Fmt::day(m.range.through) +
                  ". That is the absence of data, not a measurement of \u201c$0 spent\u201d: "
                  "transcripts older than the retention window are deleted by Claude Code "
                  "itself, so a period can be empty simply because its files are gone.";
    if (!m.hasRequests) return m;

    const Bucket& total = report.total;
    m.totals = {"What this period cost",
                "each request is priced with the list price in force on the day it ran, not "
                "with today\u2019s \u2014 a period from before a price change keeps the price "
                "of its own time"};
    m.cost = total.cost;
    m.costCaveat = FigureTexts::caveat(total.cost);
    m.total = total;
    m.firstRow = {
        countTile("requests", total.requests),
        makeTile("tokens", Estimate<std::int64_t>::known(total.totalTokens()), Fmt::tokens),
        countTile("days with activity", count(report.byDay.size()),
                  "out of " + std::to_string(m.range.dayCount()) + " in the period"),
    };
    m.secondRow = {
        costTile("mean per active day", report.averagePerActiveDay()),
        costTile("median per active day", report.medianPerActiveDay(),
                 "the median, not the mean \u2014 the real spread is wide"),
        countTile("projects", count(report.byProject.size())),
        countTile("agents", count(report.byAgent.size())),
    };

    m.projects = projectRows(report);
    m.projectsCard = {"By project (" + std::to_string(m.projects.size()) + ")",
                      "the line that becomes an invoice line: one project is one client for "
                      "anyone who re-bills"};

    m.agentsCard = {"By agent", "who spent it \u2014 the top 15 over the period"};
    for (auto& entry : report.topAgents(15, true))
        m.agents.push_back(
            {entry.key.label(), std::move(entry.value),
             entry.key.isSubagent() ? std::optional<std::string>("sub-agent") : std::nullopt});

    m.daysCard = {"Day by day", "days with no activity are absent, not zero"};
    for (const auto& [day, bucket] : report.byDay)
        m.days.push_back({Fmt::day(day), bucket, std::nullopt});
    return m;
}

} // namespace vantery::app
