#pragma once
// The store's pieces that need no store: the refresh that runs on a worker thread,
// with the figures it publishes, and the per-home inventory built from them.
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

#include "model/UsageStore.hpp"

namespace vantery::app::detail {

/// What a refresh brings back from its worker thread: everything the store publishes,
/// ready to be assigned.
struct RefreshOutcome {
    /// Asked to stop before its end: nothing else is filled in, nothing was saved.
    bool stopped = false;
    ScanCache::Refresh scan;
    /// The cache's files exactly as the scan's table was built from them (never null).
    std::shared_ptr<const std::vector<FileProvenance>> files;
    AgentRoster roster;              ///< read afresh; coverage recorded by summarize()
    std::vector<char> projectsExist; ///< per home, in order: its projects folder exists
    Report history;                  ///< all records, without hours (summarize())
    Report today;                    ///< the records of the summarized day, with hours
    UsageStore::SameTimeYesterday sameTimeYesterday; ///< (summarize())
    std::vector<UsageStore::HomeInfo> inventory;     ///< (summarize())
};

/// Brings the cache up to date with the homes, saves it unless its file already holds
/// exactly this table (a failed save is dropped) and reads the rosters. With
/// `clearFirst` the cache (file included) is emptied before, so every transcript is read again.
/// `turn` is held while the cache changes and its files are listed: every load, clear and
/// refresh of the cache holds it, so the list is the table's. Once `stop` is asked for
/// it ends early, stopped, having saved nothing. Runs on a worker thread; never throws.
RefreshOutcome refreshCache(ScanCache& cache, const std::vector<SourceHome>& homes, bool clearFirst,
                            std::mutex& turn, std::stop_token stop = {});

/// Fills in the figures of a refresh from its scan: the history, today (the local day of
/// `now` in the aggregator's calendar, from its start, with hours), yesterday up to the
/// time of day of `now` in `userCalendar` with today's change against it, the roster's
/// coverage of the history's agents and the inventory of `homes`. Runs on a worker thread.
void summarize(RefreshOutcome& outcome, const std::vector<SourceHome>& homes,
               const Aggregator& aggregator, const Calendar& userCalendar, double now);

/// One row per home, in order, from the history's per-home buckets and the scan's
/// per-home file counts; a home without a bucket has zero requests and a zero, complete cost.
std::vector<UsageStore::HomeInfo> buildInventory(const std::vector<SourceHome>& homes,
                                                 const std::vector<char>& projectsExist,
                                                 const Report& history,
                                                 const ScanDiagnostics& diagnostics);

/// The agents of a report with the session of each, as the roster's coverage takes them.
std::unordered_map<AgentIdentity, std::string> agentSessions(const Report& report);

} // namespace vantery::app::detail
