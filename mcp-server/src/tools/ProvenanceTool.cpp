// vant_provenance: the transcript files, unification and losses behind a figure.
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vantery/Pricing.hpp"
#include "vantery/mcp/MCPServer.hpp"
#include "vantery/mcp/R.hpp"

namespace vantery::mcp {
namespace {

// A file that contributed: its priced dollars decide the order, and only the
// listed files are added up in full.
struct SourceFile {
    const ScanCache::FileProvenance* file;
    std::int64_t requests = 0; ///< keys of the file that counted (unique within a file)
    double priced = 0;         ///< summed as Bucket::add sums it, so the order matches
};

// How many files hold each request key. A million keys are met on a large home:
// sorting their hashes touches memory in order, where a hash table of that size
// would miss the cache on nearly every key.
class KeyCopies {
  public:
    explicit KeyCopies(std::size_t expected) { keys_.reserve(expected); }

    void add(std::string_view key) { keys_.push_back({std::hash<std::string_view>{}(key), key}); }

    /// Counts the distinct keys and those held by two files or more.
    void count() {
        // Spread by the hash's top bits, then sort each small group.
        constexpr int bits = 16;
        std::vector<std::size_t> start((std::size_t{1} << bits) + 1, 0);
        auto group = [](const Key& k) { return k.hash >> (8 * sizeof(std::size_t) - bits); };
        for (const Key& k : keys_)
            ++start[group(k) + 1];
        for (std::size_t g = 1; g < start.size(); ++g)
            start[g] += start[g - 1];
        std::vector<Key> spread(keys_.size());
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        for (const Key& k : keys_)
            spread[next[group(k)]++] = k;
        keys_.clear();
        keys_.shrink_to_fit();
        for (std::size_t g = 0; g + 1 < start.size(); ++g) {
            auto first = spread.begin() + static_cast<std::ptrdiff_t>(start[g]);
            auto last = spread.begin() + static_cast<std::ptrdiff_t>(start[g + 1]);
            std::sort(first, last, [](const Key& a, const Key& b) {
                if (a.hash != b.hash) return a.hash < b.hash;
                return a.text < b.text;
            });
        }
        for (std::size_t i = 0; i < spread.size();) {
            std::size_t j = i + 1;
            while (j < spread.size() && spread[j].hash == spread[i].hash &&
                   spread[j].text == spread[i].text)
                ++j;
            ++distinct_;
            if (j - i >= 2) ++duplicated_;
            i = j;
        }
    }
    std::int64_t distinct() const { return distinct_; }
    std::int64_t duplicated() const { return duplicated_; }

  private:
    struct Key {
        std::size_t hash;
        std::string_view text;
    };
    std::vector<Key> keys_;
    std::int64_t distinct_ = 0;
    std::int64_t duplicated_ = 0;
};

// The local day and the cost of many records: the zone is asked once per stretch
// of constant offset and the price table once per model and day, as the
// aggregation does, so the days agree with the report's.
class DayPricer {
  public:
    explicit DayPricer(const Calendar& calendar) : calendar_(calendar) {}

    LocalDay day(double instant) {
        if (!(instant > -1e11 && instant < 1e11)) return calendar_.dayOf(instant);
        if (!span_ || !span_->contains(instant)) {
            auto s = calendar_.offsetSpan(instant);
            if (!s.contains(instant)) return calendar_.dayOf(instant);
            span_ = s;
        }
        const double local = std::floor(instant) + span_->offsetSeconds;
        return LocalDay(static_cast<std::int32_t>(std::floor(local / 86400.0)));
    }

    Estimate<double> cost(const UsageRecord& r, LocalDay day) {
        auto key = std::make_pair(std::string_view(r.model), day.daysSinceEpoch());
        // Records of one file mostly share their model and day.
        if (!last_ || last_->first != key) {
            auto it = prices_.find(key);
            if (it == prices_.end()) it = prices_.emplace(key, Pricing::prices(r.model, day)).first;
            last_ = &*it;
        }
        const Estimate<Prices>& p = last_->second;
        if (!p.isKnown()) return Estimate<double>::unknown(p.unknownReason());
        return Estimate<double>::known(Pricing::costOf(p.knownValue(), r.input, r.output,
                                                       r.cacheWrite5m, r.cacheWrite1h, r.cacheRead,
                                                       r.webSearch));
    }

  private:
    struct KeyHash {
        std::size_t operator()(const std::pair<std::string_view, std::int32_t>& k) const {
            return std::hash<std::string_view>{}(k.first) * 31 + static_cast<std::size_t>(k.second);
        }
    };
    const Calendar& calendar_;
    std::optional<Calendar::OffsetSpan> span_;
    using PriceKey = std::pair<std::string_view, std::int32_t>;
    std::unordered_map<PriceKey, Estimate<Prices>, KeyHash> prices_;
    const std::pair<const PriceKey, Estimate<Prices>>* last_ = nullptr;
};

std::string counter(std::string_view label, std::int64_t n) {
    return std::string(label) + R::count(n) + "\n";
}

} // namespace

// What the per-file pass found for one period over one state of the cached
// files. The files are held weakly: a memo never keeps old record sets alive,
// and an expired one still compares unequal to every live set.
struct ProvenanceMemo {
    struct Row {
        std::size_t file; ///< position in the file list
        std::int64_t requests;
        double priced;
    };
    std::optional<LocalDay> from, through;
    std::vector<std::pair<std::string, std::weak_ptr<const RequestMap>>> files;
    std::vector<Row> rows; ///< in answer order
    std::int64_t distinct = 0, duplicated = 0;

