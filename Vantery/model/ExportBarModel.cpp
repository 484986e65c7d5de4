#include "model/ExportBarModel.hpp"

#include <utility>

namespace vantery::app {

void ExportNote::record(const std::optional<std::string>& message, bool outcomeFailed) {
    failed = outcomeFailed;
    if (message) text = *message;
}

ExportBarModel buildExportBar(const ExportNote& note, bool rangeIsComputing,
                              const std::optional<DateRange>& reportRange) {
    ExportBarModel m;
    m.buttons = {
        {ExportAction::projectCSV, "Export CSV\u2026", "square.and.arrow.down",
         "the per-project breakdown \u2014 the axis that becomes an invoice line", true},
        {ExportAction::everyBreakdown, "Export every breakdown\u2026",
         "square.and.arrow.down.on.square",
         "one CSV per axis plus the provenance document, into a folder you pick", false},
        {ExportAction::copySummary, "Copy summary", "doc.on.clipboard",
         "the same report as plain text, for pasting into an email", false},
    };
    m.enabled = !rangeIsComputing && reportRange.has_value();
    m.note = note.text;
    m.noteFailed = note.failed;
    return m;
}

Exporter::Options exportOptions(const DateRange& reportRange, double now,
                                const Calendar& userCalendar,
                                std::vector<ScanCache::FileProvenance> sourceFiles) {
    return Exporter::Options{
        .periodLabel = reportRange.title(),
        .from = reportRange.from,
        .to = reportRange.through,
        .generatedAt = now,
        .calendar = userCalendar,
        .limitPerAxis = std::nullopt,
        .sourceFiles = std::move(sourceFiles),
        .recordFilter = {},
        .byteOrderMark = false,
        .summaryAxes = {Exporter::Axis::project, Exporter::Axis::agent, Exporter::Axis::model},
        .summaryRowLimit = 10,
    };
}

} // namespace vantery::app
