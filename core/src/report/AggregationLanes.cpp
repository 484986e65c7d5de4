#include "report/AggregationLanes.hpp"

#include <utility>

namespace vantery::detail {
namespace {

constexpr std::string_view unknownCwd = "(unknown cwd)";
constexpr std::size_t prefetchAhead = 16;

// Calls add(row, prepared, counts, model) for every taken row of the window that `own`
// accepts, in the table's order, with the row's model numbered in the lane's book;
// widen(models) comes first when that model is new to the book.
template <class Own, class Widen, class Add>
[[gnu::always_inline]] inline void eachTaken(const LaneContext& w, PriceBook& book, const Own& own,
                                             const Widen& widen, const Add& add) {
    for (const auto& run : w.runs)
        for (const PreparedRow& p : run) {
            const RequestRow& r = *p.row;
            if (!own(r)) continue;
            bool added = false;
            const std::uint32_t model = book.model(r.model, p.day, added);
            if (added) widen(book.size());
            add(r, p, w.dictionary.counts(r), model);
        }
}

constexpr auto everyRow = [](const RequestRow&) { return true; };

PriceBook bookFor(const RequestTable& table) {
    PriceBook book;
    book.use(table.dictionary(), table.sizes().models);
    return book;
}

} // namespace

std::uint32_t DayIndex::add(std::int32_t day) {
    const auto next = static_cast<std::uint32_t>(days_.size());
    std::uint32_t* index = nullptr;
    bool added = false;
    if (Entry* e = byDay_.grow(day)) {
        index = &e->index;
        added = *index == noSlot;
        if (added) *index = next;
    } else {
        auto [it, inserted] = far_.try_emplace(day, next);
        index = &it->second;
        added = inserted;
    }
    if (added) days_.push_back(day);
    return *index;
}

const Places::Info& Places::resolve(std::uint32_t id, std::string_view rawCwd, bool& added) {
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
    info_[id] = {pit->second, rit->second};
    added = newProject || newKey;
    return info_[id];
}

CalendarLane::CalendarLane(const RequestTable& table, bool hours)
    : includeHours(hours), book(bookFor(table)) {
    total.ensureKeys(1);
    byHour.ensureKeys(24);
}

void CalendarLane::walk(const LaneContext& w) {
    eachTaken(
        w, book, everyRow,
        [&](std::size_t models) {
            total.ensureModels(models);
            byDay.ensureModels(models);
            byHour.ensureModels(models);
        },
        [&](const RequestRow& r, const PreparedRow& p, const RequestCounts& c,
            std::uint32_t model) {
            const double t = r.timestamp;
            const bool assumed = r.cacheWriteBreakdownAssumed();
            total.add(0, model, c, t, assumed, p.cost);
            const std::uint32_t day = days.index(p.day);
            byDay.ensureKeys(days.size());
            byDay.add(day, model, c, t, assumed, p.cost);
            if (includeHours) byHour.add(p.mark, model, c, t, assumed, p.cost);
        });
}

ModelSourceLane::ModelSourceLane(const RequestTable& table)
    : book(bookFor(table)), homes(table.sizes().homes) {}

void ModelSourceLane::walk(const LaneContext& w) {
    eachTaken(
        w, book, everyRow,
        [&](std::size_t models) {
            byModel.ensureModels(models);
            byModel.ensureKeys(models);
            bySource.ensureModels(models);
        },
        [&](const RequestRow& r, const PreparedRow& p, const RequestCounts& c,
            std::uint32_t model) {
            const double t = r.timestamp;
            const bool assumed = r.cacheWriteBreakdownAssumed();
            byModel.add(model, model, c, t, assumed, p.cost);
            bool added = false;
            const std::uint32_t source = homes.slot(r.home, added);
            if (added) bySource.ensureKeys(homes.size());
            bySource.add(source, model, c, t, assumed, p.cost);
        });
}

PlaceLane::PlaceLane(const RequestTable& table, const ProjectResolver& resolver)
    : book(bookFor(table)), places(resolver, table.sizes().cwds) {}

void PlaceLane::walk(const LaneContext& w) {
    const RequestDictionary& dictionary = w.dictionary;
    eachTaken(
        w, book, everyRow,
        [&](std::size_t models) {
            byProject.ensureModels(models);
            byRawCwd.ensureModels(models);
        },
        [&](const RequestRow& r, const PreparedRow& p, const RequestCounts& c,
            std::uint32_t model) {
            bool added = false;
            const Places::Info& place = places.of(r.cwd, dictionary.cwd(r.cwd), added);
            if (added) {
                byProject.ensureKeys(places.projectNames.size());
                byRawCwd.ensureKeys(places.rawKeys.size());
            }
            const double t = r.timestamp;
            const bool assumed = r.cacheWriteBreakdownAssumed();
            byProject.add(place.project, model, c, t, assumed, p.cost);
            byRawCwd.add(place.rawKey, model, c, t, assumed, p.cost);
        });
}

SessionLane::SessionLane(const RequestTable& table)
    : book(bookFor(table)), sessions(table.sizes().sessions) {}

void SessionLane::walk(const LaneContext& w) {
    eachTaken(
        w, book, everyRow, [&](std::size_t models) { bySession.ensureModels(models); },
        [&](const RequestRow& r, const PreparedRow& p, const RequestCounts& c,
            std::uint32_t model) {
            bool added = false;
            const std::uint32_t session = sessions.slot(r.session, added);
            if (added) {
                links.emplace_back();
                bySession.ensureKeys(sessions.size());
            }
            const double t = r.timestamp;
            bySession.add(session, model, c, t, r.cacheWriteBreakdownAssumed(), p.cost);
            Link& link = links[session];
            if (added || t > link.last) link.last = t;
            if (added || !(link.last > t)) link.cwd = r.cwd;
        });
}

AgentLane::AgentLane(const RequestTable& table, std::uint32_t part_, std::uint32_t parts_)
    : part(part_), parts(parts_), book(bookFor(table)), agents(table.sizes().agents / parts_ + 1) {
    byAgent.reserveKeys(table.sizes().agents / parts_ + 1);
}

void AgentLane::walk(const LaneContext& w) {
    for (const auto& run : w.runs)
        for (std::size_t i = 0; i < run.size(); ++i) {
            // Sub-agents come and go, so their rows are spread over thousands of agents'
            // sums: asked for some rows ahead, those are in cache when the row's turn comes.
            if (i + prefetchAhead < run.size()) {
                const std::uint32_t ahead = run[i + prefetchAhead].row->agent;
                if (ahead % parts == part)
                    if (const std::uint32_t a = agents.find(ahead / parts); a != noSlot)
                        byAgent.prefetch(a);
            }
            const PreparedRow& p = run[i];
            const RequestRow& r = *p.row;
            if (r.agent % parts != part) continue;

            bool added = false;
            const std::uint32_t model = book.model(r.model, p.day, added);
            if (added) byAgent.ensureModels(book.size());
            const std::uint32_t agent = agents.slot(r.agent / parts, added);
            if (added) {
                links.push_back({r.session, r.cwd}); // first wins
                byAgent.ensureKeys(agents.size());
            }
            byAgent.add(agent, model, w.dictionary.counts(r), r.timestamp,
                        r.cacheWriteBreakdownAssumed(), p.cost);
        }
}

AgentGroupLane::AgentGroupLane(const RequestTable& table, std::uint32_t part_, std::uint32_t parts_)
    : part(part_), parts(parts_), book(bookFor(table)),
      lastKeyOfAgent_(table.sizes().agents, noSlot) {}

void AgentGroupLane::walk(const LaneContext& w) {
    eachTaken(
        w, book, [&](const RequestRow& r) { return r.agent % parts == part; },
        [&](std::size_t models) { byKey.ensureModels(models); },
        [&](const RequestRow& r, const PreparedRow& p, const RequestCounts& c,
            std::uint32_t model) {
            const std::uint32_t group = p.mark;
            std::uint32_t& last = lastKeyOfAgent_[r.agent];
            if (last == noSlot || keys[last].group != group) {
                const std::uint64_t packed = (static_cast<std::uint64_t>(group) << 32) | r.agent;
                auto [it, inserted] =
                    index_.try_emplace(packed, static_cast<std::uint32_t>(keys.size()));
                if (inserted) {
                    keys.push_back({group, r.agent});
                    byKey.ensureKeys(keys.size());
                }
                last = it->second;
            }
            byKey.add(last, model, c, r.timestamp, r.cacheWriteBreakdownAssumed(), p.cost);
        });
}

} // namespace vantery::detail
