// The breakdown CSVs and what the three exported documents share: date stamps, cell
// escaping, cost cells and file names.
#include "vantery/export/Exporter.hpp"

#include <algorithm>
#include <charconv>

#include <utf8proc.h>

#include "export/ExportParts.hpp"
#include "export/ExportText.hpp"
#include "vantery/base/Text.hpp"

namespace vantery {

using Parts = detail::ExportParts;

using exporttext::integer;

// ---- Stamps ----

std::string Parts::Stamps::day(LocalDay d) const {
    return d.iso();
}

std::string Parts::Stamps::dayOfInstant(double instant) const {
    return calendar_.dayOf(instant).iso();
}

std::string Parts::Stamps::instant(double instant) const {
    LocalTime t = calendar_.localTime(instant);
    std::string out = t.day.iso();
    auto two = [&out](int v) {
        out += static_cast<char>('0' + v / 10 % 10);
        out += static_cast<char>('0' + v % 10);
    };
    out += 'T';
    two(t.hour);
    out += ':';
    two(t.minute);
    out += ':';
    two(t.second);
    if (t.offsetSeconds == 0) return out + "Z";
    int off = t.offsetSeconds;
    out += off < 0 ? '-' : '+';
    off = off < 0 ? -off : off;
    two(off / 3600);
    out += ':';
    two(off / 60 % 60);
    if (off % 60 != 0) {
        out += ':';
        two(off % 60);
    }
    return out;
}

// ---- Cells ----

std::string Parts::textField(std::string_view raw) {
    // A NUL ends the text for many readers of the file: it becomes U+FFFD, as an invalid
    // byte does wherever a name is cleaned, so the rest of the name is kept and two names
    // that differ only there stay apart.
    std::string withoutNul;
    if (raw.find('\0') != std::string_view::npos) {
        withoutNul.reserve(raw.size() + 8);
        for (char c : raw)
            c == '\0' ? withoutNul.append("\xEF\xBF\xBD") : withoutNul.append(1, c);
        raw = withoutNul;
    }
    const std::string_view s = raw;
    std::string out;
    out.reserve(s.size() + 3);
    if (!s.empty()) {
        // The first scalar decides, not the first user-perceived character: "=" followed
        // by a combining mark is still read as a formula by spreadsheets. A leading CR LF
        // is a line break, not a lone carriage return.
        char c = s[0];
        bool loneCR = c == '\r' && (s.size() < 2 || s[1] != '\n');
        if (c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || loneCR) out += '\'';
    }
    out.append(s);
    if (out.find_first_of(",\"\n\r") == std::string::npos) return out;
    std::string quoted = "\"";
    quoted.reserve(out.size() + 8);
    for (char c : out) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string Parts::decimal(double x, int places) {
    char buf[512];
    auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed,
                           std::clamp(places, 0, 100));
    if (r.ec != std::errc()) return std::string(unknown);
    return std::string(buf, r.ptr);
}

Parts::CostCells Parts::costFields(const Bucket& bucket) {
    if (bucket.requests < 1) return {std::string(unknown), "unknown — no request in range"};
    if (bucket.cost.priced == 0.0 && bucket.cost.unpricedRequests >= 1)
        return {std::string(unknown), "unknown — no known price for any request in this row"};
    return {decimal(bucket.cost.priced, moneyDecimalsCSV),
            bucket.cost.unpricedRequests == 0 ? "complete" : "lower bound — priced requests only"};
}

std::string Parts::models(const Bucket& bucket) {
    if (bucket.modelCounts.empty()) return "unknown — no model recorded on this row";
    std::string out;
    for (const auto& [model, count] : bucket.modelsByUse()) {
        if (!out.empty()) out += "; ";
        out.append(model);
        out += " (";
        out += integer(count);
        out += ')';
    }
    return out;
}

std::string Parts::projectAttribution(std::string_view project, const Report& report) {
    auto it = report.projectProvenance.find(project);
    if (it == report.projectProvenance.end() || it->second.empty())
        return "unknown — the report carries no label provenance for this project";
    std::string out;
    for (const auto& raw : it->second) { // a std::set: already ascending
        if (!out.empty()) out += "; ";
        if (raw == "exact")
            out += "cwd is the repository root";
        else if (raw == "worktreeFolded")
            out += "folded out of a .claude/worktrees path";
        else if (raw == "gitRootFolded")
            out += "folded up to the git root";
        else if (raw == "rawFallback")
            out += "no repository found; the raw cwd was kept";
        else if (raw == "missing")
            out += "the transcript carried no cwd";
        else
            out += "unrecognised provenance: " + raw;
    }
    return out;
}

namespace {

std::string activity(const std::optional<double>& t, const Parts::Stamps& stamps) {
    return t ? stamps.instant(*t) : "unknown — the row holds no dated request";
}

} // namespace

std::vector<std::string> Parts::fields(const Entry& entry, Axis axis, const Report& report,
                                       const Stamps& stamps) {
    const Bucket& b = entry.bucket;
    AxisCells cols = axisCells(entry, axis, report);
    CostCells cost = costFields(b);
    std::vector<std::string> f;
    f.reserve(breakdownColumns.size());
    f.push_back(textField(axis.columnValue()));
    f.push_back(textField(entry.key));
    f.push_back(textField(entry.label));
    f.push_back(textField(cols.project));
    f.push_back(textField(cols.session));
    f.push_back(textField(cols.agent));
    f.push_back(textField(cols.agentKind));
    f.push_back(textField(models(b)));
    f.push_back(textField(cols.note));
    f.push_back(textField(activity(b.firstActivity, stamps)));
    f.push_back(textField(activity(b.lastActivity, stamps)));
    f.push_back(integer(b.requests));
    f.push_back(integer(b.input));
    f.push_back(integer(b.output));
    f.push_back(integer(b.cacheWrite5m));
    f.push_back(integer(b.cacheWrite1h));
    f.push_back(integer(b.cacheRead));
    f.push_back(integer(b.totalTokens()));
    f.push_back(integer(b.webSearch));
    f.push_back(integer(b.webFetch));
    f.push_back(textField(currencyCode));
    f.push_back(textField(cost.value));
    f.push_back(textField(cost.basis));
    f.push_back(integer(b.cost.unpricedRequests));
    f.push_back(textField(
        b.cost.unpricedModels.empty() ? "(none)" : text::joined(b.cost.unpricedModels, "; ")));
    f.push_back(integer(b.cacheWriteAssumedRequests));
    return f;
}

// ---- Breakdown CSVs ----

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

template <class Columns> void appendHeader(std::string& out, const Columns& columns) {
    bool first = true;
    for (auto name : columns) {
        if (!first) out += ',';
        out += Parts::textField(name);
        first = false;
    }
    out += '\n';
}

std::string breakdownFromRows(const std::vector<Parts::Entry>& rows, Exporter::Axis axis,
                              const Report& report, const Exporter::Options& options) {
    Parts::Stamps stamps(options.calendar);
    std::string out;
    if (options.byteOrderMark) out += byteOrderMark;
    appendHeader(out, Exporter::breakdownColumns);
    std::size_t n = rows.size();
    if (options.limitPerAxis)
        n = *options.limitPerAxis <= 0
                ? 0
                : static_cast<std::size_t>(std::min<std::uint64_t>(
                      static_cast<std::uint64_t>(*options.limitPerAxis), rows.size()));
    for (std::size_t i = 0; i < n; ++i) {
        auto cells = Parts::fields(rows[i], axis, report, stamps);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) out += ',';
            out += cells[c];
        }
        out += '\n';
    }
    return out;
}

} // namespace

