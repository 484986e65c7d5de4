#pragma once
// The three exports of a range report: the per-project CSV, every breakdown plus the
// provenance document into a folder, and the plain-text summary onto the clipboard.
// The texts come from the core's Exporter; this controller asks where they go, writes
// them and says how it went, each step on the thread it belongs to. Dialogs, clipboard
// and file writing sit behind small interfaces, so the menu, the Date range tab and the
// tests each plug in their own.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/export/Exporter.hpp"
#include "vantery/report/DateRange.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

/// Asks the user where an export goes. Paths are UTF-8; absent means the user cancelled.
class ExportDialogs {
  public:
    virtual ~ExportDialogs() = default;
    /// A CSV file to write, proposing `suggestedName`.
    virtual std::optional<std::string> chooseCSVFile(const std::string& suggestedName,
                                                     const std::string& message) = 0;
    /// An existing folder; `prompt` labels the accepting button.
    virtual std::optional<std::string> chooseFolder(const std::string& prompt,
                                                    const std::string& message) = 0;
};

/// The system clipboard.
class ClipboardSink {
  public:
    virtual ~ClipboardSink() = default;
    /// Replaces the clipboard's text; false when the clipboard did not take it. What the
    /// clipboard held before is only replaced, never cleared first.
    virtual bool setText(const std::string& text) = 0;
};

/// Writes whole files.
class FileWriter {
  public:
    virtual ~FileWriter() = default;
    /// Writes `contents` to `path`; absent on success, else why it failed.
    virtual std::optional<std::string> write(const std::string& path,
                                             std::string_view contents) = 0;
};

/// Writes each file to a temporary file in the target's folder and renames it over the
/// target, so a reader sees the old file or the whole new one, never a part; on failure
/// the target is untouched and no temporary file is left.
class AtomicFileWriter final : public FileWriter {
  public:
    std::optional<std::string> write(const std::string& path, std::string_view contents) override;
};

/// What decides whether the exports are offered: the published range report with the range
/// and selection it was computed for, and the selection now current.
struct RangeExportState {
    const Report& report;
    const std::optional<DateRange>& reportRange;
    const std::optional<RangeSelection>& reportSelection;
    const RangeSelection& selection;
};

/// Why the exports are not offered, or nothing when they are. They are offered for a
/// published report of the current selection that holds a request: a timed refresh that
/// recomputes the same selection leaves its published report valid, while a new selection
/// waits for its own report, so that an export never names one period and holds another's
/// figures.
std::optional<std::string> exportsUnavailable(const RangeExportState& state);
inline bool exportsAvailable(const RangeExportState& state) {
    return !exportsUnavailable(state);
}

/// Which of the three exports to run.
enum class ExportOperation { projectCSV, everyBreakdown, copySummary };

/// The three steps of an export, split by thread: ask() where it goes on the GUI thread,
/// produce() its texts and files on any thread, deliver() the summary to the clipboard on
/// the GUI thread.
class ExportController {
  public:
    /// How an export ended.
    struct Outcome {
        enum class Kind { wrote, copied, failed, cancelled };
        Kind kind = Kind::cancelled;
        std::int64_t count = 0; ///< wrote: files written; copied: characters (grapheme clusters)
        std::string text;       ///< wrote: the folder that holds the files; failed: the error text

        static Outcome wrote(std::int64_t count, std::string folder) {
            return {Kind::wrote, count, std::move(folder)};
        }
        static Outcome copied(std::int64_t characters) { return {Kind::copied, characters, {}}; }
        static Outcome failed(std::string error) { return {Kind::failed, 0, std::move(error)}; }
        static Outcome cancelled() { return {}; }

        /// The user text: "3 files written to exports", "Summary copied — 12 characters",
        /// "Export failed: …"; absent for cancelled.
        std::optional<std::string> message() const;

        friend bool operator==(const Outcome&, const Outcome&) = default;
    };

    /// Where an export goes, chosen before any text is built.
    struct Target {
        ExportOperation operation = ExportOperation::copySummary;
        std::string path; ///< projectCSV: the file; everyBreakdown: the folder; else empty
        friend bool operator==(const Target&, const Target&) = default;
    };

    /// What produce() hands back: the outcome of writing files, or the summary that still
    /// has to reach the clipboard.
    struct Product {
        Outcome outcome;
        std::optional<std::string> clipboardText; ///< copySummary only
    };

    /// Asks the user where `operation` goes (the project CSV's file or the breakdowns'
    /// folder; the summary needs no question). Absent when the user cancelled.
    static std::optional<Target> ask(ExportOperation operation, const Exporter::Options& options,
                                     ExportDialogs& dialogs);
    /// Builds the texts of `target` and writes its files; safe on any thread. Every text is
    /// built before the first file is written; the first failed write ends the export, and
    /// the files written before it stay.
    static Product produce(const Target& target, const Report& report,
                           const Exporter::Options& options, FileWriter& files);
    /// Puts a produced summary on the clipboard and says how the export ended; the other
    /// products' outcomes pass through.
    static Outcome deliver(Product product, ClipboardSink& clipboard);

    /// The options of every export of a range report, named after the range the report
    /// was computed for (not the selection's current range, which may have moved on):
    /// the range's title as period label, its days, no row limit, no byte-order mark,
    /// project, agent and model in the summary with 10 rows each. Dates are printed in
    /// the user's calendar.
    static Exporter::Options options(const DateRange& reportRange,
                                     std::vector<ScanCache::FileProvenance> sourceFiles,
                                     const Calendar& userCalendar, double now);
};

} // namespace vantery::app
