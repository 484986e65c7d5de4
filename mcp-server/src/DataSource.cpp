#include "vantery/mcp/DataSource.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "vantery/base/AllocatorRetention.hpp"
#include "vantery/base/Paths.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/cache/CacheLocation.hpp"
#include "vantery/cache/KeptRefresh.hpp"
#include "vantery/mcp/AnswerText.hpp"
#include "vantery/mcp/NameIndex.hpp"
#include "vantery/mcp/Protocol.hpp"

namespace vantery::mcp {
namespace {

// An unset variable and one set to the empty string mean the same.
std::optional<std::string> nonEmpty(const DataSource::Environment& env, const char* name) {
    if (!env.variable) return std::nullopt;
    auto v = env.variable(name);
    if (!v || v->empty()) return std::nullopt;
    return v;
}

// The cache at VANTERY_CACHE_PATH ("~" expanded) or at the default location. A
// folder made for it is private to the user, like the default one; none is made
// where the cache may not be kept.
std::unique_ptr<ScanCache> makeCache(const DataSource::Environment& env,
                                     const std::vector<SourceHome>& homes) {
    auto path = nonEmpty(env, "VANTERY_CACHE_PATH");
    if (!path) return std::make_unique<ScanCache>();
    std::string file = paths::expandTilde(*path, env.userHome);
    // A folder that cannot be made only makes the saves fail.
    if (cachefile::check(file, homes) != cachefile::Target::insideHome)
        paths::makePrivateFolders(paths::folderOf(file));
    return std::make_unique<ScanCache>(file);
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// Candidate lines: dearest first, equal amounts by label; at most maxCandidates.
template <class K, class Map, class Label>
std::vector<std::string> rank(const std::vector<K>& keys, const Map& buckets, Label label) {
    struct Row {
        double priced;
        std::string label;
        Bucket bucket; // a copy: a report's agents make their buckets on demand
    };
    std::vector<Row> rows;
    rows.reserve(keys.size());
    for (const K& k : keys) {
        auto it = buckets.find(k);
        Bucket b = it == buckets.end() ? Bucket() : Bucket(it->second);
        const double priced = b.cost.priced;
        rows.push_back({priced, label(k), std::move(b)});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        if (a.priced != b.priced) return a.priced > b.priced;
        return a.label < b.label;
    });
    if (rows.size() > DataSource::maxCandidates) rows.resize(DataSource::maxCandidates);
    std::vector<std::string> lines;
    lines.reserve(rows.size());
    for (const Row& r : rows)
        lines.push_back(AnswerText::name(r.label) + " \u2014 " + AnswerText::cost(r.bucket));
    return lines;
}

// A query is compared with the names as the answers print them (NameIndex::printed).
// The case is kept for the closest fit and dropped for the next.
struct Query {
    std::string typed;   ///< as given
    std::string printed; ///< printed(typed)
    std::string key;     ///< printed in lower case
    std::string head;    ///< key without a final "…" when it has one: a cut label
    bool cut = false;

