#include "vantery/report/Aggregator.hpp"

#include <algorithm>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "report/BucketSums.hpp"
#include "report/DayPricing.hpp"
#include "vantery/base/Saturating.hpp"
#include "vantery/report/Report.hpp"

// One pass over the table's rows in its order. Every key of every axis gets a dense
// index, found from the row's dictionary id through an array made for this call, and
// each row is priced once and added to one flat accumulator per axis; the report's
// buckets are built from the accumulators at the end. Per key only the request count
// of each model is kept besides the sums: whether a model is priced does not depend on
// the day, so the unpriced count and models of a bucket follow from those counts.

namespace vantery {
namespace {

constexpr std::string_view unknownCwd = "(unknown cwd)";
constexpr std::uint32_t none = 0xFFFFFFFFu;
constexpr std::size_t prefetchAhead = 16;

using detail::Axis;
using detail::LocalClock;
using detail::PriceBook;

// Dense indices of days in the order first met: through an array by day, days the
// array refuses through a map.
class DayIndex {
  public:
    [[gnu::always_inline]] std::uint32_t index(std::int32_t day) {
        const Entry* e = byDay_.find(day);
        return e && e->index != none ? e->index : add(day);
    }
    std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(days_.size()); }
    std::int32_t day(std::uint32_t i) const { return days_[i]; }

  private:
    struct Entry {
        std::uint32_t index = none;
    };
    [[gnu::noinline]] std::uint32_t add(std::int32_t day) {
        const auto next = static_cast<std::uint32_t>(days_.size());
        std::uint32_t* index = nullptr;
        bool added = false;
        if (Entry* e = byDay_.grow(day)) {
            index = &e->index;
            added = *index == none;
            if (added) *index = next;
        } else {
            auto [it, inserted] = far_.try_emplace(day, next);
            index = &it->second;
            added = inserted;
        }
        if (added) days_.push_back(day);
        return *index;
    }
    detail::DayArray<Entry> byDay_;
    std::unordered_map<std::int32_t, std::uint32_t> far_;
    std::vector<std::int32_t> days_;
};

// Dense slots of the ids of one kind met in a pass, in the order first met.
class Slots {
  public:
    explicit Slots(std::size_t ids) : slotOf_(ids, none) {}
    // The id's slot; `added` tells whether it is new.
    std::uint32_t slot(std::uint32_t id, bool& added) {
        std::uint32_t& s = slotOf_[id];
        added = s == none;
        if (added) {
            s = static_cast<std::uint32_t>(ids_.size());
            ids_.push_back(id);
        }
        return s;
    }
    std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(ids_.size()); }
    std::uint32_t id(std::uint32_t slot) const { return ids_[slot]; }
    // The id's slot, none while it has not been met.
    std::uint32_t find(std::uint32_t id) const { return slotOf_[id]; }

  private:
    std::vector<std::uint32_t> slotOf_;
    std::vector<std::uint32_t> ids_;
};

// The slots 0..n-1 ordered by `less`, so that maps are filled at their end.
template <class Less> std::vector<std::uint32_t> sortedSlots(std::uint32_t n, Less less) {
    std::vector<std::uint32_t> order(n);
    for (std::uint32_t i = 0; i < n; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), less);
    return order;
}

// An agent's texts beside the slot it stands for, so that sorting reads no dictionary.
struct AgentKey {
    std::size_t group;
    AgentIdentity::Kind kind;
    std::string_view rawId, name;
    std::uint32_t slot;
};
AgentKey agentKey(std::size_t group, const AgentIdentity& a, std::uint32_t slot) {
    return {group, a.kind(), a.rawIdText(), a.name(), slot};
}
// By group, then AgentIdentityOrder's order: kind, then raw id, then name. Were the two
// to differ, maps filled in this order would still be right, each insertion searching.
void sortAgentKeys(std::vector<AgentKey>& keys) {
    std::sort(keys.begin(), keys.end(), [](const AgentKey& a, const AgentKey& b) {
        if (a.group != b.group) return a.group < b.group;
        if (a.kind != b.kind) return a.kind < b.kind;
        if (int c = a.rawId.compare(b.rawId); c != 0) return c < 0;
        return a.name < b.name;
    });
}

// Per distinct directory id: its project and raw-cwd key.
struct CwdInfo {
    std::uint32_t project = none, rawKey = none;
};
// Per session: latest activity and the project of its latest row.
struct SessionLink {
    double last = 0;
    std::uint32_t project = 0;
    bool seen = false;
};
// Per agent: session and project of its first row.
struct AgentLink {
    std::uint32_t session, project;
};

