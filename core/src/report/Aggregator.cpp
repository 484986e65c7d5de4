#include "vantery/report/Aggregator.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/Parallel.hpp"
#include "report/AgentBucketsBuilder.hpp"
#include "report/AggregationLanes.hpp"
#include "report/SortedFill.hpp"
#include "report/WindowedPass.hpp"
#include "vantery/report/Report.hpp"

// One pass over the table's rows in its order (report/WindowedPass.hpp): each row's day
// and cost are worked out once, then lanes (report/AggregationLanes.hpp) that each own
// some axes add the taken rows into flat accumulators, one per axis, in parallel with
// each other; the report's buckets are built from the accumulators at the end. Per key
// only the request count of each model is kept besides the sums: whether a model is
// priced does not depend on the day, so the unpriced count and models of a bucket
// follow from those counts.

namespace vantery {
namespace {

using detail::AgentGroupLane;
using detail::AgentLane;
using detail::CalendarLane;
using detail::LaneContext;
using detail::ModelSourceLane;
using detail::PlaceLane;
using detail::PreparedRow;
using detail::SessionLane;

// Lanes of a report besides its agents' ones.
constexpr std::size_t fixedLanes = 4;

// Agents' sums are the most scattered in memory: they get the threads of a pass over
// the table that the other lanes leave, split by agent id. Figures do not depend on
// the split.
std::uint32_t agentParts(const RequestTable& table, std::size_t fixed) {
    const std::size_t threads = detail::passWorkers(table.size());
    return static_cast<std::uint32_t>(
        std::clamp<std::size_t>(threads - std::min(threads, fixed), 1, 8));
}

// The slots 0..n-1 ordered by `less`, so that maps are filled at their end.
template <class Less> std::vector<std::uint32_t> sortedSlots(std::uint32_t n, Less less) {
    std::vector<std::uint32_t> order(n);
    for (std::uint32_t i = 0; i < n; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), less);
    return order;
}

// An agent's texts beside where its sums are (lane and slot), so that sorting reads no
// dictionary.
struct AgentKey {
    std::uint32_t group;
    AgentIdentity::Kind kind;
    std::string_view rawId, name;
    std::uint32_t lane, slot;
};
AgentKey agentKey(std::uint32_t group, const AgentIdentity& a, std::uint32_t lane,
                  std::uint32_t slot) {
    return {group, a.kind(), a.rawIdText(), a.name(), lane, slot};
}
// By group, then AgentIdentityOrder's order: kind, then raw id, then name. Were the two
// to differ, maps filled in this order would still be right, each insertion searching.
bool agentKeyLess(const AgentKey& a, const AgentKey& b) {
    if (a.group != b.group) return a.group < b.group;
    if (a.kind != b.kind) return a.kind < b.kind;
    if (int c = a.rawId.compare(b.rawId); c != 0) return c < 0;
    return a.name < b.name;
}

// What one pass accumulated, for the emit step.
struct Accumulated {
    const RequestDictionary& dictionary;
    const CalendarLane& calendar;
    const ModelSourceLane& modelsAndSources;
    PlaceLane& places;
    const SessionLane& sessions;
    const std::vector<AgentLane>& agents;
};

// The agents' columns: the keys of every lane sorted on their texts, then the sums and
// model counts filled in stretches on several threads, and the session and project of
// each agent through one index of texts each.
void emitAgents(Report& report, const Accumulated& t) {
    std::vector<AgentKey> keys;
    std::vector<std::size_t> ends;
    for (std::uint32_t lane = 0; lane < t.agents.size(); ++lane) {
        const AgentLane& a = t.agents[lane];
        for (std::uint32_t i = 0; i < a.size(); ++i)
            keys.push_back(agentKey(0, t.dictionary.agent(a.agentId(i)), lane, i));
        ends.push_back(keys.size());
    }
    detail::sortRuns(keys, std::move(ends), agentKeyLess);

    // Every lane numbers the models it met its own way: one list of names for the
    // report, and each lane's models in name order.
    std::vector<std::string> names;
    for (const AgentLane& a : t.agents)
        names.insert(names.end(), a.book.names.begin(), a.book.names.end());
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    struct LaneModel {
        std::uint32_t model, name;
    };
    std::vector<std::vector<LaneModel>> laneModels(t.agents.size());
    for (std::size_t lane = 0; lane < t.agents.size(); ++lane) {
        const auto& own = t.agents[lane].book.names;
        for (std::uint32_t m = 0; m < own.size(); ++m)
            laneModels[lane].push_back(
                {m, static_cast<std::uint32_t>(
                        std::lower_bound(names.begin(), names.end(), own[m]) - names.begin())});
        std::sort(laneModels[lane].begin(), laneModels[lane].end(),
                  [](const LaneModel& a, const LaneModel& b) { return a.name < b.name; });
    }

    const detail::Stretches stretches(keys.size());
    detail::AgentBucketsBuilder build(report.byAgent, stretches, keys.size(), std::move(names));
    // A few agents are made faster than threads are started.
    const std::size_t workers = keys.size() < detail::Stretches::minEntries ? 1 : SIZE_MAX;
    parallel::forEach(
        stretches.count(),
        [&](std::size_t s) {
            for (std::size_t k = stretches.begin(s); k < stretches.end(s); ++k) {
                const AgentLane& a = t.agents[keys[k].lane];
                const std::uint32_t slot = keys[k].slot;
                build.put(s, k, t.dictionary.agent(a.agentId(slot)), a.byAgent.sums(slot),
                          [&](const auto& emit) {
                              for (const LaneModel& m : laneModels[keys[k].lane])
                                  if (const std::int64_t n = a.byAgent.count(slot, m.model))
                                      emit(m.name, n, a.book.priced[m.model] != 0);
                          });
            }
        },
        workers);
    build.finish();

    // Texts by the dictionary's session ids and the pass's project slots.
    const auto& agents = detail::AgentBucketsBuilder::agents(report.byAgent);
    std::vector<std::uint32_t> sessionOf(keys.size()), projectOf(keys.size());
    std::vector<std::string> sessions, projects;
    std::unordered_map<std::uint32_t, std::uint32_t> sessionText, projectText;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const AgentLane::Link& link = t.agents[keys[k].lane].links[keys[k].slot];
        auto [s, newSession] =
            sessionText.try_emplace(link.session, static_cast<std::uint32_t>(sessions.size()));
        if (newSession) sessions.emplace_back(t.dictionary.session(link.session));
        sessionOf[k] = s->second;
        const std::uint32_t project = t.places.places.projectSlotOf(link.cwd);
        auto [p, newProject] =
            projectText.try_emplace(project, static_cast<std::uint32_t>(projects.size()));
        if (newProject) projects.push_back(t.places.places.projectNames[project]);
        projectOf[k] = p->second;
    }
    report.agentSession =
        detail::AgentBucketsBuilder::texts(agents, std::move(sessionOf), std::move(sessions));
    report.agentProject =
        detail::AgentBucketsBuilder::texts(agents, std::move(projectOf), std::move(projects));
}

