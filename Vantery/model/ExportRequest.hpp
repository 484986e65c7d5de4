#pragma once
// What an export of the store's range report starts from: the report as published and
// options named after the range it was computed for. Shared by the File menu's export
// commands and the Date range tab's export bar.
#include <optional>

#include "vantery/export/Exporter.hpp"
#include "vantery/report/DateRange.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

class UsageStore;

struct ExportRequest {
    Report report;
    Exporter::Options options;
};

/// A copy of the store's range report with the options of ExportController::options() for
/// its own range, the cache's per-file provenance, the user's calendar and the store's now;
/// absent while exportsAvailable() (ExportController.hpp) is false.
std::optional<ExportRequest> currentExportRequest(const UsageStore& store);

} // namespace vantery::app
