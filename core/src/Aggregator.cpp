#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vantery/Pricing.hpp"
#include "vantery/Report.hpp"
#include "vantery/Saturating.hpp"

// One pass over the records. Every key of every axis gets a dense index, and each
// record is priced once and added to one flat accumulator per axis; the report's
// buckets are built from the accumulators at the end. Per key only the request count
// of each model is kept besides the sums: whether a model is priced does not depend on
// the day, so the unpriced count and models of a bucket follow from those counts.

namespace vantery {
namespace {

constexpr std::string_view unknownCwd = "(unknown cwd)";
constexpr double secondsPerDay = 86400;

// Interning hashes and compares every key of every record, mostly short ids and
// paths: both are done inline, eight bytes at a time.
inline std::uint64_t load8(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline std::uint32_t load4(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The n < 8 bytes at p folded into one word with fixed-size loads only (copying a
// variable number of bytes goes through memory and stalls the load that follows).
// Some bytes may be read twice; equal texts of equal length give equal words.
inline std::uint64_t loadTail(const char* p, std::size_t n) {
    if (n >= 4) return load4(p) | (static_cast<std::uint64_t>(load4(p + n - 4)) << 32);
    if (n == 0) return 0;
    return static_cast<unsigned char>(p[0]) |
           (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8) |
           (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16);
}

inline bool sameText(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    const char *p = a.data(), *q = b.data();
    if (n < 8) return loadTail(p, n) == loadTail(q, n);
    // Whole words; the last one overlaps the one before unless n is a multiple of 8.
    for (std::size_t i = 0; i + 8 < n; i += 8)
        if (load8(p + i) != load8(q + i)) return false;
    return load8(p + n - 8) == load8(q + n - 8);
}

inline std::uint64_t mix(std::uint64_t h) noexcept {
    h ^= h >> 32;
    h *= 0xd6e8feb86659fd93ull;
    h ^= h >> 32;
    return h;
}

inline std::uint64_t fastHash(std::string_view s, std::uint64_t seed = 0) noexcept {
    std::uint64_t h = seed ^ (s.size() * 0x9e3779b97f4a7c15ull);
    const char* p = s.data();
    std::size_t n = s.size();
    for (; n >= 8; n -= 8, p += 8)
        h = (h ^ load8(p)) * 0x9e3779b97f4a7c15ull + 0x632be59bd9b4e019ull;
    if (n > 0) h = (h ^ loadTail(p, n)) * 0x9e3779b97f4a7c15ull;
    return mix(h);
}

struct TextHash {
    std::size_t operator()(std::string_view s) const noexcept {
        return static_cast<std::size_t>(fastHash(s));
    }
};
struct TextEq {
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        return sameText(a, b);
    }
};

// Dense indices for the distinct strings of one axis. The views point into the
// records, which outlive the aggregation.
class Interner {
  public:
    // Returns the index; `added` tells whether the string was new.
    std::uint32_t index(std::string_view s, bool& added) {
        added = false;
        if (hasLast_ && sameText(s, last_)) return lastIndex_;
        auto [it, inserted] = map_.try_emplace(s, static_cast<std::uint32_t>(keys_.size()));
        if (inserted) {
            keys_.push_back(s);
            added = true;
        }
        hasLast_ = true;
        last_ = keys_[it->second];
        lastIndex_ = it->second;
        return lastIndex_;
    }
    std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(keys_.size()); }
    std::string_view key(std::uint32_t i) const { return keys_[i]; }

  private:
    std::unordered_map<std::string_view, std::uint32_t, TextHash, TextEq> map_;
    std::vector<std::string_view> keys_;
    std::string_view last_;
    std::uint32_t lastIndex_ = 0;
    bool hasLast_ = false;
};

inline bool sameAgent(const AgentIdentity& a, const AgentIdentity& b) noexcept {
    return a.kind() == b.kind() && sameText(a.rawIdText(), b.rawIdText()) &&
           sameText(a.name(), b.name());
}
struct AgentHash {
    std::size_t operator()(const AgentIdentity* a) const noexcept {
        return static_cast<std::size_t>(
            fastHash(a->name(), fastHash(a->rawIdText(), static_cast<std::uint64_t>(a->kind()))));
    }
};
struct AgentEq {
    bool operator()(const AgentIdentity* a, const AgentIdentity* b) const noexcept {
        return sameAgent(*a, *b);
    }
};

// The sums of one bucket, without its per-model counts.
struct Sums {
    std::int64_t requests = 0, input = 0, output = 0, cacheWrite5m = 0, cacheWrite1h = 0,
                 cacheRead = 0, webSearch = 0, webFetch = 0, assumed = 0;
    double priced = 0;
    double first = 0, last = 0;

    void add(const UsageRecord& r, double cost) {
        if (requests == 0) {
            first = last = r.timestamp;
        } else {
            if (r.timestamp < first) first = r.timestamp;
            if (r.timestamp > last) last = r.timestamp;
        }
        requests = satAdd(requests, 1);
        input = satAdd(input, r.input);
        output = satAdd(output, r.output);
        cacheWrite5m = satAdd(cacheWrite5m, r.cacheWrite5m);
        cacheWrite1h = satAdd(cacheWrite1h, r.cacheWrite1h);
        cacheRead = satAdd(cacheRead, r.cacheRead);
        webSearch = satAdd(webSearch, r.webSearch);
        webFetch = satAdd(webFetch, r.webFetch);
        if (r.cacheWriteBreakdownAssumed) assumed = satAdd(assumed, 1);
        priced += cost; // 0 for an unpriced record, as the bucket adds nothing then
    }
};

// One axis: sums per key plus request counts per (key, model), stored with a stride
// that grows when a new model appears.
class Axis {
  public:
    void ensureKeys(std::size_t n) {
        if (sums_.size() < n) {
            sums_.resize(n);
            counts_.resize(n * stride_, 0);
        }
    }
    void ensureModels(std::size_t models) {
        if (models <= stride_) return;
        std::size_t wider = stride_;
        while (wider < models)
            wider *= 2;
        std::vector<std::int64_t> grown(sums_.size() * wider, 0);
        for (std::size_t k = 0; k < sums_.size(); ++k)
            std::copy_n(counts_.begin() + static_cast<std::ptrdiff_t>(k * stride_), stride_,
                        grown.begin() + static_cast<std::ptrdiff_t>(k * wider));
        counts_ = std::move(grown);
        stride_ = wider;
    }
    void add(std::uint32_t key, std::uint32_t model, const UsageRecord& r, double cost) {
        sums_[key].add(r, cost);
        auto& c = counts_[key * stride_ + model];
        c = satAdd(c, 1);
    }
    std::size_t size() const noexcept { return sums_.size(); }
    bool used(std::uint32_t key) const { return sums_[key].requests > 0; }

    // The bucket of one key.
    Bucket bucket(std::uint32_t key, const std::vector<std::string>& modelNames,
                  const std::vector<char>& modelPriced) const {
        const Sums& s = sums_[key];
        Bucket b;
        b.requests = s.requests;
        b.input = s.input;
        b.output = s.output;
        b.cacheWrite5m = s.cacheWrite5m;
        b.cacheWrite1h = s.cacheWrite1h;
        b.cacheRead = s.cacheRead;
        b.webSearch = s.webSearch;
        b.webFetch = s.webFetch;
        b.cacheWriteAssumedRequests = s.assumed;
        b.cost.priced = s.priced;
        if (s.requests > 0) {
            b.firstActivity = s.first;
            b.lastActivity = s.last;
        }
        for (std::size_t m = 0; m < modelNames.size(); ++m) {
            std::int64_t n = counts_[key * stride_ + m];
            if (n == 0) continue;
            b.modelCounts.emplace(modelNames[m], n);
            if (!modelPriced[m]) {
                b.cost.unpricedRequests = satAdd(b.cost.unpricedRequests, n);
                b.cost.unpricedModels.insert(modelNames[m]);
            }
        }
        return b;
    }

  private:
    std::vector<Sums> sums_;
    std::vector<std::int64_t> counts_;
    std::size_t stride_ = 8;
};

// Local day and hour of instants, asking the zone only when an instant leaves the
// stretches of constant offset already met.
class LocalClock {
  public:
    explicit LocalClock(const Calendar& calendar) : calendar_(calendar) {}

    void dayAndHour(double instant, std::int32_t& day, int& hour) {
        // Far-off or non-finite instants take the calendar's own (clamping) path.
        if (!(instant > -1e11 && instant < 1e11)) return slow(instant, day, hour);
        const Calendar::OffsetSpan* span = nullptr;
        if (!spans_.empty() && spans_[lastSpan_].contains(instant)) {
            span = &spans_[lastSpan_];
        } else {
            for (std::size_t i = 0; i < spans_.size(); ++i)
                if (spans_[i].contains(instant)) {
                    lastSpan_ = i;
                    span = &spans_[i];
                    break;
                }
            if (!span) {
                auto s = calendar_.offsetSpan(instant);
                if (!s.contains(instant)) return slow(instant, day, hour);
                if (spans_.size() >= maxSpans) spans_.clear();
                spans_.push_back(s);
                lastSpan_ = spans_.size() - 1;
                span = &spans_.back();
            }
        }
        double local = std::floor(instant) + span->offsetSeconds;
        double d = std::floor(local / secondsPerDay);
        day = static_cast<std::int32_t>(d);
        hour = static_cast<int>((local - d * secondsPerDay) / 3600);
    }

  private:
    static constexpr std::size_t maxSpans = 64;
    void slow(double instant, std::int32_t& day, int& hour) {
        auto t = calendar_.localTime(instant);
        day = t.day.daysSinceEpoch();
        hour = t.hour;
    }
    const Calendar& calendar_;
    std::vector<Calendar::OffsetSpan> spans_;
    std::size_t lastSpan_ = 0;
};

// Dense indices of days, remembering the last one asked for.
class DayIndex {
  public:
    std::uint32_t index(std::int32_t day) {
        if (has_ && day == last_) return lastIndex_;
        auto [it, inserted] = map_.try_emplace(day, static_cast<std::uint32_t>(days_.size()));
        if (inserted) days_.push_back(day);
        has_ = true;
        last_ = day;
        lastIndex_ = it->second;
        return lastIndex_;
    }
    std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(days_.size()); }
    std::int32_t day(std::uint32_t i) const { return days_[i]; }

  private:
    std::unordered_map<std::int32_t, std::uint32_t> map_;
    std::vector<std::int32_t> days_;
    std::int32_t last_ = 0;
    std::uint32_t lastIndex_ = 0;
    bool has_ = false;
};

// The models met in a pass, whether each has a price, and the cost of a record on
// its local day, with the prices of each (model, day) looked up once.
class PriceBook {
  public:
    // The model's index; `added` tells whether it was new.
    std::uint32_t model(std::string_view id, std::int32_t day, bool& added) {
        const std::uint32_t m = ids_.index(id, added);
        if (added) {
            names.emplace_back(id);
            priced.push_back(Pricing::prices(id, LocalDay(day)).isKnown());
        }
        return m;
    }
    // Whether a model has a price at all depends on its id only, never on the day.
    double cost(std::uint32_t model, std::int32_t day, const UsageRecord& r) {
        if (!priced[model]) return 0;
        const auto key =
            (static_cast<std::uint64_t>(model) << 32) | static_cast<std::uint32_t>(day);
        auto it = cache_.find(key);
        if (it == cache_.end())
            it = cache_.emplace(key, Pricing::prices(r.model, LocalDay(day)).value()).first;
        if (!it->second) return 0;
        return Pricing::costOf(*it->second, r.input, r.output, r.cacheWrite5m, r.cacheWrite1h,
                               r.cacheRead, r.webSearch);
    }
    std::string_view key(std::uint32_t m) const { return ids_.key(m); }
    std::uint32_t size() const noexcept { return ids_.size(); }

