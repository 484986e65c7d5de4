#pragma once
// What an export of the store's range report starts from: the report as published and
// options named after the range it was computed for. Shared by the File menu's export
// commands and the Date range tab's export bar.
#include <memory>
#include <optional>
#include <vector>

#include "vantery/cache/FileProvenance.hpp"
#include "vantery/export/Exporter.hpp"
#include "vantery/report/DateRange.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

class UsageStore;

struct ExportRequest {
    std::shared_ptr<const Report> report; ///< never null
    /// ExportController::options() for the report's range, without the source files:
    /// the worker copies them in, for the provenance document only.
    Exporter::Options options;
    /// The cache's per-file provenance from the same refresh as the report (never null),
    /// so that every file of one export tells of one snapshot.
    std::shared_ptr<const std::vector<FileProvenance>> sourceFiles;
};

/// A copy of the store's range report with the options of ExportController::options() for
/// its own range, the user's calendar and the store's now, and the cache's per-file
/// provenance published with it; absent while exportsUnavailable() gives a reason.
std::optional<ExportRequest> currentExportRequest(const UsageStore& store);

/// exportsUnavailable() (ExportController.hpp) of what the store published.
std::optional<std::string> exportsUnavailable(const UsageStore& store);

} // namespace vantery::app
