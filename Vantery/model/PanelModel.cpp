#include "model/PanelModel.hpp"

#include <cstdio>

#include "model/Fmt.hpp"
#include "model/LoadingText.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery::app {

namespace {

FigureText costEstimate(const Estimate<CostEstimate>& e, const char* suffix = "") {
    return FigureTexts::estimate(
        e, [suffix](const CostEstimate& c) { return c.formatted() + suffix; });
}

PanelHeader header(const Report& today) {
    PanelHeader h;
    h.title = "Today";
    h.cost = today.total.cost;
    h.requests = Fmt::exact(today.total.requests) + " requests";
    h.tokens = Fmt::tokens(today.total.totalTokens()) + " tokens";
    h.composition = today.total;
    return h;
}

PanelRhythm rhythm(const PanelInputs& in, double now, const Calendar& cal) {
    PanelRhythm r;
    r.title = "RATE";
    r.sparkline = buildSparkline(in.today.byHour, now, cal);
    r.rate = {"current rate", costEstimate(Derived::currentHourlyRate(in.today, now, cal), "/h"),
              "the hour you are in, or a recent finished one \u2014 after a few idle hours it says "
              "unknown rather than reporting the hour you last worked as if it were now"};
    r.yesterdaySameWindow = {"yesterday, same window", costEstimate(in.yesterdayAtSameTime), {}};
    return r;
}

PanelAgents agents(const Report& today) {
    PanelAgents a;
    a.title = "BY AGENT";
    const SubagentSplit split = today.subagentSplit();
    a.shareHelp = "how much of today\u2019s cost comes from sub-agents, not the main session";
    if (split.main + split.subagent > 0) {
        // The server's rule: a share left open by unpriced requests is a bound or unknown.
        const PercentFigure share = Derived::share(split.subagentCost(), split.wholeCost());
        a.share = "sub-agents " + (share.isKnown() ? share.text() : std::string("unknown"));
        if (!share.isKnown()) a.shareHelp = "unknown \u2014 " + share.reason;
    }
    for (const auto& entry : today.topAgents(3, true))
        a.rows.push_back({!entry.key.isSubagent(), entry.key.label(),
                          std::to_string(entry.value.requests), entry.value.cost});
    return a;
}

PanelProjects projects(const Report& today) {
    PanelProjects p;
    p.title = "BY PROJECT";
    for (const auto& entry : today.topProjects(3))
        p.rows.push_back({shortProject(entry.key), entry.value.cost});
    return p;
}

PanelComparison comparison(const Report& history, double now, const Calendar& cal) {
    return {
        {"yesterday", costEstimate(Derived::yesterdayCost(history, now, cal)), {}},
        {"median, 7 full days", costEstimate(Derived::medianOfRecentDays(history, 7, now, cal)),
         "the middle of the last 7 days with activity that have already finished \u2014 today is "
         "excluded, so the yardstick is not moved by the day being measured against it"},
    };
}

PanelFooter withButtons(PanelFooter f) {
    f.openWindow = "Open window";
    f.refreshHelp = "refresh now";
    f.quit = "Quit";
    return f;
}

PanelFooter footer(const PanelInputs& in, double now) {
    PanelFooter f;
    if (in.state.isScanning()) {
        f.scanning = in.state.message;
    } else if (in.lastRefresh) {
        f.updated = "updated " + Fmt::ago(*in.lastRefresh, now);
        if (in.refreshStats) f.duration = "\u00b7 " + Fmt::duration(in.refreshStats->duration);
    }
    // Before the first publish no home has been counted: "0 sources" would be a finding.
    if (loadingText(in.state, in.lastRefresh)) return withButtons(std::move(f));
    std::int64_t active = 0;
    for (const auto& home : in.homeInventory) {
        if (home.fileCount >= 1) ++active;
        if (!f.sourcesHelp.empty()) f.sourcesHelp += '\n';
        f.sourcesHelp += home.name + ": " + std::to_string(home.fileCount) + " files";
    }
    f.sources = std::to_string(active) + " sources";
    return withButtons(std::move(f));
}

} // namespace

std::string shortProject(const std::string& project) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= project.size()) {
        std::size_t slash = project.find('/', start);
        if (slash == std::string::npos) slash = project.size();
        if (slash > start) pieces.push_back(project.substr(start, slash - start));
        start = slash + 1;
    }
    if (pieces.size() < 3) return project;
    return "\u2026/" + pieces[pieces.size() - 2] + "/" + pieces.back();
}

PanelModel buildPanel(const PanelInputs& in, double now, const Calendar& userCalendar) {
    PanelModel m;
    m.header = header(in.today);
    m.loading = loadingText(in.state, in.lastRefresh);
    if (m.loading) {
        // Nothing read yet: no figure and no empty day, only the scan under way.
    } else if (in.today.total.requests == 0) {
        m.emptyToday =
            PanelEmptyToday{"No requests today.", "That is not $0 spent \u2014 it means no request "
                                                  "was found in the transcripts for today."};
    } else {
        m.day = PanelDay{rhythm(in, now, userCalendar), agents(in.today), projects(in.today),
                         comparison(in.history, now, userCalendar)};
    }
    m.footer = footer(in, now);
    return m;
}

} // namespace vantery::app
