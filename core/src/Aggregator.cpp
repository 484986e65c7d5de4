#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vantery/Pricing.hpp"
#include "vantery/Report.hpp"
#include "vantery/Saturating.hpp"

// One pass over the records builds running totals per combination of keys (day, hour,
// model, working directory, session, agent, home); the report's buckets are then folded
// from those combinations. Records of one combination share their price and their
// model, so each record is priced once and touches one small set of counters, while
// the buckets come out the same as adding every record to each of them.

namespace vantery {
namespace {

constexpr std::string_view unknownCwd = "(unknown cwd)";
constexpr double secondsPerDay = 86400;

struct StringViewHash {
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};

// Dense indices for the distinct strings of one axis. The views point into the
// records, which outlive the aggregation.
class Interner {
  public:
    std::uint32_t index(std::string_view s) {
        if (hasLast_ && s.size() == last_.size() &&
            std::memcmp(s.data(), last_.data(), s.size()) == 0)
            return lastIndex_;
        auto [it, inserted] = map_.try_emplace(s, static_cast<std::uint32_t>(keys_.size()));
        if (inserted) keys_.push_back(s);
        hasLast_ = true;
        last_ = s;
        lastIndex_ = it->second;
        return lastIndex_;
    }
    std::size_t size() const noexcept { return keys_.size(); }
    std::string_view key(std::uint32_t i) const { return keys_[i]; }