// Emit: the report's buckets and links from the accumulators. Every map is filled in
// its own order, each entry at its end: inserting tens of thousands of agents in the
// order met costs a search each.
void emit(Report& report, const Accumulated& t) {
    const CalendarLane& cal = t.calendar;
    if (!cal.total.used(0)) return;
    report.total = cal.total.bucket(0, cal.book.names, cal.book.priced);

    for (std::uint32_t i : sortedSlots(
             cal.days.size(), [&](auto a, auto b) { return cal.days.day(a) < cal.days.day(b); }))
        report.byDay.emplace_hint(report.byDay.end(), LocalDay(cal.days.day(i)),
                                  cal.byDay.bucket(i, cal.book.names, cal.book.priced));
    if (cal.includeHours)
        for (std::uint32_t h = 0; h < 24; ++h)
            if (cal.byHour.used(h))
                report.byHour.emplace_hint(report.byHour.end(), static_cast<int>(h),
                                           cal.byHour.bucket(h, cal.book.names, cal.book.priced));

    const ModelSourceLane& ms = t.modelsAndSources;
    const auto& names = ms.book.names;
    for (std::uint32_t i :
         sortedSlots(ms.book.size(), [&](auto a, auto b) { return names[a] < names[b]; }))
        report.byModel.emplace_hint(report.byModel.end(), names[i],
                                    ms.byModel.bucket(i, names, ms.book.priced));
    auto home = [&](std::uint32_t slot) {
        return t.dictionary.home(static_cast<std::uint8_t>(ms.homes.id(slot)));
    };
    for (std::uint32_t i :
         sortedSlots(ms.homes.size(), [&](auto a, auto b) { return home(a) < home(b); }))
        report.bySource.emplace_hint(report.bySource.end(), std::string(home(i)),
                                     ms.bySource.bucket(i, names, ms.book.priced));

    detail::Places& places = t.places.places;
    const auto& pl = t.places;
    const auto& projects = places.projectNames;
    for (std::uint32_t i : sortedSlots(static_cast<std::uint32_t>(projects.size()),
                                       [&](auto a, auto b) { return projects[a] < projects[b]; })) {
        report.byProject.emplace_hint(report.byProject.end(), projects[i],
                                      pl.byProject.bucket(i, pl.book.names, pl.book.priced));
        report.projectProvenance.emplace_hint(report.projectProvenance.end(), projects[i],
                                              std::move(places.provenances[i]));
    }
    const auto& rawKeys = places.rawKeys;
    for (std::uint32_t i : sortedSlots(static_cast<std::uint32_t>(rawKeys.size()),
                                       [&](auto a, auto b) { return rawKeys[a] < rawKeys[b]; }))
        report.byRawCwd.emplace_hint(report.byRawCwd.end(), rawKeys[i],
                                     pl.byRawCwd.bucket(i, pl.book.names, pl.book.priced));

    const SessionLane& ss = t.sessions;
    auto session = [&](std::uint32_t slot) { return t.dictionary.session(ss.sessions.id(slot)); };
    for (std::uint32_t i :
         sortedSlots(ss.sessions.size(), [&](auto a, auto b) { return session(a) < session(b); })) {
        const std::string id(session(i));
        report.sessionProject.emplace_hint(report.sessionProject.end(), id,
                                           places.projectOf(ss.links[i].cwd));
        report.bySession.emplace_hint(report.bySession.end(), id,
                                      ss.bySession.bucket(i, ss.book.names, ss.book.priced));
    }

    emitAgents(report, t);
}

} // namespace

