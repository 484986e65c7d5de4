#pragma once
// Everything the Today tab shows, derived afresh from the store's published values:
// the headline with its six tiles, or the no-requests card; the composition with its
// legend and dominant line; the hourly rows; today's agents and models.
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/FigureTexts.hpp"
#include "model/TabParts.hpp"
#include "vantery/base/Calendar.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/report/Derived.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

/// One item of the composition card's own legend.
struct LegendItem {
    std::string label; ///< "cache read", "cache write", "output", "input"
    Component component;
    std::string tokens;               ///< Fmt::tokens of the component
    std::optional<std::string> share; ///< "(62.3%)"; absent when the bucket has no tokens
    friend bool operator==(const LegendItem&, const LegendItem&) = default;
};

/// "Dominant: <bold name>, with 91.4% of the tokens.[ cache-read sentence]", or unknown.
struct DominantLine {
    bool known = false;
    std::string lead; ///< "Dominant: "
    std::string name; ///< shown in bold
    std::string rest; ///< ", with 91.4% of the tokens." and, for cache read, its sentence
    std::optional<std::string> unknownReason;
};

/// A row of today's agents table.
struct AgentLine {
    std::string label;
    bool isMain = false;  ///< the dot: cacheRead colour for main, accent for sub-agents
    std::string requests; ///< plain decimal, no grouping
    CostEstimate cost;
};

/// A row of today's models table.
struct ModelLine {
    std::string model;
    std::string requests;
    CostEstimate cost;
};

struct TodayTabModel {
    CardTitle headline; ///< "Today — 2026-12-07"
    /// Until the first publish: shown under the headline instead of every figure and of
    /// the no-requests card; nothing below the headline is set then.
    std::optional<std::string> loading;
    CostEstimate cost; ///< today's total, for the large cost text
    std::optional<std::string> costCaveat;
    std::vector<TileText> firstRow;  ///< requests, current rate, yesterday, same time
    std::vector<TileText> secondRow; ///< yesterday, median of 7, mean per active day

    /// No request today: only the headline and the no-requests card are shown.
    bool hasRequests = false;
    CardTitle noRequests;
    std::string noRequestsText;

    CardTitle composition;
    Bucket total; ///< for the composition bar
    std::vector<LegendItem> legend;
    DominantLine dominant;
    std::optional<std::string> assumedSplitWarning;

    CardTitle hours;
    std::map<int, Bucket> byHour;   ///< for the sparkline
    std::vector<TableRow> hourRows; ///< "09:00" …, ascending; empty shows "unknown"

    CardTitle agentsCard;
    std::vector<AgentLine> agents; ///< the ten costliest
    CardTitle modelsCard;
    std::vector<ModelLine> models; ///< every model
};

/// What the Today tab is built from; `now` and `userCalendar` are read as the tab is built.
struct TodayTabInputs {
    const Report& today;
    const Report& history;
    /// Yesterday up to the same time of day, and today's change against it (the store's).
    Estimate<CostEstimate> yesterdayAtSameTime;
    PercentFigure deltaVsYesterdayAtSameTime;
    double now = 0;
    const Calendar& userCalendar;
    /// Set until the store's first publish (see loadingText): the tab shows it alone.
    std::optional<std::string> loading = std::nullopt;
};

/// The whole tab; pure, never fails.
TodayTabModel buildTodayTab(const TodayTabInputs& in);

/// The note of the "yesterday, same time" tile: "today +12.5% vs the same window", or
/// "no activity at this hour yesterday" when the change is unknown.
std::string deltaNote(const PercentFigure& delta);

} // namespace vantery::app
