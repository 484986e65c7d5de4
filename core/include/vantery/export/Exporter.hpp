#pragma once
// Turns a report into texts a user can hand on: one CSV per breakdown axis, the
// provenance document and a plain-text summary. Pure functions: nothing here writes
// a file or reads the disk; the caller chooses where the texts go.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/cache/FileProvenance.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/report/Report.hpp"

namespace vantery {

/// The export entry points. Every function is pure and reentrant; every figure that
/// cannot be stated is written as a sentence beginning "unknown — ", never as 0, and no
/// output depends on the process locale.
struct Exporter {
    Exporter() = delete;

    static constexpr std::string_view unknown = "unknown";
    static constexpr std::string_view notBrokenDown = "(not broken down)";
    static constexpr std::string_view currencyCode = "USD";
    /// Decimal places of a cost in a CSV cell.
    static constexpr int moneyDecimalsCSV = 6;

    /// The 26 column names of a breakdown CSV, in order.
    static constexpr std::array<std::string_view, 26> breakdownColumns = {
        "axis",
        "key",
        "label",
        "project",
        "session",
        "agent",
        "agent_kind",
        "models",
        "attribution_note",
        "first_activity",
        "last_activity",
        "requests",
        "input_tokens",
        "output_tokens",
        "cache_write_5m_tokens",
        "cache_write_1h_tokens",
        "cache_read_tokens",
        "total_tokens",
        "web_search_requests",
        "web_fetch_requests",
        "currency",
        "cost",
        "cost_basis",
        "unpriced_requests",
        "unpriced_models",
        "cache_write_assumed_requests",
    };

    /// The four column names of the provenance CSV.
    static constexpr std::array<std::string_view, 4> provenanceColumns = {"section", "item",
                                                                          "value", "note"};

    /// One breakdown axis of a report.
    class Axis {
      public:
        enum Value : std::uint8_t { project, rawCwd, session, agent, model, day, hour, source };

        constexpr Axis(Value v) noexcept : v_(v) {}
        constexpr Value value() const noexcept { return v_; }

        /// The case name, e.g. "rawCwd".
        std::string_view rawValue() const noexcept;
        /// The word of the CSV `axis` cell and of file names, e.g. "raw_cwd".
        std::string_view columnValue() const noexcept;
        /// The block title of the text summary, e.g. "BY RAW CWD".
        std::string_view title() const noexcept;
        /// Day and hour rows are listed oldest first rather than by cost.
        bool isChronological() const noexcept;
        /// The axis with exactly that case name (case-sensitive); absent otherwise.
        static std::optional<Axis> fromRawValue(std::string_view raw) noexcept;
        /// The eight axes in the order of every all-axes export.
        static const std::array<Axis, 8>& allCases() noexcept;

        friend constexpr bool operator==(Axis a, Axis b) noexcept { return a.v_ == b.v_; }

      private:
        Value v_;
    };

    /// The caller's settings for every entry point. Build it with designated
    /// initialisers; `calendar` must be given.
    struct Options {
        /// The caller's name for the period.
        std::optional<std::string> periodLabel{};
        /// First and last local day of the selected period.
        std::optional<LocalDay> from{};
        std::optional<LocalDay> to{};
        /// When the export was made, seconds since 1970.
        double generatedAt = 0;
        /// Its zone sets every printed date and time.
        Calendar calendar;
        /// At most this many rows per breakdown CSV; a negative value counts as 0.
        std::optional<std::int64_t> limitPerAxis{};
        /// Per-file provenance of the records, for the provenance document.
        std::vector<FileProvenance> sourceFiles{};
        /// Which records of the source files belong to the export; empty keeps all.
        std::function<bool(const RequestRow&)> recordFilter{};
        /// Start each CSV with U+FEFF.
        bool byteOrderMark = false;
        /// The axes of the text summary, in the order shown.
        std::vector<Axis> summaryAxes{};
        /// Rows shown per summary axis; a negative value counts as 0.
        std::int64_t summaryRowLimit = 0;
    };

    /// Which file a suggested name is for.
    struct Document {
        enum class Kind : std::uint8_t { breakdown, provenance };
        Kind kind = Kind::provenance;
        Axis axis = Axis::project; ///< meaningful for breakdown only

        static Document breakdown(Axis a) { return {Kind::breakdown, a}; }
        static Document provenance() { return {Kind::provenance, Axis::project}; }
    };

    /// A breakdown CSV and its axis.
    struct AxisCSV {
        Axis axis;
        std::string csv;
    };

    /// The CSV of one axis: header and rows, LF line ends, optional byte-order mark.
    static std::string breakdownCSV(const Report& report, Axis axis, const Options& options);
    /// The CSV of every axis that has at least one row (before any row limit), in
    /// Axis::allCases() order.
    static std::vector<AxisCSV> allBreakdownCSVs(const Report& report, const Options& options);
    /// "vantery-<axis>-<period>.csv" or "vantery-provenance-<period>.csv".
    static std::string suggestedFileName(const Document& document, const Options& options);
    /// The provenance document as CSV.
    static std::string provenanceCSV(const Report& report, const Options& options);
    /// The plain-text summary for a person, columns padded for a monospaced font.
    static std::string clipboardSummary(const Report& report, const Options& options);
};

} // namespace vantery

template <> struct std::hash<vantery::Exporter::Axis> {
    std::size_t operator()(vantery::Exporter::Axis a) const noexcept {
        return static_cast<std::size_t>(a.value());
    }
};
