// The provenance document: what the exported figures are made of and what they
// leave out, one fact per line.
#include <algorithm>

#include "export/ExportParts.hpp"
#include "export/ExportText.hpp"
#include "vantery/base/Saturating.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/export/Exporter.hpp"
#include "vantery/report/Derived.hpp"
#include "vantery/report/FileContributions.hpp"

namespace vantery {

using Parts = detail::ExportParts;

using exporttext::integer;

namespace {

// The sections, in document order.
enum class Section {
    report,
    figure,
    scan,
    home,
    sourceFile,
    unification,
    loss,
    assumption,
    attribution
};

const char* sectionName(Section s) {
    switch (s) {
    case Section::report:
        return "report";
    case Section::figure:
        return "figure";
    case Section::scan:
        return "scan";
    case Section::home:
        return "home";
    case Section::sourceFile:
        return "source file";
    case Section::unification:
        return "unification";
    case Section::loss:
        return "loss";
    case Section::assumption:
        return "assumption";
    case Section::attribution:
        return "attribution";
    }
    return "";
}

Parts::ProvenanceLine line(Section s, std::string item, std::string value, std::string note = {}) {
    return {sectionName(s), std::move(item), std::move(value), std::move(note)};
}

// A cost for a home or file line: six decimals, or "unknown" when nothing was priced.
std::string costText(const Bucket& b) {
    if (b.requests < 1 || (b.cost.priced == 0.0 && b.cost.unpricedRequests >= 1))
        return std::string(Exporter::unknown);
    return Parts::decimal(b.cost.priced, Exporter::moneyDecimalsCSV);
}

} // namespace

std::string Parts::plural(std::int64_t n, std::string_view singular, std::string_view pluralForm) {
    return integer(n) + " " + std::string(text::plural(n, singular, pluralForm));
}

std::string Parts::periodDescription(const Report& report, const Options& options,
                                     const Stamps& stamps) {
    if (options.periodLabel && !options.periodLabel->empty()) return *options.periodLabel;
    if (options.from && options.to)
        return stamps.day(*options.from) + " to " + stamps.day(*options.to);
    if (report.total.firstActivity && report.total.lastActivity)
        return stamps.dayOfInstant(*report.total.firstActivity) + " to " +
               stamps.dayOfInstant(*report.total.lastActivity) +
               " (derived from the data, not from a selected period)";
    return "unknown — the caller named no period and the report holds no dated request";
}

std::vector<Parts::ProvenanceLine> Parts::sourceFileLines(const Report& report,
                                                          const Options& options) {
    std::vector<ProvenanceLine> out;
    if (options.sourceFiles.empty()) {
        out.push_back(line(Section::sourceFile, "file_list",
                           "unknown — the caller did not supply per-file provenance",
                           "this is not a claim that no file produced the figure"));
        return out;
    }
    const FileContributions found = FileContributions::of(
        options.sourceFiles, options.calendar, options.from, options.to, options.recordFilter);
    out.push_back(line(
        Section::sourceFile, "files_contributing",
        integer(static_cast<std::int64_t>(found.files.size())),
        "out of " + plural(static_cast<std::int64_t>(options.sourceFiles.size()), "file", "files") +
            " known to the cache"));
    for (const auto& c : found.files)
        out.push_back(
            line(Section::sourceFile, options.sourceFiles[c.file].path, costText(c.bucket),
                 plural(c.bucket.requests, "request", "requests") + " in range · " +
                     plural(options.sourceFiles[c.file].usageLines, "usage line", "usage lines") +
                     " in the whole file"));
    const std::int64_t repeated = found.duplicatedRequests;
    out.push_back(
        line(Section::unification, "requests_seen_in_files", integer(found.distinctRequests)));
    out.push_back(line(Section::unification, "requests_in_report", integer(report.total.requests)));
    out.push_back(line(Section::unification, "requests_in_more_than_one_file", integer(repeated),
                       repeated == 0 ? "no request appears twice across files"
                                     : "a resumed or forked session; the per-file rows above "
                                       "count each copy, the total counts it once"));
    return out;
}

std::vector<Parts::ProvenanceLine> Parts::attributionLines(const Report& report) {
    std::vector<ProvenanceLine> out;
    if (report.projectProvenance.empty()) {
        out.push_back(line(Section::attribution, "project_labels",
                           "unknown — the report carries no label provenance",
                           "this is not a claim that no folding happened"));
        return out;
    }
    std::map<std::string, std::int64_t> counts; // ascending by raw value
    for (const auto& [project, raws] : report.projectProvenance)
        for (const auto& raw : raws)
            ++counts[raw];
    for (const auto& [raw, count] : counts)
        out.push_back(line(Section::attribution, "project_labels_" + raw, integer(count),
                           "project labels obtained this way; a folded label changes which line "
                           "of the invoice a cost lands on"));
    return out;
}

std::vector<Parts::ProvenanceLine> Parts::provenanceLines(const Report& report,
                                                          const Options& options,
                                                          const Stamps& stamps, Names names) {
    auto name = [names](std::string_view s) {
        return names == Names::raw ? std::string(s) : text::isolatedName(s);
    };
    const ScanDiagnostics& d = report.diagnostics;
    const Bucket& total = report.total;
    const bool scanned = d.filesScanned >= 1;
    const std::string U = "unknown — no source file was read, so this counter was never populated";
    auto counter = [&](auto value) { return scanned ? integer(value) : U; };

    std::vector<ProvenanceLine> out;
    out.push_back(line(Section::report, "generated_at", stamps.instant(options.generatedAt)));
    out.push_back(line(Section::report, "period", periodDescription(report, options, stamps)));
    out.push_back(
        line(Section::report, "currency", std::string(currencyCode), "Anthropic list API prices"));
    out.push_back(line(Section::report, "disclaimer", std::string(Derived::disclaimer),
                       "on a fixed subscription the figure is a reconstruction at list prices, "
                       "not an amount that was paid"));

    CostCells cost = costFields(total);
    out.push_back(line(Section::figure, "total_cost", cost.value, cost.basis));
    out.push_back(line(Section::figure, "requests",
                       total.requests < 1 && !scanned ? U : integer(total.requests),
                       "one request = every transcript line sharing a message.id:requestId"));
    out.push_back(line(Section::figure, "total_tokens", integer(total.totalTokens())));
    out.push_back(line(Section::figure, "active_days", integer(report.activeDays())));

    out.push_back(line(Section::scan, "files_scanned", counter(d.filesScanned)));
    out.push_back(line(Section::scan, "bytes_read", counter(d.bytesRead)));
    out.push_back(line(Section::scan, "usage_lines_seen", counter(d.usageLines)));
    out.push_back(line(Section::scan, "unique_requests", counter(d.uniqueRequests)));
    out.push_back(
        line(Section::scan, "scan_duration_seconds", scanned ? decimal(d.duration, 3) : U));

    for (const auto& [home, bucket] : report.bySource) { // a std::map: ascending by name
        auto files = d.perHome.find(home);
        std::string fileText = files != d.perHome.end()
                                   ? plural(files->second, "transcript file", "transcript files")
                                   : "unknown — the scan reported no file count for this home";
        out.push_back(
            line(Section::home, home, costText(bucket),
                 fileText + " · " + plural(bucket.requests, "request", "requests") + " in range"));
    }

    for (auto& l : sourceFileLines(report, options))
        out.push_back(std::move(l));

    out.push_back(line(Section::loss, "lines_rejected_invalid_json", counter(d.rejectedInvalidJSON),
                       "these lines carried usage and could not be parsed; their cost is missing "
                       "from the figure"));
    out.push_back(line(Section::loss, "lines_rejected_no_message", counter(d.rejectedNoMessage),
                       "usage present but no message object to attach it to"));
    out.push_back(line(Section::loss, "lines_rejected_no_timestamp", counter(d.rejectedNoTimestamp),
                       "no timestamp, so the request could not be placed in any period"));
    out.push_back(line(Section::loss, "lines_rejected_no_identity", counter(d.rejectedNoIdentity),
                       "no message.id or requestId, so the request could not be unified"));
    out.push_back(line(Section::loss, "lines_not_usage_bearing", counter(d.notUsageBearing),
                       "normal, not a failure: the word usage appeared inside a tool result"));
    out.push_back(line(Section::loss, "lines_skipped_zero_usage", counter(d.skippedZeroUsage),
                       "normal: a usage block with nothing in it"));
    out.push_back(line(Section::loss, "lines_rejected_total", counter(d.totalRejected()),
                       "the figure above is missing whatever these lines were worth"));
    out.push_back(line(Section::loss, "unreadable_files",
                       counter(static_cast<std::int64_t>(d.filesUnreadable.size())),
                       d.filesUnreadable.empty() ? "every file the scan listed could be opened"
                                                 : "listed below"));
    std::vector<std::string> unreadable = d.filesUnreadable;
    std::sort(unreadable.begin(), unreadable.end());
    for (const auto& path : unreadable)
        out.push_back(line(Section::loss, "unreadable_file", name(path),
                           "the requests in this file are missing from the figure"));
    out.push_back(line(Section::loss, "longest_line_bytes", counter(d.longestLineBytes),
                       d.longestLinePath.empty() ? "no line measured" : name(d.longestLinePath)));

    out.push_back(line(Section::assumption, "cache_write_assumed_requests",
                       integer(total.cacheWriteAssumedRequests),
                       "the cache_creation breakdown was missing or did not add up; 5m was "
                       "assumed, at 1.25x instead of 2.00x"));
    out.push_back(line(Section::assumption, "web_fetch_cost", std::string(unknown),
                       "web fetch is not metered by the provider, so no cost is added for it and "
                       "none is claimed to be zero"));
    out.push_back(line(Section::assumption, "web_fetch_requests", integer(total.webFetch),
                       "counted, but not priced"));
    std::vector<std::string> unpriced;
    for (const auto& model : total.cost.unpricedModels)
        unpriced.push_back(name(model));
    out.push_back(line(Section::assumption, "unpriced_requests",
                       integer(total.cost.unpricedRequests),
                       unpriced.empty() ? "every model in range had a known price"
                                        : "no known price for: " + text::joined(unpriced, "; ")));

    for (auto& l : attributionLines(report))
        out.push_back(std::move(l));
    return out;
}

std::string Exporter::provenanceCSV(const Report& report, const Options& options) {
    Parts::Stamps stamps(options.calendar);
    std::string out;
    if (options.byteOrderMark) out += "\xEF\xBB\xBF";
    for (std::size_t i = 0; i < provenanceColumns.size(); ++i) {
        if (i > 0) out += ',';
        out += Parts::textField(provenanceColumns[i]);
    }
    out += '\n';
    for (const auto& l : Parts::provenanceLines(report, options, stamps)) {
        out += Parts::textField(l.section);
        out += ',';
        out += Parts::textField(l.item);
        out += ',';
        out += Parts::textField(l.value);
        out += ',';
        out += Parts::textField(l.note);
        out += '\n';
    }
    return out;
}

} // namespace vantery
