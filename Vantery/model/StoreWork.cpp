#include "model/StoreWork.hpp"

#include <filesystem>
#include <future>
#include <system_error>
#include <utility>

#include "vantery/cache/KeptRefresh.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery::app::detail {

RefreshOutcome refreshCache(ScanCache& cache, const std::vector<SourceHome>& homes, bool clearFirst,
                            std::mutex& turn, std::stop_token stop) {
    RefreshOutcome out;
    {
        const std::lock_guard held(turn);
        if (clearFirst) cache.clear();
        // Why a cache was not kept is dropped: the app writes no log, and the figures
        // never depend on the save.
        auto kept = refreshAndKeep(cache, homes, stop);
        if (!kept) {
            out.stopped = true;
            return out;
        }
        out.scan = std::move(kept->refresh);
        out.files = std::make_shared<const std::vector<FileProvenance>>(cache.recordsPerFile());
    }
    if (stop.stop_requested()) {
        out.stopped = true;
        return out;
    }
    out.roster.load(homes);
    out.projectsExist.reserve(homes.size());
    for (const auto& home : homes) {
        std::error_code ec;
        out.projectsExist.push_back(std::filesystem::exists(home.projectsPath, ec) ? 1 : 0);
    }
    return out;
}

void summarize(RefreshOutcome& outcome, const std::vector<SourceHome>& homes,
               const Aggregator& aggregator, const Calendar& userCalendar, double now) {
    const RequestTable& table = *outcome.scan.table;
    const ScanDiagnostics& diagnostics = outcome.scan.diagnostics;
    const LocalDay day = aggregator.day(now);
    auto& yesterday = outcome.sameTimeYesterday;
    // Each walk reads the table alone: today's and yesterday's run beside the history's,
    // the longest, instead of after it (or after it, when no thread is to be had).
    auto history = std::async(std::launch::async | std::launch::deferred, [&] {
        return aggregator.aggregate(table, std::nullopt, std::nullopt, diagnostics, false);
    });
    outcome.today = aggregator.aggregate(table, day, day, diagnostics, true);
    yesterday.cost = Derived::yesterdayAtSameTime(table, now, userCalendar);
    outcome.history = history.get();
    yesterday.change = Derived::sameTimeChange(outcome.today.total.cost, yesterday.cost);
    outcome.roster.recordCoverage(agentSessions(outcome.history));
    outcome.inventory = buildInventory(homes, outcome.projectsExist, outcome.history, diagnostics);
}

std::vector<UsageStore::HomeInfo> buildInventory(const std::vector<SourceHome>& homes,
                                                 const std::vector<char>& projectsExist,
                                                 const Report& history,
                                                 const ScanDiagnostics& diagnostics) {
    std::vector<UsageStore::HomeInfo> rows;
    rows.reserve(homes.size());
    for (std::size_t i = 0; i < homes.size(); ++i) {
        const auto& home = homes[i];
        UsageStore::HomeInfo row;
        row.name = home.name;
        row.path = home.projectsPath;
        row.exists = i < projectsExist.size() && projectsExist[i] != 0;
        if (auto it = diagnostics.perHome.find(home.name); it != diagnostics.perHome.end())
            row.fileCount = it->second;
        if (auto it = history.bySource.find(home.name); it != history.bySource.end()) {
            row.requests = it->second.requests;
            row.cost = it->second.cost;
            row.firstActivity = it->second.firstActivity;
            row.lastActivity = it->second.lastActivity;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::unordered_map<AgentIdentity, std::string> agentSessions(const Report& report) {
    return {report.agentSession.begin(), report.agentSession.end()};
}

} // namespace vantery::app::detail