    explicit Query(std::string_view q)
        : typed(q), printed(NameIndex::printed(q)), key(text::lowercased(printed)), head(key) {
        // A label the answers cut to a column's width ends in "…": what stands before
        // it is a prefix of the whole label.
        constexpr std::string_view mark = "\u2026";
        if (head.size() > mark.size() && head.ends_with(mark)) {
            head.resize(head.size() - mark.size());
            cut = true;
        }
    }
};

// Picks from matches sorted into tiers, closest first: the first tier that is not
// empty answers; several in it are candidates, whose lines `several` writes from the
// matches and the tier's place.
template <class T, class Several>
DataSource::Resolution<T> pick(const Query& q, std::initializer_list<const std::vector<T>*> tiers,
                               Several several) {
    using Res = DataSource::Resolution<T>;
    std::size_t place = 0;
    for (const std::vector<T>* tier : tiers) {
        if (tier->size() == 1) return Res::one(tier->front());
        if (!tier->empty())
            return Res::many(several(*tier, place), static_cast<std::int64_t>(tier->size()));
        ++place;
    }
    return Res::none(q.typed);
}

// A quoted name as printed, then the label as printed with its case, then in any case;
// else the labels a cut label begins, or that `matches`. A label typed exactly as stored
// does not win over another that prints the same: both are listed, quoted.
template <class Pred>
DataSource::Resolution<std::string>
resolveLabel(std::string_view query, const NameIndex::Labels& labels,
             const std::map<std::string, Bucket, std::less<>>& buckets, Pred matches) {
    using Res = DataSource::Resolution<std::string>;
    const Query q(query);
    if (q.key.empty()) return Res::none(q.typed);
    if (auto it = labels.byQuoted.find(q.printed); it != labels.byQuoted.end())
        return Res::one(labels.items[it->second]);
    std::vector<std::string> sameCase, anyCase, found;
    if (auto it = labels.byPlainKey.find(q.key); it != labels.byPlainKey.end()) {
        for (std::uint32_t i : it->second)
            (labels.forms[i].plain == q.printed ? sameCase : anyCase).push_back(labels.items[i]);
    } else {
        for (std::size_t i = 0; i < labels.items.size(); ++i) {
            const NameIndex::Forms& f = labels.forms[i];
            if (q.cut ? startsWith(f.shownKey, q.head) || startsWith(f.plainKey, q.head)
                      : matches(f.plainKey, q.key))
                found.push_back(labels.items[i]);
        }
    }
    return pick<std::string>(q, {&sameCase, &anyCase, &found},
                             [&](const std::vector<std::string>& matched, std::size_t) {
                                 return rank(matched, buckets,
                                             [&](const std::string& l) { return labels.shown(l); });
                             });
}

} // namespace

DataSource::Environment DataSource::Environment::process() {
    Environment env;
    env.variable = [](const char* name) -> std::optional<std::string> {
        if (const char* v = std::getenv(name)) return std::string(v);
        return std::nullopt;
    };
    env.userHome = paths::userHome().value_or("/");
    env.log = Protocol::logToStderr;
    env.wallClock = [] {
        return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    env.monotonicClock = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    env.calendar = Calendar::current();
    return env;
}

DataSource::DataSource(Environment env)
    : env_(std::move(env)),
      homes_(SourceHome::defaults(
          nonEmpty(env_, "VANTERY_HOME")
              ? paths::expandTilde(*nonEmpty(env_, "VANTERY_HOME"), env_.userHome)
              : env_.userHome)),
      cache_(makeCache(env_, homes_)), resolver_(env_.userHome, true),
      // A copy shares the memo: the handlers and the reports settle on one label per
      // directory.
      aggregator_(env_.calendar, resolver_), table_(std::make_shared<const RequestTable>()) {}

const ScanCache::RefreshStats& DataSource::ensureFresh() {
    const double t = env_.monotonicClock();
    if (lastRefresh_ && refreshStats_ && t - *lastRefresh_ < freshnessWindow) return *refreshStats_;
    // An unusable file leaves the cache empty; a path the cache may not be kept at
    // is not read either.
    if (!lastRefresh_ && cacheMayBeKept()) cache_->load();
    // The file is written after the answer (keepCache): a reply never waits on the disk.
    ScanCache::Refresh r = std::move(*refreshLettingGo(*cache_, homes_));
    keepPending_ = true;
    // The same table aggregates to the same history (projects resolve through a memo
    // that never forgets), so only its diagnostics need renewing.
    if (r.table != table_) {
        history_.reset();
        names_.reset();
    }
    historyCurrent_ = false;
    table_ = r.table;
    diagnostics_ = std::move(r.diagnostics);
    refreshStats_ = r.stats;
    // Until a save succeeds, the last save's reason stands: every start pays for it.
    refreshStats_->cacheNotKept = cacheNotKept_;
    lastRefresh_ = env_.monotonicClock();
    // Rosters are read once per process: later refreshes never look at them again.
    if (!rosterLoaded_) {
        roster_.load(homes_);
        rosterLoaded_ = true;
    }
    return *refreshStats_;
}

void DataSource::keepCache() {
    if (!keepPending_) return;
    keepPending_ = false;
    const CacheKept kept = vantery::keepCache(*cache_, homes_);
    // The refresh, the answer and the save freed their buffers between the blocks
    // kept: given back while no call waits, so that memory stays where the history
    // puts it. The next refresh faults in again only what it takes (measured at a
    // million requests: calls 0.15 s against 0.13, 114 MiB against 141 after a start
    // that read every transcript).
    giveBackFreedMemory();
    // Said once: a cache that cannot be kept only costs the next start a full read.
    if (kept.notKept && !cacheProblemLogged_) {
        if (env_.log) env_.log(*kept.notKept);
        cacheProblemLogged_ = true;
    }
    cacheNotKept_ = kept.tooLarge;
    if (refreshStats_) refreshStats_->cacheNotKept = cacheNotKept_;
}

bool DataSource::cacheMayBeKept() const {
    const std::string& path = cache_->cachePath();
    if (path.empty()) return false; // no location could be formed: nothing to read or keep
    // A refused location is logged by the refresh that follows, which refuses it too.
    return cachefile::check(path, homes_) == cachefile::Target::ok;
}

Report DataSource::report(const Period& period, const RecordFilter& filter,
                          std::optional<bool> includeHours) {
    ensureFresh();
    bool hours = includeHours.value_or(period.isSingleDay);
    // The filter runs inside the aggregation: copying the kept rows of a large
    // history cost more than aggregating them.
    Report r = aggregator_.aggregate(*table_, period.from, period.through, diagnostics_, hours,
                                     filter.bind(table_->dictionary()));
    r.diagnostics = diagnostics_;
    return r;
}

std::shared_ptr<const Report> DataSource::history() {
    ensureFresh();
    if (!history_) {
        history_ = std::make_shared<const Report>(report(Period::all(), {}, std::nullopt));
    } else if (!historyCurrent_) {
        auto renewed = std::make_shared<Report>(*history_);
        renewed->diagnostics = diagnostics_;
        history_ = std::move(renewed);
    }
    historyCurrent_ = true;
    return history_;
}

std::shared_ptr<const Report> DataSource::sharedReport(const Period& period,
                                                       const RecordFilter& filter,
                                                       std::optional<bool> includeHours) {
    if (!filter && !period.from && !period.through && !includeHours.value_or(period.isSingleDay))
        return history();
    return std::make_shared<const Report>(report(period, filter, includeHours));
}

std::shared_ptr<const NameIndex> DataSource::names() {
    const std::shared_ptr<const Report> all = history();
    if (!names_) names_ = std::make_shared<const NameIndex>(all);
    return names_;
}

DataSource::Resolution<AgentIdentity> DataSource::resolveAgent(std::string_view query,
                                                               const NameIndex& names) {
    using Kind = AgentIdentity::Kind;
    using Res = Resolution<AgentIdentity>;
    const Query q(query);
    if (q.key.empty()) return Res::none(q.typed);
    // The main session's words, as the tool schemas document them, reach it alone: a
    // sub-agent of that name prints (and is reached by) its quoted raw id instead.
    if (q.key == "main" || q.key == "main session" || q.key == "main-session") {
        for (const NameIndex::Agent& a : names.agents())
            if (a.id.kind() == Kind::main) return Res::one(a.id);
        return Res::none(q.typed);
    }
    // Every form the answers print comes back, compared as printed: the full text
    // "name  [raw id]" and the main session's, the list label ("anon:" and the head of a
    // raw id, "(main session)", the name, a quoted raw id), the raw id alone, and cut
    // labels. Raw ids that differ only in case are two agents: the case typed picks one;
    // raw ids that print alike are told apart by their quoted forms. Only the agents
    // whose keys fit the query have their other forms printed.
    static const std::string mainText = text::lowercased(NameIndex::printed(AnswerText::agent({})));
    static const std::string mainLabel =
        text::lowercased(NameIndex::printed(AnswerText::agentLabel({})));
    const bool anonHead = q.key.starts_with("anon:");
    const bool bracketed = q.printed.ends_with(']');
    const bool quoted = q.printed.starts_with('"');

    // Exact tiers: as printed with its case, the raw id in brackets with its case, in
    // any case. Then the heads of cut labels and the looser fits.
    std::vector<AgentIdentity> sameCase, inBrackets, anyCase, found;
    // Sorts a form that equals the query in lower case into its tier.
    auto exact = [&](const AgentIdentity& id, const std::string& form) {
        (form == q.printed ? sameCase : anyCase).push_back(id);
    };
    for (const NameIndex::Agent& a : names.agents()) {
        const Kind kind = a.id.kind();
        if (kind == Kind::main) {
            if (q.key == mainText || q.key == mainLabel)
                exact(a.id, NameIndex::printed(q.key == mainText ? AnswerText::agent(a.id)
                                                                 : AnswerText::agentLabel(a.id)));
            continue;
        }
        // The raw id as the full text shows it, quoted when shared.
        std::string rawShown, sharedKey;
        if (a.shared) {
            rawShown = NameIndex::printed(text::quotedName(a.id.rawIdText()));
            sharedKey = text::lowercased(rawShown);
        }
        const std::string_view rawShownKey = a.shared ? std::string_view(sharedKey) : a.rawKey;
        // A name that prints as nothing or as the main session's word is listed as the
        // quoted raw id (AnswerText::agentLabel).
        const bool quotedLabel =
            kind == Kind::named && quoted &&
            (a.nameKey.empty() || a.nameKey == "main" || a.nameKey == "main session" ||
             a.nameKey == "main-session" || a.nameKey == mainLabel);
        if (bracketed && q.key.find(rawShownKey) != std::string::npos) {
            const std::string full = NameIndex::printed(names.agentText(a.id));
            if (full == q.printed) {
                sameCase.push_back(a.id);
                continue;
            }
            if (text::lowercased(full) == q.key) {
                const std::string raw = a.shared ? rawShown : NameIndex::printed(a.id.rawIdText());
                (q.printed.ends_with("[" + raw + "]") ? inBrackets : anyCase).push_back(a.id);
                continue;
            }
        }
        if (quoted && a.shared && rawShown == q.printed) {
            sameCase.push_back(a.id);
            continue;
        }
        // The list label: the name, "anon:" and the head of the raw id, or a quoted raw id.
        const bool labelFits = kind == Kind::named
                                   ? a.nameKey == q.key || quotedLabel
                                   : anonHead && a.rawKey.starts_with(q.key.substr(5));
        if (labelFits) {
            const std::string label = NameIndex::printed(AnswerText::agentLabel(a.id));
            if (text::lowercased(label) == q.key) {
                exact(a.id, label);
                continue;
            }
        }
        if (a.rawKey == q.key) {
            exact(a.id, NameIndex::printed(a.id.rawIdText()));
            continue;
        }
        // A cut label is a head of a name (or of a quoted raw id), or after "anon:" of a
        // raw id.
        const std::string_view head = q.cut ? q.head : q.key;
        const std::string_view raw = a.rawKey;
        const std::string_view name = a.nameKey;
        bool fits = false;
        if (anonHead)
            fits = kind == Kind::anonymous && head.size() > 5 && startsWith(raw, head.substr(5));
        else if (q.cut)
            fits = (!name.empty() && startsWith(name, head)) ||
                   (quotedLabel &&
                    startsWith(text::lowercased(NameIndex::printed(AnswerText::agentLabel(a.id))),
                               head));
        else
            fits = startsWith(raw, head) ||
                   (!name.empty() && name.find(head) != std::string_view::npos);
        if (fits) found.push_back(a.id);
    }
    auto text = [&](const AgentIdentity& a) { return names.agentText(a); };
    return pick<AgentIdentity>(q, {&sameCase, &inBrackets, &anyCase, &found},
                               [&](const std::vector<AgentIdentity>& agents, std::size_t place) {
                                   if (place == 3)
                                       return rank(agents, names.report().byAgent, text);
                                   // Exact fits are told apart by their full texts alone.
                                   std::vector<std::string> lines;
                                   for (const auto& a : agents)
                                       lines.push_back(text(a));
                                   std::sort(lines.begin(), lines.end());
                                   return lines;
                               });
}

DataSource::Resolution<std::string> DataSource::resolveProject(std::string_view query,
                                                               const NameIndex& names) {
    return resolveLabel(query, names.projects(), names.report().byProject,
                        [](const std::string& label, const std::string& q) {
                            return label.find(q) != std::string::npos;
                        });
}

DataSource::Resolution<AgentIdentity> DataSource::resolveAgent(std::string_view query,
                                                               const Report& report) const {
    return resolveAgent(query, NameIndex(report));
}

DataSource::Resolution<std::string> DataSource::resolveProject(std::string_view query,
                                                               const Report& report) const {
    return resolveProject(query, NameIndex(report));
}

DataSource::Resolution<std::string> DataSource::resolveSession(std::string_view query,
                                                               const Report& report) const {
    return resolveSession(query, NameIndex(report));
}

DataSource::Resolution<std::string> DataSource::resolveSession(std::string_view query,
                                                               const NameIndex& names) {
    return resolveLabel(
        query, names.sessions(), names.report().bySession,
        [](const std::string& id, const std::string& q) { return startsWith(id, q); });
}

std::string DataSource::shortened(std::string_view path) const {
    // The same plain-prefix folding as project labels, so paths and labels agree.
    return AnswerText::name(resolver_.tildify(path));
}

} // namespace vantery::mcp
