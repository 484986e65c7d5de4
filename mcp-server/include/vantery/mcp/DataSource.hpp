#pragma once
// The server's only state: where transcripts and the cache are, the request table of
// the last refresh, the agent roster, and the lookups of what a user typed.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/ingest/AgentRoster.hpp"
#include "vantery/mcp/NameIndex.hpp"
#include "vantery/mcp/Period.hpp"
#include "vantery/mcp/RecordFilter.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/ProjectResolver.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::mcp {

class DataSource {
  public:
    /// Everything the data source takes from its surroundings, so that tests can
    /// run it against temporary homes and caches with clocks of their own.
    struct Environment {
        /// An environment variable; absent when unset.
        std::function<std::optional<std::string>(const char* name)> variable;
        /// The account's home directory (projects resolve against it, "~" stands for it).
        std::string userHome;
        /// Seconds since 1970, for the times shown in answers.
        std::function<double()> wallClock;
        /// Seconds on a clock that never steps back, for the freshness window.
        std::function<double()> monotonicClock;
        /// The calendar that decides local days and hours.
        Calendar calendar = Calendar::utc();
        /// Writes one log line (the prefix is added); may be empty.
        std::function<void(std::string_view message)> log;

        /// The process's environment, home directory, clocks and current zone.
        static Environment process();
    };

    /// The answer of a lookup: exactly one match, several (ready-made candidate
    /// lines, dearest first), or none (with the query as given).
    template <class T> struct Resolution {
        enum class Kind { one, many, none };
        Kind kind = Kind::none;
        std::optional<T> match;         ///< set for one
        std::vector<std::string> lines; ///< the candidates shown, for many
        std::int64_t matches = 0;       ///< how many matched in all (may exceed lines), for many
        std::string query;              ///< for none

        static Resolution one(T v) { return {Kind::one, std::move(v), {}, 1, {}}; }
        static Resolution many(std::vector<std::string> lines, std::int64_t matches) {
            return {Kind::many, std::nullopt, std::move(lines), matches, {}};
        }
        static Resolution none(std::string query) {
            return {Kind::none, std::nullopt, {}, 0, std::move(query)};
        }
    };

    /// Candidate lines beyond this many are not shown.
    static constexpr std::size_t maxCandidates = 25;
    /// A table younger than this (seconds) is not refreshed again.
    static constexpr double freshnessWindow = 15.0;

    /// Reads the environment (VANTERY_CACHE_PATH, VANTERY_HOME); reads no file.
    explicit DataSource(Environment env = Environment::process());

    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    const std::vector<SourceHome>& homes() const noexcept { return homes_; }
    ScanCache& cache() noexcept { return *cache_; }
    const ScanCache& cache() const noexcept { return *cache_; }
    /// The one resolver of the server; the aggregator's is a copy sharing its memo.
    const ProjectResolver& resolver() const noexcept { return resolver_; }
    const Aggregator& aggregator() const noexcept { return aggregator_; }
    const Calendar& calendar() const noexcept { return env_.calendar; }
    const std::string& userHome() const noexcept { return env_.userHome; }
    /// The wall clock's now.
    double now() const { return env_.wallClock(); }

    /// The table, diagnostics and roster of the last refresh (empty before the first).
    const RequestTable& table() const noexcept { return *table_; }
    /// The same table, for a caller that must keep reading it across a refresh.
    const std::shared_ptr<const RequestTable>& sharedTable() const noexcept { return table_; }
    const ScanDiagnostics& diagnostics() const noexcept { return diagnostics_; }
    const AgentRoster& roster() const noexcept { return roster_; }

    /// Brings the table up to date unless the last refresh is under 15 seconds
    /// old; the first call loads the cache file first and reads the rosters after.
    /// Returns the statistics of the last refresh.
    const ScanCache::RefreshStats& ensureFresh();
    /// Writes the cache file when the last refresh changed the table and the file may
    /// be kept (refused locations and failed saves are logged once). The server calls
    /// it after each reply, so that no answer waits on the disk.
    void keepCache();

    /// The report of the requests that pass `filter` over the period, after
    /// ensureFresh(); hours when asked, else exactly for a single-day period. The
    /// filter is bound once, to the table read.
    Report report(const Period& period, const RecordFilter& filter,
                  std::optional<bool> includeHours = std::nullopt);

    /// The same as report(Period::all(), {}): every request, no hours. Built once
    /// per refresh and shared by the calls until the next one.
    std::shared_ptr<const Report> history();

    /// The same report as report(period, filter, includeHours), shared: the kept
    /// history when the period is unbounded, the filter empty and no hours are
    /// asked for, else a report of its own.
    std::shared_ptr<const Report> sharedReport(const Period& period, const RecordFilter& filter,
                                               std::optional<bool> includeHours = std::nullopt);

    /// How the history's names print and come back (see NameIndex): built once per
    /// history, and the one every answer prints its projects, sessions and agents with.
    std::shared_ptr<const NameIndex> names();

    /// What a user typed, looked up against the names of a report. The query is cleaned
    /// as answers print a name and compared with the names as the index printed them, so
    /// that every label an answer prints comes back: to its one key, or to the list of all
    /// the keys it was printed for, each line in a form that reaches its key alone. The
    /// main session's words ("main", "main session", "main-session") reach it alone.
    static Resolution<AgentIdentity> resolveAgent(std::string_view query, const NameIndex& names);
    static Resolution<std::string> resolveProject(std::string_view query, const NameIndex& names);
    static Resolution<std::string> resolveSession(std::string_view query, const NameIndex& names);
    /// The same against a report of its own (its index built for the call).
    Resolution<AgentIdentity> resolveAgent(std::string_view query, const Report& report) const;
    Resolution<std::string> resolveProject(std::string_view query, const Report& report) const;
    Resolution<std::string> resolveSession(std::string_view query, const Report& report) const;

    /// "~" in place of a leading user home directory (plain text prefix), cleaned as
    /// answers write a name (AnswerText::name).
    std::string shortened(std::string_view path) const;

  private:
    /// Whether the cache file may be read and written where it is (not inside a
    /// home's transcripts or rosters, not over a file that is no cache).
    bool cacheMayBeKept() const;

    Environment env_;
    std::vector<SourceHome> homes_;
    std::unique_ptr<ScanCache> cache_;
    ProjectResolver resolver_;
    Aggregator aggregator_;
    std::shared_ptr<const RequestTable> table_;
    ScanDiagnostics diagnostics_;
    std::optional<ScanCache::RefreshStats> refreshStats_;
    AgentRoster roster_;
    std::optional<double> lastRefresh_; ///< on the monotonic clock
    bool rosterLoaded_ = false;
    bool cacheProblemLogged_ = false; ///< a refused location or failed save was logged
    bool keepPending_ = false;        ///< refreshed since the last keepCache()
    std::string cacheNotKept_;        ///< why the last save was refused as too large
    /// Of the current table; kept by a refresh that left it as it was.
    std::shared_ptr<const Report> history_;
    std::shared_ptr<const NameIndex> names_; ///< of history_'s names; kept while they are
    bool historyCurrent_ = false;            ///< history_'s diagnostics are the current ones
};

} // namespace vantery::mcp
