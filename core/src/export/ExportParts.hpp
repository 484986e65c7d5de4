#pragma once
// The exporter's building blocks, shared by its three documents: rows, cells, number
// and date texts, and the lines of the provenance document.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/export/Exporter.hpp"
#include "vantery/model/AgentIdentity.hpp"
#include "vantery/report/Bucket.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::detail {

/// Derives from Exporter only to share its constants and types by their short names.
struct ExportParts : Exporter {
    ExportParts() = delete;

    /// One row of a breakdown.
    struct Entry {
        std::string key;   ///< identity within the axis; sorted on
        std::string label; ///< display text
        Bucket bucket;
        std::optional<AgentIdentity> agent; ///< set on agent rows only
    };

    /// The date texts of one export, in the zone of one calendar. "Z" stands for a
    /// zero offset; never depends on the process locale or zone.
    class Stamps {
      public:
        explicit Stamps(const Calendar& calendar) : calendar_(calendar) {}
        /// "yyyy-MM-dd" of a civil day.
        std::string day(LocalDay d) const;
        /// "yyyy-MM-dd" of the local day holding the instant.
        std::string dayOfInstant(double instant) const;
        /// "yyyy-MM-ddTHH:mm:ss" and the offset as "+05:30" (with ":ss" when the offset
        /// has seconds), or "Z" when it is zero. Fractions of a second are cut off.
        std::string instant(double instant) const;

      private:
        Calendar calendar_;
    };

    /// One fact of the provenance document.
    struct ProvenanceLine {
        std::string section;
        std::string item;
        std::string value;
        std::string note; ///< may be empty
        friend bool operator==(const ProvenanceLine&, const ProvenanceLine&) = default;
    };

    /// The rows of one axis, unlimited: day and hour oldest first, every other axis by
    /// priced dollars descending, then key ascending.
    static std::vector<Entry> rows(const Report& report, Axis axis, const Calendar& calendar);
    /// The project, session, agent and agent_kind cells of a row and its attribution
    /// note, as its axis writes them (unescaped).
    struct AxisCells {
        std::string project, session, agent, agentKind, note;
    };
    static AxisCells axisCells(const Entry& entry, Axis axis, const Report& report);
    /// The 26 escaped cells of one row.
    static std::vector<std::string> fields(const Entry& entry, Axis axis, const Report& report,
                                           const Stamps& stamps);
    /// One CSV text cell: every NUL replaced by U+FFFD, then guarded against spreadsheet
    /// formulas (an apostrophe in front when the first scalar is "=", "+", "-", "@", a tab,
    /// or a carriage return not followed by a line feed), then quoted when it holds a
    /// comma, quote, LF or CR. Every other character of the name is kept as it is.
    static std::string textField(std::string_view s);
    /// How a project's label was obtained, one sentence per provenance, "; "-joined.
    static std::string projectAttribution(std::string_view project, const Report& report);
    /// "model (count)" pairs, most requests first, "; "-joined.
    static std::string models(const Bucket& bucket);
    struct CostCells {
        std::string value;
        std::string basis;
    };
    /// The cost cell (six decimals, or "unknown") and the basis saying what it leaves out.
    static CostCells costFields(const Bucket& bucket);
    /// x with exactly `places` decimals, "." as separator, no grouping.
    static std::string decimal(double x, int places);
    /// A file-name slug: lower case, every non-letter non-digit character one "-",
    /// runs collapsed, trimmed.
    static std::string slug(std::string_view s);

    /// How the names inside values and notes are written: raw for the CSV, whose cells
    /// keep them as the data has them; cleaned and isolated (text::isolatedName) for a
    /// person. Items stay raw either way: a reader cuts them to a width before cleaning.
    enum class Names { raw, forReading };
    /// Every line of the provenance document, in document order.
    static std::vector<ProvenanceLine> provenanceLines(const Report& report, const Options& options,
                                                       const Stamps& stamps,
                                                       Names names = Names::raw);
    /// The "source file" and "unification" lines.
    static std::vector<ProvenanceLine> sourceFileLines(const Report& report,
                                                       const Options& options);
    /// The "attribution" lines.
    static std::vector<ProvenanceLine> attributionLines(const Report& report);
    /// The period: the label, the selected days, the days of the data, or why unknown.
    static std::string periodDescription(const Report& report, const Options& options,
                                         const Stamps& stamps);
    /// n, a blank, then the singular when |n| is 1, else the plural.
    static std::string plural(std::int64_t n, std::string_view singular,
                              std::string_view pluralForm);

    /// The cost of a bucket for a person: "$1,234.50", "≥ $…" with its caveat, or why unknown.
    static std::string humanCost(const Bucket& bucket);
    /// First and last activity joined by " to ", or why unknown.
    static std::string span(const Bucket& bucket, const Stamps& stamps);
};

} // namespace vantery::detail