Report Aggregator::aggregate(const RequestTable& table, std::optional<LocalDay> from,
                             std::optional<LocalDay> to, const ScanDiagnostics& diagnostics,
                             bool includeHours, const RowFilter& keep) const {
    Report report;
    report.diagnostics = diagnostics;

    CalendarLane calendar(table, includeHours);
    ModelSourceLane modelsAndSources(table);
    PlaceLane places(table, resolver_);
    SessionLane sessions(table);
    const std::uint32_t parts = agentParts(table, fixedLanes);
    std::vector<AgentLane> agents;
    agents.reserve(parts);
    for (std::uint32_t p = 0; p < parts; ++p)
        agents.emplace_back(table, p, parts);

    // A row is taken when its local day is in range and `keep` accepts it; its mark is
    // its hour.
    auto mark = [&](const RequestRow& r, std::int32_t day, int hour) {
        if ((from && day < from->daysSinceEpoch()) || (to && day > to->daysSinceEpoch()) ||
            (keep && !keep(r)))
            return PreparedRow::leftOut;
        return static_cast<std::uint32_t>(hour);
    };
    detail::windowedPass(table, calendar_, fixedLanes + parts, mark,
                         [&](std::size_t lane, const detail::TakenRuns& runs) {
                             const LaneContext window{table.dictionary(), runs};
                             switch (lane) {
                             case 0:
                                 return calendar.walk(window);
                             case 1:
                                 return modelsAndSources.walk(window);
                             case 2:
                                 return places.walk(window);
                             case 3:
                                 return sessions.walk(window);
                             default:
                                 return agents[lane - fixedLanes].walk(window);
                             }
                         });

    emit(report, {table.dictionary(), calendar, modelsAndSources, places, sessions, agents});
    return report;
}

std::vector<AgentBuckets> Aggregator::agentsPerGroup(
    const RequestTable& table, std::optional<LocalDay> from, std::optional<LocalDay> to,
    std::size_t groups,
    const std::function<std::optional<std::size_t>(const RequestRow&)>& groupOf) const {
    std::vector<AgentBuckets> out(groups);
    if (groups == 0) return out;

    const std::uint32_t parts = agentParts(table, 0);
    std::vector<AgentGroupLane> lanes;
    lanes.reserve(parts);
    for (std::uint32_t p = 0; p < parts; ++p)
        lanes.emplace_back(table, p, parts);
    // A row's mark is its group.
    auto mark = [&](const RequestRow& r, std::int32_t day, int) {
        if ((from && day < from->daysSinceEpoch()) || (to && day > to->daysSinceEpoch()))
            return PreparedRow::leftOut;
        const auto g = groupOf(r);
        if (!g || *g >= groups || *g >= PreparedRow::leftOut) return PreparedRow::leftOut;
        return static_cast<std::uint32_t>(*g);
    };
    detail::windowedPass(table, calendar_, parts, mark,
                         [&](std::size_t lane, const detail::TakenRuns& runs) {
                             lanes[lane].walk({table.dictionary(), runs});
                         });

    const RequestDictionary& dictionary = table.dictionary();
    std::vector<AgentKey> order;
    std::vector<std::size_t> ends;
    for (std::uint32_t lane = 0; lane < parts; ++lane) {
        const auto& keys = lanes[lane].keys;
        for (std::uint32_t k = 0; k < keys.size(); ++k)
            order.push_back(agentKey(keys[k].group, dictionary.agent(keys[k].agent), lane, k));
        ends.push_back(order.size());
    }
    detail::sortRuns(order, std::move(ends), agentKeyLess);
    for (const AgentKey& key : order) {
        const AgentGroupLane& lane = lanes[key.lane];
        out[key.group].set(dictionary.agent(lane.keys[key.slot].agent),
                           lane.byKey.bucket(key.slot, lane.book.names, lane.book.priced));
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
