#include "model/ExportBarModel.hpp"

namespace vantery::app {

void ExportNote::record(const ExportController::Outcome& outcome) {
    failed = outcome.kind == ExportController::Outcome::Kind::failed;
    if (auto message = outcome.message()) text = std::move(*message);
}

ExportBarModel buildExportBar(const ExportNote& note, bool available) {
    ExportBarModel m;
    m.buttons = {
        {ExportOperation::projectCSV, "Export CSV\u2026",
         "the per-project breakdown \u2014 the axis that becomes an invoice line", true},
        {ExportOperation::everyBreakdown, "Export every breakdown\u2026",
         "one CSV per axis plus the provenance document, into a folder you pick", false},
        {ExportOperation::copySummary, "Copy summary",
         "the same report as plain text, for pasting into an email", false},
    };
    m.enabled = available;
    m.note = note.text;
    m.noteFailed = note.failed;
    return m;
}

} // namespace vantery::app
