#pragma once
// The Date range tab's export bar: its three buttons, whether they can be pressed, the
// note on the last export, and the options every export of the shown report is run with.
#include <optional>
#include <string>
#include <vector>

#include "vantery/Calendar.hpp"
#include "vantery/DateRange.hpp"
#include "vantery/Exporter.hpp"
#include "vantery/ScanCache.hpp"

namespace vantery::app {

/// Which operation a button runs.
enum class ExportAction { projectCSV, everyBreakdown, copySummary };

struct ExportButton {
    ExportAction action;
    std::string label;   ///< "Export CSV…"
    std::string symbol;  ///< the platform symbol name of its icon
    std::string tooltip;
    bool prominent = false;
};

/// The note under the buttons. It keeps the text of the last export that had a message;
/// a cancelled export keeps the text and only clears the failure colour.
struct ExportNote {
    std::optional<std::string> text;
    bool failed = false;

    /// Records one outcome: its message (absent for a cancelled panel) and whether it failed.
    void record(const std::optional<std::string>& message, bool outcomeFailed);
};

struct ExportBarModel {
    std::vector<ExportButton> buttons; ///< in bar order
    /// False while a range computes or before any range report was published, so that an
    /// export never names one period and holds another's figures.
    bool enabled = false;
    std::optional<std::string> note;
    bool noteFailed = false; ///< red when true, the secondary colour otherwise
};

ExportBarModel buildExportBar(const ExportNote& note, bool rangeIsComputing,
                              const std::optional<DateRange>& reportRange);

/// The options of an export of a report computed for `reportRange`: the period is named
/// after that range, dates are written in the user's calendar, no row limit, summary of
/// projects, agents and models with 10 rows each.
Exporter::Options exportOptions(const DateRange& reportRange, double now,
                                const Calendar& userCalendar,
                                std::vector<ScanCache::FileProvenance> sourceFiles);

} // namespace vantery::app