// The distinct projects and raw-cwd keys of a pass: each directory is resolved once,
// and equal labels share a slot (a literal "~/x" and home + "/x" give one raw-cwd key).
class Places {
  public:
    Places(const ProjectResolver& resolver, std::size_t cwds) : resolver_(resolver), info_(cwds) {}

    // The place of a directory id, resolved on its first meeting; `added` tells whether
    // a new project or raw-cwd key appeared.
    const CwdInfo& of(std::uint32_t id, std::string_view rawCwd, bool& added) {
        CwdInfo& info = info_[id];
        added = false;
        if (info.project != none) return info;
        auto resolved = resolver_.resolve(rawCwd, "");
        auto [pit, newProject] = projectIndex_.try_emplace(
            resolved.canonical, static_cast<std::uint32_t>(projectNames.size()));
        if (newProject) {
            projectNames.push_back(std::move(resolved.canonical));
            provenances.emplace_back();
        }
        provenances[pit->second].insert(std::move(resolved.provenanceRaw));
        std::string raw = rawCwd.empty() ? std::string(unknownCwd) : resolver_.tildify(rawCwd);
        auto [rit, newKey] =
            rawKeyIndex_.try_emplace(std::move(raw), static_cast<std::uint32_t>(rawKeys.size()));
        if (newKey) rawKeys.push_back(rit->first);
        info = {pit->second, rit->second};
        added = newProject || newKey;
        return info;
    }

    std::vector<std::string> projectNames, rawKeys;
    std::vector<std::set<std::string>> provenances;

  private:
    const ProjectResolver& resolver_;
    std::vector<CwdInfo> info_;
    std::unordered_map<std::string, std::uint32_t> projectIndex_, rawKeyIndex_;
};

// What one pass accumulated, for the emit step.
struct Accumulated {
    const RequestDictionary& dictionary;
    const Axis &total, &byDay, &byHour, &byModel, &byProject, &byRawCwd, &bySession, &byAgent,
        &bySource;
    const PriceBook& book;
    const DayIndex& days;
    bool includeHours;
    Places& places;
    const Slots& sessions;
    const std::vector<SessionLink>& sessionLinks;
    const Slots& agents;
    const std::vector<AgentLink>& agentLinks;
    const Slots& homes;
};

// Emit: the report's buckets and links from the accumulators. Every map is filled in
// its own order, each entry at its end: inserting tens of thousands of agents in the
// order met costs a search each.
void emit(Report& report, const Accumulated& t) {
    if (!t.total.used(0)) return;
    const auto& names = t.book.names;
    const auto& priced = t.book.priced;
    report.total = t.total.bucket(0, names, priced);

    for (std::uint32_t i :
         sortedSlots(t.days.size(), [&](auto a, auto b) { return t.days.day(a) < t.days.day(b); }))
        report.byDay.emplace_hint(report.byDay.end(), LocalDay(t.days.day(i)),
                                  t.byDay.bucket(i, names, priced));
    if (t.includeHours)
        for (std::uint32_t h = 0; h < 24; ++h)
            if (t.byHour.used(h))
                report.byHour.emplace_hint(report.byHour.end(), static_cast<int>(h),
                                           t.byHour.bucket(h, names, priced));
    for (std::uint32_t i :
         sortedSlots(t.book.size(), [&](auto a, auto b) { return names[a] < names[b]; }))
        report.byModel.emplace_hint(report.byModel.end(), names[i],
                                    t.byModel.bucket(i, names, priced));

    const auto& projects = t.places.projectNames;
    for (std::uint32_t i : sortedSlots(static_cast<std::uint32_t>(projects.size()),
                                       [&](auto a, auto b) { return projects[a] < projects[b]; })) {
        report.byProject.emplace_hint(report.byProject.end(), projects[i],
                                      t.byProject.bucket(i, names, priced));
        report.projectProvenance.emplace_hint(report.projectProvenance.end(), projects[i],
                                              std::move(t.places.provenances[i]));
    }
    const auto& rawKeys = t.places.rawKeys;
    for (std::uint32_t i : sortedSlots(static_cast<std::uint32_t>(rawKeys.size()),
                                       [&](auto a, auto b) { return rawKeys[a] < rawKeys[b]; }))
        report.byRawCwd.emplace_hint(report.byRawCwd.end(), rawKeys[i],
                                     t.byRawCwd.bucket(i, names, priced));

    auto session = [&](std::uint32_t slot) { return t.dictionary.session(t.sessions.id(slot)); };
    for (std::uint32_t i :
         sortedSlots(t.sessions.size(), [&](auto a, auto b) { return session(a) < session(b); })) {
        const std::string id(session(i));
        report.sessionProject.emplace_hint(report.sessionProject.end(), id,
                                           projects[t.sessionLinks[i].project]);
        report.bySession.emplace_hint(report.bySession.end(), id,
                                      t.bySession.bucket(i, names, priced));
    }

    // Agents are many: sorted on their texts held beside the slots.
    std::vector<AgentKey> agentKeys;
    agentKeys.reserve(t.agents.size());
    for (std::uint32_t i = 0; i < t.agents.size(); ++i)
        agentKeys.push_back(agentKey(0, t.dictionary.agent(t.agents.id(i)), i));
    sortAgentKeys(agentKeys);
    // Each agent is read from the dictionary once, in sorted order; the maps are then
    // filled one after the other from these copies, the last one taking them.
    std::vector<AgentIdentity> sortedAgents;
    sortedAgents.reserve(agentKeys.size());
    for (const AgentKey& key : agentKeys)
        sortedAgents.push_back(t.dictionary.agent(t.agents.id(key.slot)));
    for (std::size_t k = 0; k < agentKeys.size(); ++k)
        report.byAgent.emplace_hint(report.byAgent.end(), sortedAgents[k],
                                    t.byAgent.bucket(agentKeys[k].slot, names, priced));
    for (std::size_t k = 0; k < agentKeys.size(); ++k)
        report.agentSession.emplace_hint(report.agentSession.end(), sortedAgents[k],
                                         session(t.agentLinks[agentKeys[k].slot].session));
    for (std::size_t k = 0; k < agentKeys.size(); ++k)
        report.agentProject.emplace_hint(report.agentProject.end(), std::move(sortedAgents[k]),
                                         projects[t.agentLinks[agentKeys[k].slot].project]);

    auto home = [&](std::uint32_t slot) {
        return t.dictionary.home(static_cast<std::uint8_t>(t.homes.id(slot)));
    };
    for (std::uint32_t i :
         sortedSlots(t.homes.size(), [&](auto a, auto b) { return home(a) < home(b); }))
        report.bySource.emplace_hint(report.bySource.end(), std::string(home(i)),
                                     t.bySource.bucket(i, names, priced));
}

} // namespace

