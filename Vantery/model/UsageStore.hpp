#pragma once
// The app's one model: owns the scan cache and the aggregator, keeps the figures
// fresh and publishes what every view reads. Lives on the GUI thread; all file
// reading, scanning, saving, aggregation and verification run on worker threads over
// the shared, immutable request table and the cache, which no view is handed.
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/cache/FileProvenance.hpp"
#include "vantery/cache/ScanCache.hpp"
#include "vantery/ingest/AgentRoster.hpp"
#include "vantery/model/Estimate.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/DateRange.hpp"
#include "vantery/report/Derived.hpp"
#include "vantery/report/ProjectResolver.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

namespace detail {
struct RefreshOutcome;
}

class UsageStore : public QObject {
    Q_OBJECT

  public:
    /// What the store is doing. The app has no failure state.
    struct LoadState {
        enum class Kind { idle, scanning, ready };
        Kind kind = Kind::idle;
        std::string message; ///< only for scanning: "reading the cache", "updating what changed", …

        static LoadState idle() { return {}; }
        static LoadState ready() { return {Kind::ready, {}}; }
        static LoadState scanning(std::string message) {
            return {Kind::scanning, std::move(message)};
        }
        bool isReady() const noexcept { return kind == Kind::ready; }
        bool isScanning() const noexcept { return kind == Kind::scanning; }
        friend bool operator==(const LoadState&, const LoadState&) = default;
    };

    /// One row of the per-home inventory, rebuilt at every refresh.
    struct HomeInfo {
        std::string name;
        std::string path; ///< the home's projects folder
        bool exists = false;
        std::int64_t fileCount = 0;
        std::int64_t requests = 0;
        CostEstimate cost;
        std::optional<double> firstActivity;
        std::optional<double> lastActivity;
        friend bool operator==(const HomeInfo&, const HomeInfo&) = default;
    };

    /// Yesterday's cost from its start up to the time of day of a refresh, and today's
    /// change against it; worked out with every refresh, in the user's calendar of then.
    struct SameTimeYesterday {
        Estimate<CostEstimate> cost = Estimate<CostEstimate>::unknown(UnknownReason::noData());
        PercentFigure change = PercentFigure::unknown(UnknownReason::noData().text());
    };

    /// What a store is built from; the defaults are the real app's. Tests inject a home,
    /// a cache file, a clock, calendars and a short timer.
    struct Options {
        std::string home;                     ///< empty: the platform's home (QDir::homePath())
        std::optional<std::string> cachePath; ///< absent: the core's default cache file
        std::optional<Calendar> calendar; ///< the aggregator's; absent: the current zone, read once
        std::function<double()> clock;    ///< seconds since 1970; empty: the system clock
        /// The user's current calendar, asked afresh each time a view derives a figure;
        /// empty: Calendar::current().
        std::function<Calendar()> userCalendar;
        int timerIntervalMs = 90'000;
        bool start = true; ///< start the bootstrap and the timer at construction
        /// Runs on the worker just before the first cache load; tests hold the load here.
        std::function<void()> beforeLoad;
    };

    explicit UsageStore(QObject* parent = nullptr);
    explicit UsageStore(Options options, QObject* parent = nullptr);
    /// Work still running keeps what it uses alive and publishes nothing once the store
    /// is gone; a scan or a verification still running is asked to stop (stopWork()).
    ~UsageStore() override;

    // Published values (each assignment emits its signal, on the GUI thread).
    const LoadState& state() const noexcept;
    const Report& today() const noexcept;
    const Report& history() const noexcept;
    /// The same, to keep beyond the next refresh.
    const std::shared_ptr<const Report>& todayShared() const noexcept;
    const std::shared_ptr<const Report>& historyShared() const noexcept;
    /// Published with today (todayChanged).
    const SameTimeYesterday& sameTimeYesterday() const noexcept;
    const RangeSelection& rangeSelection() const noexcept;
    /// Makes `selection` current (rangeSelectionChanged when it differs) and computes its
    /// range report on a worker thread from the current now; a computation still running
    /// never publishes.
    void selectRange(const RangeSelection& selection);
    /// The report of the last published range computation, and the range it was computed for
    /// (absent before the first one publishes): exports name their period from this range.
    const Report& rangeReport() const noexcept;
    /// The same report, shared (never null): a worker may read it while a later one publishes.
    const std::shared_ptr<const Report>& rangeReportShared() const noexcept;
    /// The cache's files as the refresh whose requests the range report was computed
    /// from left them (never null): the provenance of that report, whatever refreshed since.
    const std::shared_ptr<const std::vector<FileProvenance>>& rangeReportFiles() const noexcept;
    const std::optional<DateRange>& rangeReportRange() const noexcept;
    const std::optional<RangeSelection>& rangeReportSelection() const noexcept;
    bool rangeIsComputing() const noexcept;
    std::optional<double> lastRefresh() const noexcept;
    const std::optional<ScanCache::RefreshStats>& refreshStats() const noexcept;
    const std::optional<ScanCache::VerificationResult>& verification() const noexcept;
    /// Drops the verdict (the Sources tab, after clearing the cache).
    void clearVerification();
    const AgentRoster& roster() const noexcept;
    const std::shared_ptr<const AgentRoster>& rosterShared() const noexcept;
    const std::vector<SourceHome>& homes() const noexcept;
    const std::vector<HomeInfo>& homeInventory() const noexcept;

    // Not published, read by views and commands.
    /// The unified requests of the last refresh (shared, immutable; never null).
    const std::shared_ptr<const RequestTable>& table() const noexcept;
    /// The cache file's path (empty when no default location could be formed).
    const std::string& cachePath() const noexcept;
    const ScanDiagnostics& diagnostics() const noexcept;
    const ProjectResolver& resolver() const noexcept;
    const Aggregator& aggregator() const noexcept;
    /// The aggregator's calendar (fixed when the store was built).
    const Calendar& calendar() const noexcept;
    /// The user's current calendar, asked afresh.
    Calendar userCalendar() const;
    /// Now, in seconds since 1970, from the store's clock.
    double now() const;

    /// Asks for a refresh and returns at once; a request while one runs is dropped.
    void refresh();
    /// Verifies the cache against a full re-read of the transcripts, at low priority.
    void runFullVerification();
    /// Ends the store's work for good: the timer stops, and a load, scan or verification
    /// not yet begun or still running gives up, publishing and saving nothing (between
    /// files, or blocks of a large file); a save already under way completes.
    void stopWork();
    /// Clears the cache (file included), drops the verdict and refreshes, reading every
    /// transcript again. During a running refresh the clear is remembered and done, with
    /// its refresh, once that refresh ends, so its save cannot bring the old table back.
    void clearCache();

    /// The core's disclaimer line.
    static const std::string& disclaimer();

  signals:
    void stateChanged();
    void todayChanged();
    void historyChanged();
    void rangeSelectionChanged();
    void rangeReportChanged();
    void rangeIsComputingChanged();
    void lastRefreshChanged();
    void refreshStatsChanged();
    void verificationChanged();
    void rosterChanged();
    void homeInventoryChanged();
    /// After a refresh published all of its values (emitted last).
    void refreshPublished();

  private:
    void bootstrap();
    void startRefresh(bool held, bool clearFirst);
    void publishRefresh(detail::RefreshOutcome outcome);
    void setState(LoadState state);
    void setFirstLoadState(LoadState state);
    void recomputeRange();

    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace vantery::app
