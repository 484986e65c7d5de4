#include "model/ExportRequest.hpp"

#include "model/ExportController.hpp"
#include "model/UsageStore.hpp"

namespace vantery::app {

std::optional<std::string> exportsUnavailable(const UsageStore& store) {
    return exportsUnavailable(RangeExportState{store.rangeReport(), store.rangeReportRange(),
                                               store.rangeReportSelection(),
                                               store.rangeSelection()});
}

std::optional<ExportRequest> currentExportRequest(const UsageStore& store) {
    const auto& range = store.rangeReportRange();
    if (exportsUnavailable(store)) return std::nullopt;
    return ExportRequest{
        store.rangeReportShared(),
        ExportController::options(*range, {}, store.userCalendar(), store.now()),
        store.rangeReportFiles(),
    };
}

} // namespace vantery::app
