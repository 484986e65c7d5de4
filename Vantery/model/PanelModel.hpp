#pragma once
// Every text of the menu-bar panel, section by section, from the store's published
// values, a moment `now` and the user's calendar. Plain values; nothing is kept
// between builds.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/FigureTexts.hpp"
#include "model/SparklineModel.hpp"
#include "model/UsageStore.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

/// A figure with its caption above it.
struct LabelledFigure {
    std::string caption;
    FigureText value; ///< an "unknown" with its reason when the figure cannot be computed
    std::string help; ///< empty: no help text
};

struct PanelHeader {
    std::string title; ///< "Today"
    CostEstimate cost; ///< shown by the cost view: "≥ " and its caveat while requests are unpriced
    std::string requests; ///< "1,234 requests"
    std::string tokens;   ///< "1.2k tokens"
    Bucket composition;   ///< today's total, for the composition bar with its legend
};

struct PanelEmptyToday {
    std::string headline;
    std::string note;
};

struct PanelRhythm {
    std::string title; ///< "RATE"
    SparklineModel sparkline;
    LabelledFigure rate;
    LabelledFigure yesterdaySameWindow;
};

struct PanelAgentRow {
    bool mainSession = false; ///< the dot's colour: the main session against a sub-agent
    std::string label;        ///< elided in the middle
    std::string requests;     ///< plain decimal
    CostEstimate cost;
};

struct PanelAgents {
    std::string title;                ///< "BY AGENT"
    std::optional<std::string> share; ///< "sub-agents 42.5%"; absent when nothing was priced
    std::string shareHelp;
    std::vector<PanelAgentRow> rows; ///< empty: the list reads "unknown"
};

struct PanelProjectRow {
    std::string label; ///< shortProject() of the label, elided at the head
    CostEstimate cost;
};

struct PanelProjects {
    std::string title;                 ///< "BY PROJECT"
    std::vector<PanelProjectRow> rows; ///< empty: the list reads "unknown"
};

struct PanelComparison {
    LabelledFigure yesterday;
    LabelledFigure median;
};

/// Today's breakdowns, present only when today has requests.
struct PanelDay {
    PanelRhythm rhythm;
    PanelAgents agents;
    PanelProjects projects;
    PanelComparison comparison;
};

/// Below the disclaimer line.
struct PanelFooter {
    /// The store's message while it scans: shown beside a spinner.
    std::optional<std::string> scanning;
    /// "updated 5 min ago", when not scanning and a refresh has published.
    std::optional<std::string> updated;
    /// "· 250 ms", beside `updated` when the refresh's statistics are known.
    std::optional<std::string> duration;
    std::string sources;     ///< "2 sources": homes holding at least one transcript; empty
                             ///< before the first publish, when none has been counted
    std::string sourcesHelp; ///< one line per home, "name: n files"
    std::string openWindow;  ///< button titles and help texts
    std::string refreshHelp;
    std::string quit;
};

struct PanelModel {
    PanelHeader header; ///< only its title is shown while `loading`
    /// Until the store's first publish: the text shown instead of every figure; neither
    /// emptyToday nor day is set then.
    std::optional<std::string> loading;
    std::optional<PanelEmptyToday> emptyToday; ///< once loaded, exactly one of these is set
    std::optional<PanelDay> day;
    PanelFooter footer;
};

/// The store's published values the panel reads.
struct PanelInputs {
    UsageStore::LoadState state;
    const Report& today;
    const Report& history;
    Estimate<CostEstimate> yesterdayAtSameTime; ///< the store's, of its last refresh
    std::optional<double> lastRefresh;
    std::optional<ScanCache::RefreshStats> refreshStats;
    std::span<const UsageStore::HomeInfo> homeInventory;
};

/// Builds every section; the derived figures use `now` and the user's calendar.
PanelModel buildPanel(const PanelInputs& in, double now, const Calendar& userCalendar);

/// The short form of a project label: "…/" and its last two path pieces when it has
/// three or more, else the label unchanged (~/code/app → …/code/app, ~/app → ~/app).
std::string shortProject(const std::string& project);

} // namespace vantery::app
