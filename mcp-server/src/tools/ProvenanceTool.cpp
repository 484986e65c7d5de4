// vant_provenance: the transcript files, unification and losses behind a figure.
#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/MCPServer.hpp"
#include "vantery/report/FileContributions.hpp"

namespace vantery::mcp {
namespace {

std::string counter(std::string_view label, std::int64_t n) {
    return std::string(label) + AnswerText::count(n) + "\n";
}

// The filter bound to the dictionary the cached files' rows refer to: the cache keeps
// one for all of them. Files that refer to another could not be tested by id.
RecordFilter::RowFilter filesFilter(const std::vector<ScanCache::FileProvenance>& files,
                                    const RecordFilter& filter) {
    if (!filter || files.empty()) return {};
    const std::shared_ptr<const RequestDictionary>& dictionary = files.front().dictionary;
    for (const auto& f : files)
        if (f.dictionary != dictionary)
            throw std::runtime_error("the cached files do not share one dictionary");
    return filter.bind(*dictionary);
}

} // namespace

// The per-file contributions of one period, unfiltered, over one state of the
// cached files. The blocks are held weakly: a memo never keeps old blocks alive, and
// an expired one still compares unequal to every live block.
struct ProvenanceMemo {
    std::optional<LocalDay> from, through;
    std::vector<std::pair<std::string, std::weak_ptr<const FileBlock>>> files;
    FileContributions found;

    ProvenanceMemo(const std::vector<ScanCache::FileProvenance>& list, const Period& p,
                   FileContributions found)
        : from(p.from), through(p.through), found(std::move(found)) {
        files.reserve(list.size());
        for (const auto& f : list)
            files.emplace_back(f.path, f.block);
    }

    bool sameAs(const std::vector<ScanCache::FileProvenance>& list, const Period& p) const {
        if (from != p.from || through != p.through || files.size() != list.size()) return false;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const auto& [path, held] = files[i];
            if (path != list[i].path || held.owner_before(list[i].block) ||
                list[i].block.owner_before(held))
                return false;
        }
        return true;
    }
};

std::string MCPServer::provenance(const Json& arguments) {
    const Period p = period(arguments, "today");
    std::int64_t limit = argInt(arguments, "limit").value_or(20);
    if (limit < 1) limit = 1;
    const Filters filters = buildFilters(arguments);
    const std::shared_ptr<const Report> shared =
        data->sharedReport(p, filters.predicate, std::nullopt);
    const Report& report = *shared;

    std::string s = header("Provenance", p, filters);
    s += AnswerText::rule;
    s += "THE FIGURE\n";
    s += "  cost   " + AnswerText::cost(report.total) + "\n";
    s += "  from   " + AnswerText::noun(report.total.requests, "request", "requests") +
         " after unification (one request = every line sharing a `message.id:requestId`)\n";

    // The files as the cache holds them; a memo holds only the unfiltered answer.
    data->ensureFresh();
    const auto files = data->cache().recordsPerFile();
    std::shared_ptr<ProvenanceMemo> memo = provenanceMemo_;
    if (filters.predicate || !memo || !memo->sameAs(files, p)) {
        memo = std::make_shared<ProvenanceMemo>(
            files, p,
            FileContributions::of(files, data->aggregator().calendar(), p.from, p.through,
                                  filesFilter(files, filters.predicate)));
        if (!filters.predicate) provenanceMemo_ = memo;
    }
    const FileContributions& found = memo->found;

    const auto rowCount = static_cast<std::int64_t>(found.files.size());
    s += "\nSOURCE FILES (" + AnswerText::noun(rowCount, "file", "files") +
         " produced the figure)\n";
    if (found.files.empty())
        s += "  unknown \u2014 no usage line falls inside the requested filter\n";
    const std::int64_t listed = std::min(limit, rowCount);
    for (std::int64_t i = 0; i < listed; ++i) {
        const FileContribution& row = found.files[static_cast<std::size_t>(i)];
        const ScanCache::FileProvenance& file = files[row.file];
        s += "  " + data->shortened(file.path) + "\n";
        s += "      home " + AnswerText::name(homeName(file.path)) + " \u00b7 " +
             AnswerText::noun(row.bucket.requests, "request", "requests") + " \u00b7 " +
             AnswerText::cost(row.bucket) + " \u00b7 the file holds " +
             AnswerText::noun(file.usageLines, "line", "lines") + " with usage in total\n";
    }
    if (rowCount > limit)
        s += "  (" + AnswerText::noun(rowCount - limit, "file", "files") +
             " more \u2014 raise `limit`)\n";

    s += "\nUNIFICATION\n";
    const std::int64_t distinct = found.distinctRequests, duplicated = found.duplicatedRequests;
    s += counter("  distinct requests in files    ", distinct);
    s += counter("  requests in the report above  ", report.total.requests);
    if (duplicated > 0)
        s += "  " + AnswerText::noun(duplicated, "request", "requests") +
             " appear in more than one file (a resumed or forked session). The lower-ranked "
             "file wins the attribution; the per-file costs above count each copy, the total "
             "does not.\n";
    else if (distinct > 0)
        s += "  no request duplicated across files\n";

    std::vector<std::pair<std::string, Bucket>> homes(report.bySource.begin(),
                                                      report.bySource.end());
    std::stable_sort(homes.begin(), homes.end(), [](const auto& a, const auto& b) {
        return a.second.cost.priced > b.second.cost.priced;
    });
    s += "\nBY HOME (from the unified figure)\n";
    s += list(homes, "no home contributed");

    const ScanDiagnostics& d = report.diagnostics;
    s += "\nWHAT WAS LOST WHILE PARSING (across the whole corpus, not just the filter)\n";
    s += counter("  usage lines seen            ", d.usageLines);
    s += counter("  lines without usage         ", d.notUsageBearing);
    s += counter("  rejected: invalid JSON      ", d.rejectedInvalidJSON);
    s += counter("  rejected: no `message`      ", d.rejectedNoMessage);
    s += counter("  rejected: no timestamp      ", d.rejectedNoTimestamp);
    s += counter("  rejected: no identity       ", d.rejectedNoIdentity);
    s += counter("  skipped: usage all zero     ", d.skippedZeroUsage);
    if (!d.filesUnreadable.empty()) {
        s +=
            "  UNREADABLE FILES            " +
            AnswerText::noun(static_cast<std::int64_t>(d.filesUnreadable.size()), "file", "files") +
            " \u2014 the figure above leaves them out:\n";
        const std::size_t shown = std::min<std::size_t>(d.filesUnreadable.size(), 10);
        for (std::size_t i = 0; i < shown; ++i)
            s += "      " + data->shortened(d.filesUnreadable[i]) + "\n";
    }
    s += footer(report, p);
    return s;
}

} // namespace vantery::mcp
