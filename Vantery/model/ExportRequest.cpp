#include "model/ExportRequest.hpp"

#include "model/ExportController.hpp"
#include "model/UsageStore.hpp"

namespace vantery::app {

std::optional<ExportRequest> currentExportRequest(const UsageStore& store) {
    const auto& range = store.rangeReportRange();
    if (!exportsAvailable(store.rangeReport(), range, store.rangeIsComputing()))
        return std::nullopt;
    return ExportRequest{
        store.rangeReportShared(),
        ExportController::options(*range, {}, store.userCalendar(), store.now()),
        store.sourceFilesReader(),
    };
}

} // namespace vantery::app