    std::vector<std::string> names;
    std::vector<char> priced;

  private:
    Interner ids_;
    std::unordered_map<std::uint64_t, std::optional<Prices>> cache_;
};

} // namespace

Report Aggregator::aggregate(std::span<const UsageRecord> records, std::optional<LocalDay> from,
                             std::optional<LocalDay> to, const ScanDiagnostics& diagnostics,
                             bool includeHours) const {
    return aggregate(records, from, to, diagnostics, includeHours, {});
}

Report Aggregator::aggregate(std::span<const UsageRecord> records, std::optional<LocalDay> from,
                             std::optional<LocalDay> to, const ScanDiagnostics& diagnostics,
                             bool includeHours,
                             const std::function<bool(const UsageRecord&)>& keep) const {
    Report report;
    report.diagnostics = diagnostics;

    LocalClock clock(calendar_);
    DayIndex days;
    PriceBook book;
    Interner cwds, sessions, sources;
    std::unordered_map<const AgentIdentity*, std::uint32_t, AgentHash, AgentEq> agentIndex;
    std::vector<const AgentIdentity*> agents;
    // Per session: the keys of its last record, with their indices.
    struct SessionHint {
        std::string_view model, cwd, source;
        const AgentIdentity* agent = nullptr;
        std::uint32_t modelIx = 0, cwdIx = 0, sourceIx = 0, agentIx = 0;
        bool valid = false;
    };
    std::vector<SessionHint> hints;

    // Per distinct directory: its project and raw-cwd key, each resolved once; equal
    // labels share a slot (a literal "~/x" and home + "/x" give one raw-cwd key).
    struct CwdInfo {
        std::uint32_t project, rawKey;
    };
    std::vector<CwdInfo> cwdInfo;
    std::vector<std::string> projectNames, rawKeys;
    std::unordered_map<std::string, std::uint32_t> projectIndex, rawKeyIndex;
    std::vector<std::set<std::string>> provenances;

    // Per session: latest activity and the project of its latest record.
    struct SessionLink {
        double last = 0;
        std::uint32_t project = 0;
        bool seen = false;
    };
    std::vector<SessionLink> sessionLinks;
    // Per agent: session and project of its first record.
    struct AgentLink {
        std::uint32_t session, project;
    };
    std::vector<AgentLink> agentLinks;

    Axis total, byDay, byHour, byModel, byProject, byRawCwd, bySession, byAgent, bySource;
    Axis* const axes[] = {&total,    &byDay,     &byHour,  &byModel, &byProject,
                          &byRawCwd, &bySession, &byAgent, &bySource};
    total.ensureKeys(1);
    byHour.ensureKeys(24);

    // The records' strings live wherever the scan allocated them: the records a few
    // steps ahead are fetched first, then, once their pointers are at hand, their
    // strings, so that most of the memory latency is hidden.
    constexpr std::size_t lookAhead = 8;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i + 2 * lookAhead < records.size()) {
            const char* far = reinterpret_cast<const char*>(&records[i + 2 * lookAhead]);
            for (std::size_t line = 0; line < sizeof(UsageRecord); line += 64)
                __builtin_prefetch(far + line);
        }
        if (i + lookAhead < records.size()) {
            const UsageRecord& ahead = records[i + lookAhead];
            __builtin_prefetch(ahead.sessionId.data());
            __builtin_prefetch(ahead.rawCwd.data());
            __builtin_prefetch(ahead.model.data());
            __builtin_prefetch(ahead.agent.rawIdText().data());
            __builtin_prefetch(ahead.sourceHome.data());
        }
        const UsageRecord& r = records[i];
        std::int32_t day = 0;
        int hour = 0;
        clock.dayAndHour(r.timestamp, day, hour);
        if (from && day < from->daysSinceEpoch()) continue;
        if (to && day > to->daysSinceEpoch()) continue;
        if (keep && !keep(r)) continue;