Report Aggregator::aggregate(const RequestTable& table, std::optional<LocalDay> from,
                             std::optional<LocalDay> to, const ScanDiagnostics& diagnostics,
                             bool includeHours, const RowFilter& keep) const {
    Report report;
    report.diagnostics = diagnostics;

    const RequestDictionary& dictionary = table.dictionary();
    const RequestDictionary::Sizes& sizes = table.sizes();
    LocalClock clock(calendar_);
    DayIndex days;
    PriceBook book;
    book.use(dictionary, sizes.models);
    Places places(resolver_, sizes.cwds);
    Slots sessions(sizes.sessions), agents(sizes.agents), homes(sizes.homes);
    std::vector<SessionLink> sessionLinks;
    std::vector<AgentLink> agentLinks;

    Axis total, byDay, byHour, byModel, byProject, byRawCwd, bySession, byAgent, bySource;
    Axis* const axes[] = {&total,    &byDay,     &byHour,  &byModel, &byProject,
                          &byRawCwd, &bySession, &byAgent, &bySource};
    total.ensureKeys(1);
    byHour.ensureKeys(24);

    const std::size_t n = table.size();
    for (std::size_t i = 0; i < n; ++i) {
        const RequestRow& r = table[i];
        // Sub-agents come and go, so their rows are spread over thousands of agents' sums:
        // asked for some rows ahead, those are in cache when the row's turn comes.
        if (i + prefetchAhead < n)
            if (const std::uint32_t a = agents.find(table[i + prefetchAhead].agent); a != none)
                byAgent.prefetch(a);

        // Key: the row's local day, then, when it is in range and kept, its index on
        // every axis. This step and the next stay in the loop's body: moved into an
        // object or behind calls, the pass's state is reloaded from memory on every
        // row, at two thirds of the speed.
        std::int32_t day = 0;
        int hour = 0;
        clock.dayAndHour(r.timestamp, day, hour);
        if (from && day < from->daysSinceEpoch()) continue;
        if (to && day > to->daysSinceEpoch()) continue;
        if (keep && !keep(r)) continue;

        bool added = false;
        const std::uint32_t dayIx = days.index(day);
        byDay.ensureKeys(days.size());

        const std::uint32_t session = sessions.slot(r.session, added);
        if (added) {
            sessionLinks.emplace_back();
            bySession.ensureKeys(sessions.size());
        }

        const std::uint32_t model = book.model(r.model, day, added);
        if (added) {
            for (Axis* a : axes)
                a->ensureModels(book.size());
            byModel.ensureKeys(book.size());
        }

        const CwdInfo& place = places.of(r.cwd, dictionary.cwd(r.cwd), added);
        if (added) {
            byProject.ensureKeys(places.projectNames.size());
            byRawCwd.ensureKeys(places.rawKeys.size());
        }

        const std::uint32_t source = homes.slot(r.home, added);
        if (added) bySource.ensureKeys(homes.size());

        const std::uint32_t agent = agents.slot(r.agent, added);
        if (added) {
            agentLinks.push_back({session, place.project}); // first wins
            byAgent.ensureKeys(agents.size());
        }

        // Add: priced once, on the row's own local day, for every bucket it joins.
        const RequestCounts c = dictionary.counts(r);
        const double t = r.timestamp;
        const bool assumed = r.cacheWriteBreakdownAssumed();
        const double cost = book.cost(model, day, c);

        total.add(0, model, c, t, assumed, cost);
        byDay.add(dayIx, model, c, t, assumed, cost);
        if (includeHours) byHour.add(static_cast<std::uint32_t>(hour), model, c, t, assumed, cost);
        byModel.add(model, model, c, t, assumed, cost);
        byProject.add(place.project, model, c, t, assumed, cost);
        byRawCwd.add(place.rawKey, model, c, t, assumed, cost);
        bySession.add(session, model, c, t, assumed, cost);
        byAgent.add(agent, model, c, t, assumed, cost);
        bySource.add(source, model, c, t, assumed, cost);

        // Latest wins; on equal times the later row in table order.
        SessionLink& link = sessionLinks[session];
        if (!link.seen || t > link.last) link.last = t;
        if (!link.seen || !(link.last > t)) link.project = place.project;
        link.seen = true;
    }

    emit(report, {dictionary, total, byDay, byHour, byModel, byProject, byRawCwd, bySession,
                  byAgent, bySource, book, days, includeHours, places, sessions, sessionLinks,
                  agents, agentLinks, homes});
    return report;
}

