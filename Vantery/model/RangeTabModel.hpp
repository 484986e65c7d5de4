#pragma once
// Everything the Date range tab shows for one selection and the report last published:
// the period selector with its title line, the empty-period card, the totals with their
// tiles, and the project, agent and day tables.
#include <optional>
#include <string>
#include <vector>

#include "model/TabParts.hpp"
#include "model/UsageStore.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/report/DateRange.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

/// One segment of the period picker.
struct PresetChoice {
    RangePreset preset;
    std::string id;    ///< "thisMonth" …
    std::string label; ///< "This month" …
};

struct RangeTabModel {
    CardTitle selector;
    std::vector<PresetChoice> presets; ///< the six pickable presets, in order
    int selectedPreset = 0;            ///< index into presets
    /// The "First day" and "Last day" pickers, shown only for a custom selection; their
    /// days are the selection's, in the aggregator's calendar, whatever the preset.
    bool showCustomDays = false;
    LocalDay customFrom;
    LocalDay customTo;

    DateRange range{LocalDay{}, LocalDay{}}; ///< the selection resolved now
    std::string title;                       ///< "March 2026", or the label
    std::optional<std::string> label;        ///< only when it differs from the title
    std::string dayCount;                    ///< "31 days"
    bool computing = false;                  ///< shows the progress indicator
    /// Set until a report of the selection can be shown (see RangeTabInputs::loading):
    /// the cards below the selector show it alone, never the empty-period card.
    std::optional<std::string> loading;
    std::optional<std::string> clockLine; ///< only when the range includes today

    /// Decided from the report alone: without requests only the empty card follows.
    bool hasRequests = false;
    CardTitle empty;
    std::string emptyText;

    CardTitle totals;
    CostEstimate cost;
    std::optional<std::string> costCaveat;
    std::vector<TileText> firstRow;  ///< requests, tokens, days with activity
    std::vector<TileText> secondRow; ///< mean, median, projects, agents
    Bucket total;                    ///< for the composition bar with legend

    CardTitle projectsCard; ///< "By project (n)"
    std::vector<TableRow> projects;
    CardTitle agentsCard;
    std::vector<TableRow> agents; ///< at most 15, "sub-agent" under every non-main agent
    CardTitle daysCard;
    std::vector<TableRow> days; ///< earliest first
};

/// What the tab is built from. The selection is resolved with the aggregator's calendar;
/// the today test uses the user's.
struct RangeTabInputs {
    const RangeSelection& selection;
    const Report& rangeReport;
    bool rangeIsComputing = false;
    double now = 0;
    const Calendar& aggregatorCalendar;
    const Calendar& userCalendar;
    /// The store's loading text before its first publish (loadingText), or a text of its
    /// own while no range report has been published yet.
    std::optional<std::string> loading = std::nullopt;
};

/// What the tab shows instead of figures: the store's loading text until it first
/// publishes, then "computing the selected range" until a range report is published.
std::optional<std::string> rangeLoadingText(const UsageStore::LoadState& state,
                                            std::optional<double> lastRefresh,
                                            bool rangeReportPublished);

/// The whole tab; pure, never fails.
RangeTabModel buildRangeTab(const RangeTabInputs& in);

/// The project rows alone: every project, largest priced cost first, equal costs in the
/// report's order. Cheap enough to run on every redraw of a long range.
std::vector<TableRow> projectRows(const Report& report);

/// The selection with another preset; the custom days are kept.
RangeSelection withPreset(RangeSelection selection, RangePreset preset);
/// The selection with a first or last custom day picked in a calendar-date picker; the
/// day is stored as its noon in the aggregator's calendar, so it resolves to that day.
RangeSelection withCustomFrom(RangeSelection selection, LocalDay day, const Calendar& aggregator);
RangeSelection withCustomTo(RangeSelection selection, LocalDay day, const Calendar& aggregator);

} // namespace vantery::app