        bool added = false;
        const std::uint32_t dayIx = days.index(day);
        byDay.ensureKeys(days.size());

        // The session first: its other keys rarely change within it, so the last ones
        // met in the session are checked before any table is consulted.
        const std::uint32_t session = sessions.index(r.sessionId, added);
        if (added) {
            sessionLinks.emplace_back();
            hints.emplace_back();
            bySession.ensureKeys(sessions.size());
        }
        SessionHint& hint = hints[session];

        std::uint32_t model;
        if (hint.valid && sameText(hint.model, r.model)) {
            model = hint.modelIx;
        } else {
            model = book.model(r.model, day, added);
            if (added) {
                for (Axis* a : axes)
                    a->ensureModels(book.names.size());
                byModel.ensureKeys(book.size());
            }
        }

        std::uint32_t cwd;
        if (hint.valid && sameText(hint.cwd, r.rawCwd)) {
            cwd = hint.cwdIx;
        } else {
            cwd = cwds.index(r.rawCwd, added);
            if (added) {
                auto resolved = resolver_.resolve(r.rawCwd, "");
                auto [pit, newProject] = projectIndex.try_emplace(
                    resolved.canonical, static_cast<std::uint32_t>(projectNames.size()));
                if (newProject) {
                    projectNames.push_back(std::move(resolved.canonical));
                    provenances.emplace_back();
                }
                provenances[pit->second].insert(std::move(resolved.provenanceRaw));
                std::string raw =
                    r.rawCwd.empty() ? std::string(unknownCwd) : resolver_.tildify(r.rawCwd);
                auto [rit, newKey] = rawKeyIndex.try_emplace(
                    std::move(raw), static_cast<std::uint32_t>(rawKeys.size()));
                if (newKey) rawKeys.push_back(rit->first);
                cwdInfo.push_back({pit->second, rit->second});
                byProject.ensureKeys(projectNames.size());
                byRawCwd.ensureKeys(rawKeys.size());
            }
        }
        const CwdInfo& place = cwdInfo[cwd];