std::vector<std::map<AgentIdentity, Bucket, AgentIdentityOrder>> Aggregator::agentsPerGroup(
    const RequestTable& table, std::optional<LocalDay> from, std::optional<LocalDay> to,
    std::size_t groups,
    const std::function<std::optional<std::size_t>(const RequestRow&)>& groupOf) const {
    std::vector<std::map<AgentIdentity, Bucket, AgentIdentityOrder>> out(groups);
    if (groups == 0) return out;

    const RequestDictionary& dictionary = table.dictionary();
    LocalClock clock(calendar_);
    PriceBook book;
    book.use(dictionary, table.sizes().models);
    // One dense key per (group, agent id); per agent id the key of the last group it
    // was met in answers most rows without the table.
    struct Key {
        std::size_t group;
        std::uint32_t agent;
    };
    std::vector<Key> keys;
    std::vector<std::uint32_t> lastKeyOfAgent(table.sizes().agents, none);
    std::unordered_map<std::uint64_t, std::uint32_t> index;
    Axis byKey;

    for (const RequestRow& r : table) {
        std::int32_t day = 0;
        int hour = 0;
        clock.dayAndHour(r.timestamp, day, hour);
        if (from && day < from->daysSinceEpoch()) continue;
        if (to && day > to->daysSinceEpoch()) continue;
        const auto g = groupOf(r);
        if (!g || *g >= groups) continue;

        bool added = false;
        const std::uint32_t model = book.model(r.model, day, added);
        if (added) byKey.ensureModels(book.size());

        std::uint32_t& last = lastKeyOfAgent[r.agent];
        if (last == none || keys[last].group != *g) {
            const std::uint64_t packed = (static_cast<std::uint64_t>(*g) << 32) | r.agent;
            auto [it, inserted] =
                index.try_emplace(packed, static_cast<std::uint32_t>(keys.size()));
            if (inserted) {
                keys.push_back({*g, r.agent});
                byKey.ensureKeys(keys.size());
            }
            last = it->second;
        }
        const RequestCounts c = dictionary.counts(r);
        byKey.add(last, model, c, r.timestamp, r.cacheWriteBreakdownAssumed(),
                  book.cost(model, day, c));
    }

    std::vector<AgentKey> order;
    order.reserve(keys.size());
    for (std::uint32_t k = 0; k < keys.size(); ++k)
        order.push_back(agentKey(keys[k].group, dictionary.agent(keys[k].agent), k));
    sortAgentKeys(order);
    for (const AgentKey& key : order) {
        auto& group = out[key.group];
        group.emplace_hint(group.end(), dictionary.agent(keys[key.slot].agent),
                           byKey.bucket(key.slot, book.names, book.priced));
    }
    return out;
}

Report Aggregator::aggregate(const RequestTable& table, std::optional<LocalDay> from,
                             std::optional<LocalDay> to, const ScanDiagnostics& diagnostics,
                             bool includeHours) const {
    return aggregate(table, from, to, diagnostics, includeHours, {});
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
