// vant_provenance: the transcript files, unification and losses behind a figure.
#include <algorithm>
#include <functional>
#include <string_view>
#include <vector>

#include "vantery/mcp/MCPServer.hpp"
#include "vantery/mcp/R.hpp"

namespace vantery::mcp {
namespace {

struct SourceFile {
    const std::string* path;
    std::int64_t requests = 0; ///< distinct keys of the file that counted
    Bucket bucket;
    std::int64_t usageLines = 0;
};

// How many files hold each request key, with one table for the whole call and no
// allocation per key: the walk meets every cached record, a million on a large home.
class KeyCopies {
  public:
    void add(std::string_view key) {
        if ((distinct_ + 1) * 2 > slots_.size()) grow();
        const std::size_t h = std::hash<std::string_view>{}(key);
        for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
            Slot& slot = slots_[i];
            if (slot.copies == 0) {
                slot = {h, key, 1};
                ++distinct_;
                return;
            }
            if (slot.hash == h && slot.key == key) {
                if (++slot.copies == 2) ++duplicated_;
                return;
            }
        }
    }
    std::int64_t distinct() const { return static_cast<std::int64_t>(distinct_); }
    std::int64_t duplicated() const { return duplicated_; }

  private:
    struct Slot {
        std::size_t hash = 0;
        std::string_view key;
        std::int64_t copies = 0;
    };

    void grow() {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
        mask_ = slots_.size() - 1;
        for (const Slot& s : old) {
            if (s.copies == 0) continue;
            std::size_t i = s.hash & mask_;
            while (slots_[i].copies != 0)
                i = (i + 1) & mask_;
            slots_[i] = s;
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t distinct_ = 0;
    std::int64_t duplicated_ = 0;
};

std::string counter(std::string_view label, std::int64_t n) {
    return std::string(label) + R::count(n) + "\n";
}

} // namespace

std::string MCPServer::provenance(const Json& arguments) {
    const Period p = period(arguments, "today");
    std::int64_t limit = argInt(arguments, "limit").value_or(20);
    if (limit < 1) limit = 1;
    const Filters filters = buildFilters(arguments);
    const Report report = data->report(p, filters.predicate, std::nullopt);

    std::string s = header("Provenance", p, filters);
    s += R::rule;
    s += "THE FIGURE\n";
    s += "  cost   " + R::cost(report.total) + "\n";
    s += "  from   " + R::noun(report.total.requests, "request", "requests") +
         " after unification (one request = every line sharing a `message.id:requestId`)\n";

    // The files as the cache holds them. Keys point into the files' record sets,
    // which `files` keeps alive for the whole call.
    data->ensureFresh();
    const auto files = data->cache().recordsPerFile();
    const Aggregator& agg = data->aggregator();
    KeyCopies copies;
    std::vector<SourceFile> rows;
    for (const auto& file : files) {
        SourceFile row{&file.path, 0, {}, file.usageLines};
        for (const auto& [key, rec] : *file.records) {
            const LocalDay day = agg.day(rec.timestamp);
            if (p.from && day < *p.from) continue;
            if (p.through && *p.through < day) continue;
            if (filters.predicate && !filters.predicate(rec)) continue;
            row.bucket.add(rec, day);
            row.requests += 1;
            copies.add(key);
        }
        if (row.requests > 0) rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const SourceFile& a, const SourceFile& b) {
        return a.bucket.cost.priced > b.bucket.cost.priced;
    });

    const auto rowCount = static_cast<std::int64_t>(rows.size());
    s += "\nSOURCE FILES (" + R::noun(rowCount, "file", "files") + " produced the figure)\n";
    if (rows.empty()) s += "  unknown \u2014 no usage line falls inside the requested filter\n";
    const std::int64_t listed = std::min(limit, rowCount);
    for (std::int64_t i = 0; i < listed; ++i) {
        const SourceFile& row = rows[static_cast<std::size_t>(i)];
        s += "  " + data->shortened(*row.path) + "\n";
        s += "      home " + homeName(*row.path) + " \u00b7 " +
             R::noun(row.requests, "request", "requests") + " \u00b7 " + R::cost(row.bucket) +
             " \u00b7 the file holds " + R::noun(row.usageLines, "line", "lines") +
             " with usage in total\n";
    }
    if (rowCount > limit)
        s += "  (" + R::noun(rowCount - limit, "file", "files") + " more \u2014 raise `limit`)\n";

    const std::int64_t duplicated = copies.duplicated();
    s += "\nUNIFICATION\n";
    s += counter("  distinct requests in files    ", copies.distinct());
    s += counter("  requests in the report above  ", report.total.requests);
    if (duplicated > 0)
        s += "  " + R::noun(duplicated, "request", "requests") +
             " appear in more than one file (a resumed or forked session). The lower-ranked "
             "file wins the attribution; the per-file costs above count each copy, the total "
             "does not.\n";
    else if (copies.distinct() > 0)
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
    s += counter("  usage lines seen            ", d.usageLinesSeen);
    s += counter("  lines without usage         ", d.linesNotUsageBearing);
    s += counter("  rejected: invalid JSON      ", d.linesRejectedInvalidJSON);
    s += counter("  rejected: no `message`      ", d.linesRejectedNoMessage);
    s += counter("  rejected: no timestamp      ", d.linesRejectedNoTimestamp);
    s += counter("  rejected: no identity       ", d.linesRejectedNoIdentity);
    s += counter("  skipped: usage all zero     ", d.linesSkippedZeroUsage);
    if (!d.filesUnreadable.empty()) {
        s += "  UNREADABLE FILES            " +
             R::noun(static_cast<std::int64_t>(d.filesUnreadable.size()), "file", "files") +
             " \u2014 the figure above leaves them out:\n";
        const std::size_t shown = std::min<std::size_t>(d.filesUnreadable.size(), 10);
        for (std::size_t i = 0; i < shown; ++i)
            s += "      " + data->shortened(d.filesUnreadable[i]) + "\n";
    }
    s += footer(report, p);
    return s;
}

} // namespace vantery::mcp