        std::uint32_t source;
        if (hint.valid && sameText(hint.source, r.sourceHome)) {
            source = hint.sourceIx;
        } else {
            source = sources.index(r.sourceHome, added);
            if (added) bySource.ensureKeys(sources.size());
        }

        std::uint32_t agent;
        if (hint.valid && sameAgent(*hint.agent, r.agent)) {
            agent = hint.agentIx;
        } else {
            auto [it, inserted] =
                agentIndex.try_emplace(&r.agent, static_cast<std::uint32_t>(agents.size()));
            if (inserted) {
                agents.push_back(&r.agent);
                agentLinks.push_back({session, place.project}); // first wins
                byAgent.ensureKeys(agents.size());
            }
            agent = it->second;
        }
        // The hints point at each key's first copy, which stays in cache, never at
        // this record's strings, which would be cold by the session's next record.
        hint = {book.key(model), cwds.key(cwd), sources.key(source),
                agents[agent],   model,         cwd,
                source,          agent,         true};

        // Priced once, on the record's own local day, for every bucket it joins.
        const double cost = book.cost(model, day, r);

        total.add(0, model, r, cost);
        byDay.add(dayIx, model, r, cost);
        if (includeHours) byHour.add(static_cast<std::uint32_t>(hour), model, r, cost);
        byModel.add(model, model, r, cost);
        byProject.add(place.project, model, r, cost);
        byRawCwd.add(place.rawKey, model, r, cost);
        bySession.add(session, model, r, cost);
        byAgent.add(agent, model, r, cost);
        bySource.add(source, model, r, cost);

