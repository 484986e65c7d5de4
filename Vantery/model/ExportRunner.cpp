#include "model/ExportRunner.hpp"

#include <QPointer>

#include <utility>

#include "model/BackgroundTask.hpp"
#include "model/ExportRequest.hpp"
#include "model/UsageStore.hpp"

namespace vantery::app {

ExportRunner::ExportRunner(UsageStore& store) : QObject(&store), store_(store) {}

ExportRunner& ExportRunner::of(UsageStore& store) {
    if (auto* runner = store.findChild<ExportRunner*>(QString(), Qt::FindDirectChildrenOnly))
        return *runner;
    return *new ExportRunner(store);
}

std::optional<std::string> ExportRunner::unavailable() const {
    if (running_) return "An export is already running";
    return exportsUnavailable(store_);
}

void ExportRunner::setRunning(bool running) {
    running_ = running;
    emit runningChanged();
}

void ExportRunner::start(ExportOperation operation, const ExportServices& services,
                         QObject* context, Done done) {
    if (!canStart()) return;
    // The report and the period it was computed for travel together, whatever the
    // selection says meanwhile; a refresh during a dialog changes neither, nor the
    // cache's file list for the provenance document, published with the report.
    auto request = currentExportRequest(store_);
    if (!request) return;
    QPointer<QObject> receiver(context);
    QPointer<ExportRunner> self(this);
    // Running from the dialog on: a modal dialog spins the event loop, and a shortcut
    // there must not start a second export.
    setRunning(true);
    auto target = ExportController::ask(operation, request->options, *services.dialogs);
    if (!self) return; // the store went away while the dialog was open
    if (!target) {
        setRunning(false);
        if (receiver) done(ExportController::Outcome::cancelled());
        return;
    }
    runInBackground(
        this,
        [request = std::move(*request), target = std::move(*target), files = services.files] {
            Exporter::Options options = request.options;
            if (target.operation == ExportOperation::everyBreakdown)
                options.sourceFiles = *request.sourceFiles; // only provenance lists them
            return ExportController::produce(target, *request.report, options, *files);
        },
        [this, receiver, clipboard = services.clipboard,
         done = std::move(done)](ExportController::Product product) {
            const auto outcome = ExportController::deliver(std::move(product), *clipboard);
            running_ = false;
            if (receiver) done(outcome);
            emit runningChanged();
        });
}

} // namespace vantery::app
