#pragma once
// The store's pieces that need no store: the refresh that runs on a worker thread,
// and the per-home inventory built from a refresh's figures.
#include <vector>

#include "model/UsageStore.hpp"

namespace vantery::app::detail {

/// What a refresh brings back from its worker thread.
struct RefreshOutcome {
    ScanCache::Refresh scan;
    AgentRoster roster;                ///< read afresh, coverage not yet recorded
    std::vector<char> projectsExist;   ///< per home, in order: its projects folder exists
};

/// Brings the cache up to date with the homes, saves it (a failed save is dropped) and
/// reads the rosters. With `clearFirst` the cache (file included) is emptied before, so
/// every transcript is read again. Runs on a worker thread; never throws.
RefreshOutcome refreshCache(ScanCache& cache, const std::vector<SourceHome>& homes,
                            bool clearFirst);

/// One row per home, in order, from the history's per-home buckets and the scan's
/// per-home file counts; a home without a bucket has zero requests and a zero, complete cost.
std::vector<UsageStore::HomeInfo> buildInventory(const std::vector<SourceHome>& homes,
                                                 const std::vector<char>& projectsExist,
                                                 const Report& history,
                                                 const ScanDiagnostics& diagnostics);

/// The agents of a report with the session of each, as the roster's coverage takes them.
std::unordered_map<AgentIdentity, std::string> agentSessions(const Report& report);

} // namespace vantery::app::detail
