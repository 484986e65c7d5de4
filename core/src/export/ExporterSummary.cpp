// The plain-text summary: the export's figures written for a person, padded for a
// monospaced font. Widths count user-perceived characters, not bytes.
#include <algorithm>
#include <vector>

#include "export/ExportParts.hpp"
#include "export/ExportText.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/export/Exporter.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery {

using Parts = detail::ExportParts;

namespace {

constexpr std::string_view dot = "  \u00b7  ";

// A name cleaned, cut to `width` characters or padded with blanks to it, then isolated:
// cut first, so that the closing isolate is never cut off; the isolates take no room.
std::string fitted(std::string_view name, std::size_t width) {
    const std::string clean = text::cleanedName(name);
    std::string_view cut = text::prefixCharacters(clean, width);
    std::string out = text::isolatedName(cut);
    std::size_t count = text::characterCount(cut);
    if (count < width) out.append(width - count, ' ');
    return out;
}

} // namespace

std::string Parts::humanCost(const Bucket& bucket) {
    const CostEstimate& cost = bucket.cost;
    if (bucket.requests < 1) return "unknown — no request in range";
    if (cost.priced == 0.0 && cost.unpricedRequests >= 1) {
        std::vector<std::string> names; // a std::set: already ascending
        for (const auto& m : cost.unpricedModels)
            names.push_back(text::isolatedName(m));
        return "unknown — no known price for " + text::joined(names, ", ");
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
        emit(indent + text::counted(total.requests, "request", "requests") + std::string(dot) +
             text::groupedDigits(total.totalTokens()) + " tokens  (in " +
             text::groupedDigits(total.input) + " · out " + text::groupedDigits(total.output) +
             " · cache write " + text::groupedDigits(total.cacheWrite()) + " · cache read " +
             text::groupedDigits(total.cacheRead) + ")");
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
                 std::string(dot) + text::counted(b.requests, "request", "requests") +
                 std::string(dot) + text::groupedDigits(b.totalTokens()) + " tokens");
        }
        if (entries.size() > shown) {
            auto hidden = static_cast<std::int64_t>(entries.size() - shown);
            emit("  (" + text::groupedDigits(hidden) + (hidden == 1 ? " more row" : " more rows") +
                 " — the CSV export has all of them)");
        }
    }

    emit("");
    emit("PROVENANCE");
    for (const auto& l :
         Parts::provenanceLines(report, options, stamps, Parts::Names::forReading)) {
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