std::string Exporter::breakdownCSV(const Report& report, Axis axis, const Options& options) {
    return breakdownFromRows(Parts::rows(report, axis, options.calendar), axis, report, options);
}

std::vector<Exporter::AxisCSV> Exporter::allBreakdownCSVs(const Report& report,
                                                          const Options& options) {
    std::vector<AxisCSV> out;
    for (Axis axis : Axis::allCases()) {
        auto entries = Parts::rows(report, axis, options.calendar);
        if (entries.empty()) continue;
        out.push_back({axis, breakdownFromRows(entries, axis, report, options)});
    }
    return out;
}

// ---- File names ----

namespace {

bool isLetterOrNumber(utf8proc_int32_t cp) {
    switch (utf8proc_category(cp)) {
    case UTF8PROC_CATEGORY_LU:
    case UTF8PROC_CATEGORY_LL:
    case UTF8PROC_CATEGORY_LT:
    case UTF8PROC_CATEGORY_LM:
    case UTF8PROC_CATEGORY_LO:
    case UTF8PROC_CATEGORY_ND:
    case UTF8PROC_CATEGORY_NL:
    case UTF8PROC_CATEGORY_NO:
        return true;
    default:
        return false;
    }
}

// Whether the user-perceived character begins with a letter or a number.
bool startsWithLetterOrNumber(std::string_view cluster) {
    utf8proc_int32_t cp = -1;
    auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(cluster.data()),
                              static_cast<utf8proc_ssize_t>(cluster.size()), &cp);
    return n > 0 && isLetterOrNumber(cp);
}

} // namespace

std::string Parts::slug(std::string_view s) {
    std::string lower = text::lowercased(s);
    std::string out;
    out.reserve(lower.size());
    text::forEachCharacter(lower, [&out](std::string_view c) {
        if (startsWithLetterOrNumber(c))
            out.append(c);
        else if (!out.empty() && out.back() != '-')
            out += '-'; // leading dashes are never written; runs collapse here
    });
    if (!out.empty() && out.back() == '-') out.pop_back();
    return out;
}

std::string Exporter::suggestedFileName(const Document& document, const Options& options) {
    Parts::Stamps stamps(options.calendar);
    std::string period;
    if (options.periodLabel)
        period = Parts::slug(*options.periodLabel);
    else if (options.from && options.to)
        period = stamps.day(*options.from) + "_" + stamps.day(*options.to);
    else
        period = stamps.dayOfInstant(options.generatedAt);
    if (document.kind == Document::Kind::provenance) return "vantery-provenance-" + period + ".csv";
    return "vantery-" + std::string(document.axis.columnValue()) + "-" + period + ".csv";
}

} // namespace vantery