        // Latest wins; on equal times the later record in input order.
        SessionLink& link = sessionLinks[session];
        if (!link.seen || r.timestamp > link.last) link.last = r.timestamp;
        if (!link.seen || !(link.last > r.timestamp)) link.project = place.project;
        link.seen = true;
    }

    if (!total.used(0)) return report;
    report.total = total.bucket(0, book.names, book.priced);
    for (std::uint32_t i = 0; i < days.size(); ++i)
        report.byDay.emplace(LocalDay(days.day(i)), byDay.bucket(i, book.names, book.priced));
    if (includeHours)
        for (std::uint32_t h = 0; h < 24; ++h)
            if (byHour.used(h))
                report.byHour.emplace(static_cast<int>(h),
                                      byHour.bucket(h, book.names, book.priced));
    for (std::uint32_t i = 0; i < book.names.size(); ++i)
        report.byModel.emplace(book.names[i], byModel.bucket(i, book.names, book.priced));
    for (std::uint32_t i = 0; i < projectNames.size(); ++i) {
        report.byProject.emplace(projectNames[i], byProject.bucket(i, book.names, book.priced));
        report.projectProvenance.emplace(projectNames[i], std::move(provenances[i]));
    }
    for (std::uint32_t i = 0; i < rawKeys.size(); ++i)
        report.byRawCwd.emplace(rawKeys[i], byRawCwd.bucket(i, book.names, book.priced));
    for (std::uint32_t i = 0; i < sessions.size(); ++i) {
        std::string id(sessions.key(i));
        report.sessionProject.emplace(id, projectNames[sessionLinks[i].project]);
        report.bySession.emplace(std::move(id), bySession.bucket(i, book.names, book.priced));
    }
    for (std::uint32_t i = 0; i < agents.size(); ++i) {
        const AgentIdentity& a = *agents[i];
        report.byAgent.emplace(a, byAgent.bucket(i, book.names, book.priced));
        report.agentSession.emplace(a, std::string(sessions.key(agentLinks[i].session)));
        report.agentProject.emplace(a, projectNames[agentLinks[i].project]);
    }
    for (std::uint32_t i = 0; i < sources.size(); ++i)
        report.bySource.emplace(std::string(sources.key(i)),
                                bySource.bucket(i, book.names, book.priced));
    return report;
}

