#include "model/ExportController.hpp"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include <utility>

#include "model/QtText.hpp"
#include "vantery/base/Text.hpp"

namespace vantery::app {

namespace {

std::string periodOf(const Exporter::Options& options) {
    return options.periodLabel.value_or("the selected period");
}

} // namespace

std::optional<std::string> AtomicFileWriter::write(const std::string& path,
                                                   std::string_view contents) {
    // QSaveFile writes beside the target and renames over it on commit; without the
    // direct-write fallback it never writes the target in place.
    QSaveFile file(qs(path));
    const auto fail = [&](const QString& why) {
        file.cancelWriting();
        return ("could not write " + QFileInfo(file.fileName()).fileName() + " (" + why + ")")
            .toStdString();
    };
    if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString());
    const auto size = static_cast<qint64>(contents.size());
    if (file.write(contents.data(), size) != size) return fail(file.errorString());
    // write() only fills Qt's buffer, and commit() renames even when the flush inside it
    // fails (a full disk): flush here and check what reached the file before renaming.
    if (!file.flush()) return fail(file.errorString());
    if (file.size() != size) return fail(QStringLiteral("only part of it was written"));
    if (!file.commit()) return fail(file.errorString());
    return std::nullopt;
}

std::optional<std::string> exportsUnavailable(const RangeExportState& s) {
    if (!s.reportRange || !s.reportSelection)
        return "Waiting for the selected range to be computed";
    if (*s.reportSelection != s.selection) return "Waiting for the new range to be computed";
    if (s.report.total.requests < 1)
        return "Nothing to export: no request in " + s.reportRange->title();
    return std::nullopt;
}

std::optional<std::string> ExportController::Outcome::message() const {
    switch (kind) {
    case Kind::wrote: {
        QString folder = QDir(qs(text)).dirName();
        if (folder.isEmpty()) folder = QDir::cleanPath(qs(text)); // "/" has no name of its own
        return std::to_string(count) + (count == 1 ? " file" : " files") + " written to " +
               folder.toStdString();
    }
    case Kind::copied:
        return "Summary copied — " + std::to_string(count) + " characters";
    case Kind::failed:
        return "Export failed: " + text;
    case Kind::cancelled:
        break;
    }
    return std::nullopt;
}

std::optional<ExportController::Target> ExportController::ask(ExportOperation operation,
                                                              const Exporter::Options& options,
                                                              ExportDialogs& dialogs) {
    std::optional<std::string> path;
    switch (operation) {
    case ExportOperation::projectCSV:
        path = dialogs.chooseCSVFile(
            Exporter::suggestedFileName(Exporter::Document::breakdown(Exporter::Axis::project),
                                        options),
            "The project breakdown for " + periodOf(options) + ".");
        break;
    case ExportOperation::everyBreakdown:
        path = dialogs.chooseFolder("Export here",
                                    "Every breakdown for " + periodOf(options) +
                                        ", one CSV per axis, plus the provenance document.");
        break;
    case ExportOperation::copySummary:
        return Target{operation, {}};
    }
    if (!path || path->empty()) return std::nullopt;
    return Target{operation, std::move(*path)};
}

ExportController::Product ExportController::produce(const Target& target, const Report& report,
                                                    const Exporter::Options& options,
                                                    FileWriter& files) {
    switch (target.operation) {
    case ExportOperation::projectCSV: {
        const auto csv = Exporter::breakdownCSV(report, Exporter::Axis::project, options);
        if (auto error = files.write(target.path, csv)) return {Outcome::failed(*error), {}};
        return {Outcome::wrote(1, QFileInfo(qs(target.path)).path().toStdString()), {}};
    }
    case ExportOperation::everyBreakdown: {
        std::vector<std::pair<std::string, std::string>> texts;
        for (auto& [axis, csv] : Exporter::allBreakdownCSVs(report, options))
            texts.emplace_back(
                Exporter::suggestedFileName(Exporter::Document::breakdown(axis), options),
                std::move(csv));
        texts.emplace_back(Exporter::suggestedFileName(Exporter::Document::provenance(), options),
                           Exporter::provenanceCSV(report, options));
        const QDir dir(qs(target.path));
        for (const auto& [name, csv] : texts)
            if (auto error = files.write(dir.filePath(qs(name)).toStdString(), csv))
                return {Outcome::failed(*error), {}};
        return {Outcome::wrote(static_cast<std::int64_t>(texts.size()), target.path), {}};
    }
    case ExportOperation::copySummary: {
        auto text = Exporter::clipboardSummary(report, options);
        const auto characters = static_cast<std::int64_t>(text::characterCount(text));
        return {Outcome::copied(characters), std::move(text)};
    }
    }
    return {Outcome::cancelled(), {}};
}

ExportController::Outcome ExportController::deliver(Product product, ClipboardSink& clipboard) {
    if (product.clipboardText && !clipboard.setText(*product.clipboardText))
        return Outcome::failed("the clipboard refused the text");
    return product.outcome;
}

Exporter::Options ExportController::options(const DateRange& reportRange,
                                            std::vector<ScanCache::FileProvenance> sourceFiles,
                                            const Calendar& userCalendar, double now) {
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
