#include "vantery/mcp/DataSource.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "vantery/base/Paths.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/cache/CacheLocation.hpp"
#include "vantery/cache/KeptRefresh.hpp"
#include "vantery/mcp/AnswerText.hpp"
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

// Exact match first (the first label met), else the labels that `matches`.
// A label the answers cut to a column's width ends in "…": what stands before it is a
// prefix of the whole label. Drops the mark and says whether there was one.
bool dropCutMark(std::string& q) {
    constexpr std::string_view mark = "\u2026";
    if (q.size() < mark.size() || q.compare(q.size() - mark.size(), mark.size(), mark) != 0)
        return false;
    q.resize(q.size() - mark.size());
    return true;
}

template <class Pred>
DataSource::Resolution<std::string>
resolveLabel(std::string_view query, const std::map<std::string, Bucket, std::less<>>& buckets,
             Pred matches) {
    using Res = DataSource::Resolution<std::string>;
    std::string q = text::lowercased(text::trimmed(query));
    const bool cut = dropCutMark(q);
    if (q.empty()) return Res::none(std::string(query));
    std::vector<std::string> found;
    for (const auto& [label, bucket] : buckets) {
        std::string l = text::lowercased(label);
        if (cut ? startsWith(l, q) : l == q) {
            if (!cut) return Res::one(label);
            found.push_back(label);
        } else if (!cut && matches(l, q)) {
            found.push_back(label);
        }
    }
    if (found.empty()) return Res::none(std::string(query));
    if (found.size() == 1) return Res::one(found.front());
    auto n = static_cast<std::int64_t>(found.size());
    return Res::many(rank(found, buckets, [](const std::string& s) { return s; }), n);
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
    KeptRefresh kept = refreshAndKeep(*cache_, homes_);
    // Said once: a cache that cannot be kept only costs the next start a full read.
    if (kept.notKept && !cacheProblemLogged_) {
        if (env_.log) env_.log(*kept.notKept);
        cacheProblemLogged_ = true;
    }
    ScanCache::Refresh r = std::move(kept.refresh);
    // The same table aggregates to the same history (projects resolve through a memo
    // that never forgets), so only its diagnostics need renewing.
    if (r.table != table_) history_.reset();
    historyCurrent_ = false;
    table_ = r.table;
    diagnostics_ = std::move(r.diagnostics);
    refreshStats_ = r.stats;
    lastRefresh_ = env_.monotonicClock();
    // Rosters are read once per process: later refreshes never look at them again.
    if (!rosterLoaded_) {
        roster_.load(homes_);
        rosterLoaded_ = true;
    }
    return *refreshStats_;
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

DataSource::Resolution<AgentIdentity> DataSource::resolveAgent(std::string_view query,
                                                               const Report& report) const {
    using Res = Resolution<AgentIdentity>;
    std::string q = text::lowercased(text::trimmed(query));
    // Every form the answers print comes back: "(main session)" and the full text of the
    // main session, "anon:" and the head of a raw id, "name  [raw id]", and cut labels.
    if (q == "main" || q == "main session" || q == "main-session" || q == "(main session)" ||
        q == text::lowercased(AnswerText::agent(AgentIdentity()))) {
        if (report.byAgent.count(AgentIdentity::mainSession())) return Res::one(AgentIdentity());
        return Res::none(std::string(query));
    }
    const bool cut = dropCutMark(q);
    bool anonymousOnly = false, rawOnly = false;
    if (startsWith(q, "anon:")) {
        q.erase(0, 5);
        anonymousOnly = true;
    } else if (!cut && q.size() > 1 && q.back() == ']') {
        if (auto open = q.rfind("  ["); open != std::string::npos) {
            q = q.substr(open + 3, q.size() - open - 4);
            rawOnly = true;
        }
    }
    if (q.empty()) return Res::none(std::string(query));
    std::vector<AgentIdentity> exact, fuzzy;
    for (std::size_t i = 0; i < report.byAgent.size(); ++i) {
        const AgentIdentity& agent = report.byAgent.agent(i);
        if (agent.kind() == AgentIdentity::Kind::main) continue;
        bool named = agent.kind() == AgentIdentity::Kind::named;
        if (anonymousOnly && named) continue;
        std::string raw = text::lowercased(agent.rawIdText());
        std::string name = named && !rawOnly ? text::lowercased(agent.name()) : std::string();
        // A cut text is only ever a head: of the name, or (after "anon:") of the raw id.
        if (cut) {
            if (anonymousOnly ? startsWith(raw, q) : (named && startsWith(name, q)))
                fuzzy.push_back(agent);
            continue;
        }
        if (raw == q || (!name.empty() && name == q)) exact.push_back(agent);
        if (rawOnly) continue;
        if (startsWith(raw, q) || (!name.empty() && name.find(q) != std::string::npos))
            fuzzy.push_back(agent);
    }
    if (exact.size() == 1) return Res::one(exact.front());
    if (exact.size() > 1) {
        std::vector<std::string> lines;
        for (const auto& a : exact)
            lines.push_back(AnswerText::agent(a));
        std::sort(lines.begin(), lines.end());
        auto n = static_cast<std::int64_t>(lines.size());
        return Res::many(std::move(lines), n);
    }
    if (fuzzy.empty()) return Res::none(std::string(query));
    if (fuzzy.size() == 1) return Res::one(fuzzy.front());
    auto n = static_cast<std::int64_t>(fuzzy.size());
    return Res::many(
        rank(fuzzy, report.byAgent, [](const AgentIdentity& a) { return AnswerText::agent(a); }),
        n);
}

DataSource::Resolution<std::string> DataSource::resolveProject(std::string_view query,
                                                               const Report& report) const {
    return resolveLabel(query, report.byProject,
                        [](const std::string& label, const std::string& q) {
                            return label.find(q) != std::string::npos;
                        });
}

DataSource::Resolution<std::string> DataSource::resolveSession(std::string_view query,
                                                               const Report& report) const {
    return resolveLabel(query, report.bySession, [](const std::string& id, const std::string& q) {
        return startsWith(id, q);
    });
}

std::string DataSource::shortened(std::string_view path) const {
    // The same plain-prefix folding as project labels, so paths and labels agree.
    return AnswerText::name(resolver_.tildify(path));
}

} // namespace vantery::mcp
