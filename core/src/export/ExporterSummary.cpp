// The plain-text summary: the export's figures written for a person, padded for a
// monospaced font. Widths count user-perceived characters, not bytes.
#include <algorithm>

#include "export/ExportParts.hpp"
#include "export/ExportText.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/export/Exporter.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery {

using Parts = detail::ExportParts;

namespace {

constexpr std::string_view dot = "  \u00b7  ";

// The text cut to `width` characters, or padded with blanks to it.
std::string fitted(std::string_view s, std::size_t width) {
    std::string_view cut = text::prefixCharacters(s, width);
    std::string out(cut);
    std::size_t count = text::characterCount(cut);
    if (count < width) out.append(width - count, ' ');
    return out;
}

} // namespace

std::string Parts::grouped(std::int64_t n) {
    // The magnitude as unsigned, so that the most negative value needs no negation.
    std::uint64_t magnitude =
        n < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    std::string digits = exporttext::integer(magnitude);
    std::string out = n < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string Parts::noun(std::int64_t n, std::string_view singular, std::string_view pluralForm) {
    return grouped(n) + " " + std::string(n == 1 || n == -1 ? singular : pluralForm);
}

std::string Parts::humanCost(const Bucket& bucket) {
    const CostEstimate& cost = bucket.cost;
    if (bucket.requests < 1) return "unknown — no request in range";
    if (cost.priced == 0.0 && cost.unpricedRequests >= 1) {
        std::string out = "unknown — no known price for ";
        bool first = true;
        for (const auto& m : cost.unpricedModels) { // a std::set: already ascending
            if (!first) out += ", ";
            out += m;
            first = false;
        }
        return out;
    }
    std::string out = cost.formatted();
    if (auto caveat = cost.caveat()) out += " [" + *caveat + "]";
    return out;
}

std::string Parts::span(const Bucket& bucket, const Stamps& stamps) {
    if (!bucket.firstActivity || !bucket.lastActivity)
        return "unknown — the report holds no dated request";
    return stamps.instant(*bucket.firstActivity) + " to " + stamps.instant(*bucket.lastActivity);
}

std::string Exporter::clipboardSummary(const Report& report, const Options& options) {
    Parts::Stamps stamps(options.calendar);
    const Bucket& total = report.total;
    const std::string indent(11, ' ');
    std::string out;
    auto emit = [&out](std::string_view l) {
        out.append(l);
        out += '\n';
    };

    emit("Vantery — usage report");
    emit("Period:    " + Parts::periodDescription(report, options, stamps));
    emit("Generated: " + stamps.instant(options.generatedAt));
    emit("Currency:  USD (Anthropic list API prices)");
    emit("");
    emit("TOTAL      " + Parts::humanCost(total));
    if (total.requests >= 1) {
        emit(indent + Parts::noun(total.requests, "request", "requests") + std::string(dot) +
             Parts::grouped(total.totalTokens()) + " tokens  (in " + Parts::grouped(total.input) +
             " · out " + Parts::grouped(total.output) + " · cache write " +
             Parts::grouped(total.cacheWrite()) + " · cache read " +
             Parts::grouped(total.cacheRead) + ")");
        emit(indent + "range " + Parts::span(total, stamps));
    } else {
        emit(indent + (report.diagnostics.filesScanned < 1
                           ? "unknown — no source file was read"
                           : "no request falls in the selected range"));
    }

    const std::size_t limit =
        options.summaryRowLimit <= 0 ? 0 : static_cast<std::size_t>(options.summaryRowLimit);
    for (Axis axis : options.summaryAxes) {
        auto entries = Parts::rows(report, axis, options.calendar);
        if (entries.empty()) continue;
        emit("");
        emit(axis.title());
        std::size_t shown = std::min(entries.size(), limit);
        for (std::size_t i = 0; i < shown; ++i) {
            const Bucket& b = entries[i].bucket;
            emit("  " + fitted(entries[i].label, 38) + "  " + Parts::humanCost(b) +
                 std::string(dot) + Parts::noun(b.requests, "request", "requests") +
                 std::string(dot) + Parts::grouped(b.totalTokens()) + " tokens");
        }
        if (entries.size() > shown) {
            auto hidden = static_cast<std::int64_t>(entries.size() - shown);
            emit("  (" + Parts::grouped(hidden) + (hidden == 1 ? " more row" : " more rows") +
                 " — the CSV export has all of them)");
        }
    }

    emit("");
    emit("PROVENANCE");
    for (const auto& l : Parts::provenanceLines(report, options, stamps)) {
        if (l.section == "report") continue;
        std::string row = "  " + fitted(l.item, 34) + "  " + l.value;
        if (!l.note.empty()) row += "   — " + l.note;
        emit(row);
    }

    emit("");
    emit("— " + std::string(Derived::disclaimer));
    return out;
}

} // namespace vantery