  private:
    std::unordered_map<std::string_view, std::uint32_t, StringViewHash> map_;
    std::vector<std::string_view> keys_;
    std::string_view last_;
    std::uint32_t lastIndex_ = 0;
    bool hasLast_ = false;
};

struct AgentHash {
    std::size_t operator()(const AgentIdentity* a) const noexcept { return a->hash(); }
};
struct AgentEq {
    bool operator()(const AgentIdentity* a, const AgentIdentity* b) const noexcept {
        return *a == *b;
    }
};

struct ComboKey {
    std::int32_t day;
    std::int32_t hour; // -1 without hours
    std::uint32_t model, cwd, session, agent, source;
    friend bool operator==(const ComboKey&, const ComboKey&) = default;
};

struct ComboHash {
    std::size_t operator()(const ComboKey& k) const noexcept {
        std::uint64_t h = 0x9e3779b97f4a7c15ull;
        auto mix = [&h](std::uint64_t v) {
            h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
            h *= 0xff51afd7ed558ccdull;
        };
        mix((static_cast<std::uint64_t>(static_cast<std::uint32_t>(k.day)) << 32) |
            static_cast<std::uint32_t>(k.hour));
        mix((static_cast<std::uint64_t>(k.model) << 32) | k.cwd);
        mix((static_cast<std::uint64_t>(k.session) << 32) | k.agent);
        mix(k.source);
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

// Running totals of the records of one combination of keys.
struct Combo {
    ComboKey key;
    std::optional<Prices> prices; // absent: the model has no price on that day
    std::int64_t requests = 0, input = 0, output = 0, cacheWrite5m = 0, cacheWrite1h = 0,
                 cacheRead = 0, webSearch = 0, webFetch = 0, assumed = 0;
    double priced = 0;
    std::optional<double> first, last;

    void add(const UsageRecord& r) {
        requests = satAdd(requests, 1);
        input = satAdd(input, r.input);
        output = satAdd(output, r.output);
        cacheWrite5m = satAdd(cacheWrite5m, r.cacheWrite5m);
        cacheWrite1h = satAdd(cacheWrite1h, r.cacheWrite1h);
        cacheRead = satAdd(cacheRead, r.cacheRead);
        webSearch = satAdd(webSearch, r.webSearch);
        webFetch = satAdd(webFetch, r.webFetch);
        if (r.cacheWriteBreakdownAssumed) assumed = satAdd(assumed, 1);
        if (prices)
            priced += Pricing::costOf(*prices, r.input, r.output, r.cacheWrite5m, r.cacheWrite1h,
                                      r.cacheRead, r.webSearch);
        if (!first || r.timestamp < *first) first = r.timestamp;
        if (!last || r.timestamp > *last) last = r.timestamp;
    }
};

// Folds a combination into a bucket exactly as adding its records one by one would,
// up to the order of the floating-point additions.
void fold(Bucket& b, const Combo& c, const std::string& model) {
    b.requests = satAdd(b.requests, c.requests);
    b.input = satAdd(b.input, c.input);
    b.output = satAdd(b.output, c.output);
    b.cacheWrite5m = satAdd(b.cacheWrite5m, c.cacheWrite5m);
    b.cacheWrite1h = satAdd(b.cacheWrite1h, c.cacheWrite1h);
    b.cacheRead = satAdd(b.cacheRead, c.cacheRead);
    b.webSearch = satAdd(b.webSearch, c.webSearch);
    b.webFetch = satAdd(b.webFetch, c.webFetch);
    b.cacheWriteAssumedRequests = satAdd(b.cacheWriteAssumedRequests, c.assumed);
    if (auto it = b.modelCounts.find(model); it != b.modelCounts.end())
        it->second = satAdd(it->second, c.requests);
    else
        b.modelCounts.emplace(model, c.requests);
    if (c.prices) {
        b.cost.priced += c.priced;
    } else {
        b.cost.unpricedRequests = satAdd(b.cost.unpricedRequests, c.requests);
        b.cost.unpricedModels.insert(model);
    }
    if (c.first && (!b.firstActivity || *c.first < *b.firstActivity)) b.firstActivity = c.first;
    if (c.last && (!b.lastActivity || *c.last > *b.lastActivity)) b.lastActivity = c.last;
}

// Local day and hour of instants, asking the zone only when an instant leaves the
// stretches of constant offset already met.
class LocalClock {
  public:
    explicit LocalClock(const Calendar& calendar) : calendar_(calendar) {}

    void dayAndHour(double instant, std::int32_t& day, int& hour) {
        // Far-off or non-finite instants take the calendar's own (clamping) path.
        if (!(instant > -1e11 && instant < 1e11)) return slow(instant, day, hour);
        const Calendar::OffsetSpan* span = nullptr;
        if (spans_.size() > 0 && spans_[lastSpan_].contains(instant)) {
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

std::string rawCwdKey(const ProjectResolver& resolver, std::string_view rawCwd) {
    if (rawCwd.empty()) return std::string(unknownCwd);
    return resolver.tildify(rawCwd);
}

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
    Interner models, cwds, sessions, sources;
    std::unordered_map<const AgentIdentity*, std::uint32_t, AgentHash, AgentEq> agentIndex;
    std::vector<const AgentIdentity*> agents;
    const AgentIdentity* lastAgent = nullptr;
    std::uint32_t lastAgentIndex = 0;

    // Per session: latest activity and the working directory of its latest record.
    struct SessionLink {
        std::optional<double> last;
        std::uint32_t cwd = 0;
    };
    std::vector<SessionLink> sessionLinks;
    // Per agent: session and working directory of its first record.
    struct AgentLink {
        std::uint32_t session, cwd;
    };
    std::vector<AgentLink> agentLinks;

    std::vector<Combo> combos;
    std::unordered_map<ComboKey, std::uint32_t, ComboHash> comboIndex;
    std::unordered_map<std::uint64_t, std::optional<Prices>> priceCache;
    std::uint32_t lastCombo = UINT32_MAX;

    for (const UsageRecord& r : records) {
        std::int32_t day = 0;
        int hour = 0;
        clock.dayAndHour(r.timestamp, day, hour);
        if (from && day < from->daysSinceEpoch()) continue;
        if (to && day > to->daysSinceEpoch()) continue;
        if (keep && !keep(r)) continue;

        ComboKey key{day,
                     includeHours ? hour : -1,
                     models.index(r.model),
                     cwds.index(r.rawCwd),
                     sessions.index(r.sessionId),
                     0,
                     sources.index(r.sourceHome)};
        if (lastAgent && *lastAgent == r.agent) {
            key.agent = lastAgentIndex;
        } else {
            auto [it, inserted] =
                agentIndex.try_emplace(&r.agent, static_cast<std::uint32_t>(agents.size()));
            if (inserted) {
                agents.push_back(&r.agent);
                agentLinks.push_back({key.session, key.cwd}); // first wins
            }
            key.agent = it->second;
            lastAgent = &r.agent;
            lastAgentIndex = key.agent;
        }

        // Latest wins; on equal times the later record in input order.
        if (key.session >= sessionLinks.size()) sessionLinks.resize(key.session + 1);
        SessionLink& link = sessionLinks[key.session];
        if (!link.last || r.timestamp > *link.last) link.last = r.timestamp;
        if (!(*link.last > r.timestamp)) link.cwd = key.cwd;

        Combo* combo;
        if (lastCombo != UINT32_MAX && combos[lastCombo].key == key) {
            combo = &combos[lastCombo];
        } else {
            auto [it, inserted] =
                comboIndex.try_emplace(key, static_cast<std::uint32_t>(combos.size()));
            if (inserted) {
                Combo fresh;
                fresh.key = key;
                auto priceKey =
                    (static_cast<std::uint64_t>(key.model) << 32) | static_cast<std::uint32_t>(day);
                auto pit = priceCache.find(priceKey);
                if (pit == priceCache.end()) {
                    auto e = Pricing::prices(r.model, LocalDay(day));
                    pit = priceCache.emplace(priceKey, e.value()).first;
                }
                fresh.prices = pit->second;
                combos.push_back(std::move(fresh));
            }
            lastCombo = it->second;
            combo = &combos[lastCombo];
        }
        combo->add(r);
    }

    if (combos.empty()) return report;

    // Each distinct directory is resolved once; equal labels share one project slot,
    // and equal raw-cwd keys one slot (a literal "~/x" and home + "/x" fold together).
    struct CwdInfo {
        std::uint32_t project;
        std::uint32_t rawKey;
    };
    std::vector<CwdInfo> cwdInfo(cwds.size());
    std::vector<std::string> projectNames, rawKeys;
    std::unordered_map<std::string, std::uint32_t> projectIndex, rawKeyIndex;
    std::vector<std::set<std::string>> provenances;
    for (std::uint32_t i = 0; i < cwds.size(); ++i) {
        auto resolved = resolver_.resolve(cwds.key(i), "");
        auto [pit, newProject] = projectIndex.try_emplace(
            resolved.canonical, static_cast<std::uint32_t>(projectNames.size()));
        if (newProject) {
            projectNames.push_back(std::move(resolved.canonical));
            provenances.emplace_back();
        }
        provenances[pit->second].insert(std::move(resolved.provenanceRaw));
        auto raw = rawCwdKey(resolver_, cwds.key(i));
        auto [rit, newKey] =
            rawKeyIndex.try_emplace(raw, static_cast<std::uint32_t>(rawKeys.size()));
        if (newKey) rawKeys.push_back(std::move(raw));
        cwdInfo[i] = {pit->second, rit->second};
    }

    std::vector<std::string> modelNames(models.size());
    for (std::uint32_t i = 0; i < models.size(); ++i)
        modelNames[i] = std::string(models.key(i));

    std::unordered_map<std::int32_t, Bucket> dayBuckets;
    std::array<Bucket, 24> hourBuckets;
    std::array<bool, 24> hourUsed{};
    std::vector<Bucket> modelBuckets(models.size()), projectBuckets(projectNames.size()),
        cwdBuckets(rawKeys.size()), sessionBuckets(sessions.size()), agentBuckets(agents.size()),
        sourceBuckets(sources.size());

    for (const Combo& c : combos) {
        const std::string& model = modelNames[c.key.model];
        const CwdInfo& cwd = cwdInfo[c.key.cwd];
        fold(report.total, c, model);
        fold(dayBuckets[c.key.day], c, model);
        if (c.key.hour >= 0 && c.key.hour < 24) {
            fold(hourBuckets[static_cast<std::size_t>(c.key.hour)], c, model);
            hourUsed[static_cast<std::size_t>(c.key.hour)] = true;
        }
        fold(modelBuckets[c.key.model], c, model);
        fold(projectBuckets[cwd.project], c, model);
        fold(cwdBuckets[cwd.rawKey], c, model);
        fold(sessionBuckets[c.key.session], c, model);
        fold(agentBuckets[c.key.agent], c, model);
        fold(sourceBuckets[c.key.source], c, model);
    }

    for (auto& [day, bucket] : dayBuckets)
        report.byDay.emplace(LocalDay(day), std::move(bucket));
    for (std::size_t h = 0; h < 24; ++h)
        if (hourUsed[h]) report.byHour.emplace(static_cast<int>(h), std::move(hourBuckets[h]));
    for (std::uint32_t i = 0; i < models.size(); ++i)
        report.byModel.emplace(modelNames[i], std::move(modelBuckets[i]));
    for (std::uint32_t i = 0; i < projectNames.size(); ++i) {
        report.byProject.emplace(projectNames[i], std::move(projectBuckets[i]));
        report.projectProvenance.emplace(projectNames[i], std::move(provenances[i]));
    }
    for (std::uint32_t i = 0; i < rawKeys.size(); ++i)
        report.byRawCwd.emplace(rawKeys[i], std::move(cwdBuckets[i]));
    for (std::uint32_t i = 0; i < sessions.size(); ++i) {
        std::string id(sessions.key(i));
        report.sessionProject.emplace(id, projectNames[cwdInfo[sessionLinks[i].cwd].project]);
        report.bySession.emplace(std::move(id), std::move(sessionBuckets[i]));
    }
    for (std::uint32_t i = 0; i < agents.size(); ++i) {
        const AgentIdentity& a = *agents[i];
        report.byAgent.emplace(a, std::move(agentBuckets[i]));
        report.agentSession.emplace(a, std::string(sessions.key(agentLinks[i].session)));
        report.agentProject.emplace(a, projectNames[cwdInfo[agentLinks[i].cwd].project]);
    }
    for (std::uint32_t i = 0; i < sources.size(); ++i)
        report.bySource.emplace(std::string(sources.key(i)), std::move(sourceBuckets[i]));
    return report;
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
