#pragma once
// The lanes of an aggregation. Each owns some of the keys a report sums into, gives
// them dense indices in the order it meets them, and adds the taken rows of each window
// into them in the table's order. Every lane sees the same rows in the same order, so
// each numbers the models it meets the same way as it would alone; its own price book
// holds that numbering for its buckets.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "report/BucketSums.hpp"
#include "report/DayPricing.hpp"
#include "report/WindowedPass.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/report/ProjectResolver.hpp"

namespace vantery::detail {

constexpr std::uint32_t noSlot = 0xFFFFFFFFu;

// Dense indices of days in the order first met: through an array by day, days the
// array refuses through a map.
class DayIndex {
  public:
    [[gnu::always_inline]] std::uint32_t index(std::int32_t day) {
        const Entry* e = byDay_.find(day);
        return e && e->index != noSlot ? e->index : add(day);
    }
    std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(days_.size()); }
    std::int32_t day(std::uint32_t i) const { return days_[i]; }

  private:
    struct Entry {
        std::uint32_t index = noSlot;
    };
    std::uint32_t add(std::int32_t day);
    DayArray<Entry> byDay_;
    std::unordered_map<std::int32_t, std::uint32_t> far_;
    std::vector<std::int32_t> days_;
};

// Dense slots of the ids of one kind met in a pass, in the order first met.
class Slots {
  public:
    explicit Slots(std::size_t ids) : slotOf_(ids, noSlot) {}
    // The id's slot; `added` tells whether it is new.
    std::uint32_t slot(std::uint32_t id, bool& added) {
        std::uint32_t& s = slotOf_[id];
        added = s == noSlot;
        if (added) {
            s = static_cast<std::uint32_t>(ids_.size());
            ids_.push_back(id);
        }
        return s;
    }
    std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(ids_.size()); }
    std::uint32_t id(std::uint32_t slot) const { return ids_[slot]; }
    // The id's slot, noSlot while it has not been met.
    std::uint32_t find(std::uint32_t id) const { return slotOf_[id]; }

  private:
    std::vector<std::uint32_t> slotOf_;
    std::vector<std::uint32_t> ids_;
};

// The distinct projects and raw-cwd keys of a pass: each directory is resolved once,
// and equal labels share a slot (a literal "~/x" and home + "/x" give one raw-cwd key).
class Places {
  public:
    struct Info {
        std::uint32_t project = noSlot, rawKey = noSlot;
    };
    Places(const ProjectResolver& resolver, std::size_t cwds) : resolver_(resolver), info_(cwds) {}

    // The place of a directory id, resolved on its first meeting; `added` tells whether
    // a new project or raw-cwd key appeared.
    const Info& of(std::uint32_t id, std::string_view rawCwd, bool& added) {
        const Info& info = info_[id];
        added = false;
        return info.project != noSlot ? info : resolve(id, rawCwd, added);
    }
    // The project of a directory id met before.
    const std::string& projectOf(std::uint32_t id) const { return projectNames[info_[id].project]; }
    std::uint32_t projectSlotOf(std::uint32_t id) const { return info_[id].project; }

    std::vector<std::string> projectNames, rawKeys;
    std::vector<std::set<std::string>> provenances;

  private:
    const Info& resolve(std::uint32_t id, std::string_view rawCwd, bool& added);
    const ProjectResolver& resolver_;
    std::vector<Info> info_;
    std::unordered_map<std::string, std::uint32_t> projectIndex_, rawKeyIndex_;
};

// What every lane walks: the taken rows of a window.
struct LaneContext {
    const RequestDictionary& dictionary;
    const TakenRuns& runs;
};

// The total, the days and, when asked for, the hours (the rows' marks).
struct CalendarLane {
    CalendarLane(const RequestTable& table, bool includeHours);
    void walk(const LaneContext& window);

    bool includeHours;
    PriceBook book;
    DayIndex days;
    Axis total, byDay, byHour;
};

// The models and the homes.
struct ModelSourceLane {
    explicit ModelSourceLane(const RequestTable& table);
    void walk(const LaneContext& window);

    PriceBook book;
    Slots homes;
    Axis byModel, bySource;
};

// Projects and raw directories.
struct PlaceLane {
    PlaceLane(const RequestTable& table, const ProjectResolver& resolver);
    void walk(const LaneContext& window);

    PriceBook book;
    Places places;
    Axis byProject, byRawCwd;
};

// Sessions, and the directory of each one's latest row: latest wins, on equal times the
// later row in table order.
struct SessionLane {
    struct Link {
        double last = 0;
        std::uint32_t cwd = 0;
    };
    explicit SessionLane(const RequestTable& table);
    void walk(const LaneContext& window);

    PriceBook book;
    Slots sessions;
    std::vector<Link> links; // by slot
    Axis bySession;
};

// The agents whose id is `part` modulo `parts`, with the session and directory of each
// one's first row. Their slots are found by id / parts: an array a part's size, which
// stays in cache while the agents' sums do not.
struct AgentLane {
    struct Link {
        std::uint32_t session, cwd;
    };
    AgentLane(const RequestTable& table, std::uint32_t part, std::uint32_t parts);
    void walk(const LaneContext& window);
    // The dictionary id of the agent of a slot.
    std::uint32_t agentId(std::uint32_t slot) const { return agents.id(slot) * parts + part; }
    std::uint32_t size() const { return agents.size(); }

    std::uint32_t part, parts;
    PriceBook book;
    Slots agents;            // by id / parts
    std::vector<Link> links; // by slot
    Axis byAgent;
};

// The (group, agent) pairs of agentsPerGroup whose agent id is `part` modulo `parts`;
// a row's group is its mark.
struct AgentGroupLane {
    struct Key {
        std::uint32_t group, agent;
    };
    AgentGroupLane(const RequestTable& table, std::uint32_t part, std::uint32_t parts);
    void walk(const LaneContext& window);

    std::uint32_t part, parts;
    PriceBook book;
    std::vector<Key> keys; // by slot of byKey
    Axis byKey;

  private:
    // Per agent id, the slot of the last group it was met in: it answers most rows
    // without the map.
    std::vector<std::uint32_t> lastKeyOfAgent_;
    std::unordered_map<std::uint64_t, std::uint32_t> index_;
};

} // namespace vantery::detail