std::vector<std::map<AgentIdentity, Bucket, AgentIdentityOrder>> Aggregator::agentsPerGroup(
    std::span<const UsageRecord> records, std::optional<LocalDay> from, std::optional<LocalDay> to,
    std::size_t groups,
    const std::function<std::optional<std::size_t>(const UsageRecord&)>& groupOf) const {
    std::vector<std::map<AgentIdentity, Bucket, AgentIdentityOrder>> out(groups);
    if (groups == 0) return out;

    LocalClock clock(calendar_);
    PriceBook book;
    // One dense key per (group, agent); the agent points at its first record.
    struct Key {
        std::size_t group;
        const AgentIdentity* agent;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const noexcept {
            return AgentHash{}(k.agent) ^ (k.group * 0x9e3779b97f4a7c15ull);
        }
    };
    struct KeyEq {
        bool operator()(const Key& a, const Key& b) const noexcept {
            return a.group == b.group && sameAgent(*a.agent, *b.agent);
        }
    };
    std::unordered_map<Key, std::uint32_t, KeyHash, KeyEq> index;
    std::vector<Key> keys;
    Axis byKey;
    std::uint32_t lastKey = 0;
    bool hasLast = false;

    for (const UsageRecord& r : records) {
        std::int32_t day = 0;
        int hour = 0;
        clock.dayAndHour(r.timestamp, day, hour);
        if (from && day < from->daysSinceEpoch()) continue;
        if (to && day > to->daysSinceEpoch()) continue;
        const auto g = groupOf(r);
        if (!g || *g >= groups) continue;

        bool added = false;
        const std::uint32_t model = book.model(r.model, day, added);
        if (added) byKey.ensureModels(book.names.size());

        std::uint32_t key;
        if (hasLast && keys[lastKey].group == *g && sameAgent(*keys[lastKey].agent, r.agent)) {
            key = lastKey;
        } else {
            auto [it, inserted] =
                index.try_emplace(Key{*g, &r.agent}, static_cast<std::uint32_t>(keys.size()));
            if (inserted) {
                keys.push_back(Key{*g, &r.agent});
                byKey.ensureKeys(keys.size());
            }
            key = it->second;
        }
        lastKey = key;
        hasLast = true;
        byKey.add(key, model, r, book.cost(model, day, r));
    }

    for (std::uint32_t k = 0; k < keys.size(); ++k)
        out[keys[k].group].emplace(*keys[k].agent, byKey.bucket(k, book.names, book.priced));
    return out;
}

Report Aggregator::report(std::span<const UsageRecord> records, const DateRange& range,
                          const ScanDiagnostics& diagnostics,
                          std::optional<bool> includeHours) const {
    return aggregate(records, range.from, range.through, diagnostics,
                     includeHours.value_or(range.from == range.through));
}

Report Aggregator::report(std::span<const UsageRecord> records, const RangeSelection& selection,
                          double now, const ScanDiagnostics& diagnostics) const {
    auto range = selection.resolved(now, calendar_);
    return aggregate(records, range.from, range.through, diagnostics, range.from == range.through);
}

} // namespace vantery
