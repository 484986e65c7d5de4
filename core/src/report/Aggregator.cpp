#include "vantery/report/Aggregator.hpp"

#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pricing/DayPricing.hpp"
#include "report/BucketSums.hpp"
#include "report/TextKeys.hpp"
#include "vantery/base/Saturating.hpp"
#include "vantery/pricing/Pricing.hpp"
#include "vantery/report/Report.hpp"

// One pass over the records. Every key of every axis gets a dense index, and each
// record is priced once and added to one flat accumulator per axis; the report's
// buckets are built from the accumulators at the end. Per key only the request count
// of each model is kept besides the sums: whether a model is priced does not depend on
// the day, so the unpriced count and models of a bucket follow from those counts.

namespace vantery {
namespace {

constexpr std::string_view unknownCwd = "(unknown cwd)";

using detail::AgentEq;
using detail::AgentHash;
using detail::Axis;
using detail::Interner;
using detail::LocalClock;
using detail::PriceBook;
using detail::sameAgent;
using detail::sameText;

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

// Per session: the keys of its last record, with their indices.
struct SessionHint {
    std::string_view model, cwd, source;
    const AgentIdentity* agent = nullptr;
    std::uint32_t modelIx = 0, cwdIx = 0, sourceIx = 0, agentIx = 0;
    bool valid = false;
};
// Per distinct directory: its project and raw-cwd key.
struct CwdInfo {
    std::uint32_t project, rawKey;
};
// Per session: latest activity and the project of its latest record.
struct SessionLink {
    double last = 0;
    std::uint32_t project = 0;
    bool seen = false;
};
// Per agent: session and project of its first record.
struct AgentLink {
    std::uint32_t session, project;
};

// What one pass accumulated, for the emit step.
struct Accumulated {
    const Axis &total, &byDay, &byHour, &byModel, &byProject, &byRawCwd, &bySession, &byAgent,
        &bySource;
    const PriceBook& book;
    const DayIndex& days;
    bool includeHours;
    const std::vector<std::string>& projectNames;
    std::vector<std::set<std::string>>& provenances;
    const std::vector<std::string>& rawKeys;
    const Interner& sessions;
    const std::vector<SessionLink>& sessionLinks;
    const std::vector<const AgentIdentity*>& agents;
    const std::vector<AgentLink>& agentLinks;
    const Interner& sources;
};

// Emit: the report's buckets and links from the accumulators.
void emit(Report& report, const Accumulated& t) {
    if (!t.total.used(0)) return;
    report.total = t.total.bucket(0, t.book.names, t.book.priced);
    for (std::uint32_t i = 0; i < t.days.size(); ++i)
        report.byDay.emplace(LocalDay(t.days.day(i)),
                             t.byDay.bucket(i, t.book.names, t.book.priced));
    if (t.includeHours)
        for (std::uint32_t h = 0; h < 24; ++h)
            if (t.byHour.used(h))
                report.byHour.emplace(static_cast<int>(h),
                                      t.byHour.bucket(h, t.book.names, t.book.priced));
    for (std::uint32_t i = 0; i < t.book.names.size(); ++i)
        report.byModel.emplace(t.book.names[i], t.byModel.bucket(i, t.book.names, t.book.priced));
    for (std::uint32_t i = 0; i < t.projectNames.size(); ++i) {
        report.byProject.emplace(t.projectNames[i],
                                 t.byProject.bucket(i, t.book.names, t.book.priced));
        report.projectProvenance.emplace(t.projectNames[i], std::move(t.provenances[i]));
    }
    for (std::uint32_t i = 0; i < t.rawKeys.size(); ++i)
        report.byRawCwd.emplace(t.rawKeys[i], t.byRawCwd.bucket(i, t.book.names, t.book.priced));
    for (std::uint32_t i = 0; i < t.sessions.size(); ++i) {
        std::string id(t.sessions.key(i));
        report.sessionProject.emplace(id, t.projectNames[t.sessionLinks[i].project]);
        report.bySession.emplace(std::move(id), t.bySession.bucket(i, t.book.names, t.book.priced));
    }
    for (std::uint32_t i = 0; i < t.agents.size(); ++i) {
        const AgentIdentity& a = *t.agents[i];
        report.byAgent.emplace(a, t.byAgent.bucket(i, t.book.names, t.book.priced));
        report.agentSession.emplace(a, std::string(t.sessions.key(t.agentLinks[i].session)));
        report.agentProject.emplace(a, t.projectNames[t.agentLinks[i].project]);
    }
    for (std::uint32_t i = 0; i < t.sources.size(); ++i)
        report.bySource.emplace(std::string(t.sources.key(i)),
                                t.bySource.bucket(i, t.book.names, t.book.priced));
}

} // namespace

// TRANSITIONAL: the pass over materialised records, until it reads rows.
Report Aggregator::aggregateRecords(std::span<const UsageRecord> records,
                                    std::optional<LocalDay> from, std::optional<LocalDay> to,
                                    const ScanDiagnostics& diagnostics, bool includeHours,
                                    const std::function<bool(const UsageRecord&)>& keep) const {
    Report report;
    report.diagnostics = diagnostics;

    LocalClock clock(calendar_);
    DayIndex days;
    PriceBook book;
    Interner cwds, sessions, sources;
    std::unordered_map<const AgentIdentity*, std::uint32_t, AgentHash, AgentEq> agentIndex;
    std::vector<const AgentIdentity*> agents;
    std::vector<SessionHint> hints;

    // Per distinct directory: its project and raw-cwd key, each resolved once; equal
    // labels share a slot (a literal "~/x" and home + "/x" give one raw-cwd key).
    std::vector<CwdInfo> cwdInfo;
    std::vector<std::string> projectNames, rawKeys;
    std::unordered_map<std::string, std::uint32_t> projectIndex, rawKeyIndex;
    std::vector<std::set<std::string>> provenances;

    std::vector<SessionLink> sessionLinks;
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

        // Key: the record's local day, then, when it is in range and kept, its index on
        // every axis. This step and the next stay in the loop's body: moved into an
        // object or behind calls, the pass's state is reloaded from memory on every
        // record, at two thirds of the speed.
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

        // Add: priced once, on the record's own local day, for every bucket it joins.
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

    emit(report, {total,   byDay,    byHour,       byModel, byProject,    byRawCwd,     bySession,
                  byAgent, bySource, book,         days,    includeHours, projectNames, provenances,
                  rawKeys, sessions, sessionLinks, agents,  agentLinks,   sources});
    return report;
}

std::vector<std::map<AgentIdentity, Bucket, AgentIdentityOrder>> Aggregator::agentsPerGroup(
    const RequestTable& table, std::optional<LocalDay> from, std::optional<LocalDay> to,
    std::size_t groups,
    const std::function<std::optional<std::size_t>(const RequestRow&)>& rowGroupOf) const {
    const std::vector<UsageRecord> materialised = table.records();
    std::span<const UsageRecord> records = materialised;
    auto groupOf = [&](const UsageRecord& r) {
        return rowGroupOf(table[static_cast<std::size_t>(&r - materialised.data())]);
    };
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

Report Aggregator::aggregate(const RequestTable& table, std::optional<LocalDay> from,
                             std::optional<LocalDay> to, const ScanDiagnostics& diagnostics,
                             bool includeHours) const {
    return aggregate(table, from, to, diagnostics, includeHours, {});
}

Report Aggregator::aggregate(const RequestTable& table, std::optional<LocalDay> from,
                             std::optional<LocalDay> to, const ScanDiagnostics& diagnostics,
                             bool includeHours, const RowFilter& keep) const {
    const std::vector<UsageRecord> materialised = table.records();
    std::function<bool(const UsageRecord&)> keepRecord;
    if (keep)
        keepRecord = [&](const UsageRecord& r) {
            return keep(table[static_cast<std::size_t>(&r - materialised.data())]);
        };
    return aggregateRecords(materialised, from, to, diagnostics, includeHours, keepRecord);
}

Report Aggregator::aggregate(std::span<const UsageRecord> records, std::optional<LocalDay> from,
                             std::optional<LocalDay> to, const ScanDiagnostics& diagnostics,
                             bool includeHours) const {
    return aggregate(RequestTable::fromRecords(records), from, to, diagnostics, includeHours);
}

Report Aggregator::report(const RequestTable& table, const DateRange& range,
                          const ScanDiagnostics& diagnostics,
                          std::optional<bool> includeHours) const {
    return aggregate(table, range.from, range.through, diagnostics,
                     includeHours.value_or(range.from == range.through));
}

Report Aggregator::report(const RequestTable& table, const RangeSelection& selection, double now,
                          const ScanDiagnostics& diagnostics) const {
    auto range = selection.resolved(now, calendar_);
    return aggregate(table, range.from, range.through, diagnostics, range.from == range.through);
}

Report Aggregator::report(std::span<const UsageRecord> records, const DateRange& range,
                          const ScanDiagnostics& diagnostics,
                          std::optional<bool> includeHours) const {
    return report(RequestTable::fromRecords(records), range, diagnostics, includeHours);
}

} // namespace vantery