    ProvenanceMemo(const std::vector<ScanCache::FileProvenance>& list, const Period& p,
                   const std::vector<SourceFile>& sorted, std::int64_t distinct,
                   std::int64_t duplicated)
        : from(p.from), through(p.through), distinct(distinct), duplicated(duplicated) {
        files.reserve(list.size());
        for (const auto& f : list)
            files.emplace_back(f.path, f.records);
        rows.reserve(sorted.size());
        for (const auto& r : sorted)
            rows.push_back({static_cast<std::size_t>(r.file - list.data()), r.requests, r.priced});
    }

    bool sameAs(const std::vector<ScanCache::FileProvenance>& list, const Period& p) const {
        if (from != p.from || through != p.through || files.size() != list.size()) return false;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const auto& [path, held] = files[i];
            if (path != list[i].path || held.owner_before(list[i].records) ||
                list[i].records.owner_before(held))
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
    s += R::rule;
    s += "THE FIGURE\n";
    s += "  cost   " + R::cost(report.total) + "\n";
    s += "  from   " + R::noun(report.total.requests, "request", "requests") +
         " after unification (one request = every line sharing a `message.id:requestId`)\n";

    // The files as the cache holds them. Keys point into the files' record sets,
    // which `files` keeps alive for the whole call.
    data->ensureFresh();
    const auto files = data->cache().recordsPerFile();
    DayPricer pricer(data->aggregator().calendar());
    auto counts = [&](const UsageRecord& rec, LocalDay day) {
        if (p.from && day < *p.from) return false;
        if (p.through && *p.through < day) return false;
        return !filters.predicate || filters.predicate(rec);
    };
    std::vector<SourceFile> rows;
    std::int64_t distinct = 0, duplicated = 0;
    if (!filters.predicate && provenanceMemo_ && provenanceMemo_->sameAs(files, p)) {
        for (const auto& r : provenanceMemo_->rows)
            rows.push_back({&files[r.file], r.requests, r.priced});
        distinct = provenanceMemo_->distinct;
        duplicated = provenanceMemo_->duplicated;
    } else {
        std::size_t cached = 0;
        for (const auto& file : files)
            cached += file.records->size();
        KeyCopies copies(cached);
        for (const auto& file : files) {
            SourceFile row{&file, 0, 0};
            for (const auto& [key, rec] : *file.records) {
                const LocalDay day = pricer.day(rec.timestamp);
                if (!counts(rec, day)) continue;
                const Estimate<double> cost = pricer.cost(rec, day);
                if (cost.isKnown()) row.priced += cost.knownValue();
                row.requests += 1;
                copies.add(key);
            }
            if (row.requests > 0) rows.push_back(row);
        }
        std::stable_sort(rows.begin(), rows.end(), [](const SourceFile& a, const SourceFile& b) {
            return a.priced > b.priced;
        });
        copies.count();
        distinct = copies.distinct();
        duplicated = copies.duplicated();
        if (!filters.predicate)
            provenanceMemo_ =
                std::make_shared<ProvenanceMemo>(files, p, rows, distinct, duplicated);
    }

    const auto rowCount = static_cast<std::int64_t>(rows.size());
    s += "\nSOURCE FILES (" + R::noun(rowCount, "file", "files") + " produced the figure)\n";
    if (rows.empty()) s += "  unknown \u2014 no usage line falls inside the requested filter\n";
    const std::int64_t listed = std::min(limit, rowCount);
    for (std::int64_t i = 0; i < listed; ++i) {
        const ScanCache::FileProvenance& file = *rows[static_cast<std::size_t>(i)].file;
        Bucket bucket;
        for (const auto& [key, rec] : *file.records) {
            const LocalDay day = pricer.day(rec.timestamp);
            if (counts(rec, day)) bucket.add(rec, pricer.cost(rec, day));
        }
        s += "  " + data->shortened(file.path) + "\n";
        s += "      home " + homeName(file.path) + " \u00b7 " +
             R::noun(bucket.requests, "request", "requests") + " \u00b7 " + R::cost(bucket) +
             " \u00b7 the file holds " + R::noun(file.usageLines, "line", "lines") +
             " with usage in total\n";
    }
    if (rowCount > limit)
        s += "  (" + R::noun(rowCount - limit, "file", "files") + " more \u2014 raise `limit`)\n";

    s += "\nUNIFICATION\n";
    s += counter("  distinct requests in files    ", distinct);
    s += counter("  requests in the report above  ", report.total.requests);
    if (duplicated > 0)
        s += "  " + R::noun(duplicated, "request", "requests") +
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
