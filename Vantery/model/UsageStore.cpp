#include "model/UsageStore.hpp"

#include <QDir>

#include <chrono>
#include <mutex>
#include <stop_token>
#include <utility>

#include "model/BackgroundTask.hpp"
#include "model/LowPriority.hpp"
#include "model/StoreWork.hpp"
#include "vantery/report/Aggregator.hpp"
#include "vantery/report/Derived.hpp"

namespace vantery::app {
namespace {

constexpr const char* readingCache = "reading the cache";
constexpr const char* updatingWhatChanged = "updating what changed";
constexpr const char* firstFullScan = "first full scan";
constexpr const char* fullVerification = "full verification";

double systemNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::string homeOf(const UsageStore::Options& options) {
    return options.home.empty() ? QDir::homePath().toStdString() : options.home;
}

std::shared_ptr<ScanCache> makeCache(const UsageStore::Options& options, const std::string& home) {
    if (options.cachePath) return std::make_shared<ScanCache>(*options.cachePath);
    if (options.home.empty()) return std::make_shared<ScanCache>();
    // An explicit home also places the default cache file under it, so that pointing the
    // app at another home never writes that home's table into the user's own cache: only
    // HOME is answered, so the user's XDG_DATA_HOME cannot pull the cache back out of it.
    return std::make_shared<ScanCache>([home](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "HOME") return home;
        return std::nullopt;
    });
}

using FileList = std::shared_ptr<const std::vector<FileProvenance>>;

/// What a range computation brings back from its worker thread.
struct RangeOutcome {
    DateRange range;
    std::shared_ptr<const Report> report;
    FileList files; ///< of the table the report was computed from
};

} // namespace

struct UsageStore::Impl {
    explicit Impl(Options opts)
        : options(std::move(opts)), home(homeOf(options)),
          rangeSelection(RangePreset::thisMonth, std::nullopt, std::nullopt, now(), userCalendar()),
          homes(SourceHome::defaults(home)), cache(makeCache(options, home)),
          table(std::make_shared<const RequestTable>()), resolver(home, true),
          // A copy shares the memo: the Provenance tab and the reports settle on one
          // label per directory.
          aggregator(options.calendar.value_or(Calendar::current()), resolver) {}

    double now() const { return options.clock ? options.clock() : systemNow(); }
    Calendar userCalendar() const {
        return options.userCalendar ? options.userCalendar() : Calendar::current();
    }

    Options options;
    std::string home;

    LoadState state;
    std::shared_ptr<const Report> today = std::make_shared<const Report>();
    std::shared_ptr<const Report> history = std::make_shared<const Report>();
    SameTimeYesterday sameTimeYesterday;
    RangeSelection rangeSelection;
    // Shared so that an export reads it on a worker without a copy on the GUI thread.
    std::shared_ptr<const Report> rangeReport = std::make_shared<const Report>();
    FileList rangeReportFiles = std::make_shared<const std::vector<FileProvenance>>();
    std::optional<DateRange> rangeReportRange;
    std::optional<RangeSelection> rangeReportSelection;
    bool rangeIsComputing = false;
    std::optional<double> lastRefresh;
    std::optional<ScanCache::RefreshStats> refreshStats;
    std::optional<ScanCache::VerificationResult> verification;
    std::shared_ptr<const AgentRoster> roster = std::make_shared<const AgentRoster>();
    std::vector<SourceHome> homes;
    std::vector<HomeInfo> homeInventory;

    std::shared_ptr<ScanCache> cache;
    std::shared_ptr<const RequestTable> table;
    FileList files = std::make_shared<const std::vector<FileProvenance>>(); // table's files
    ScanDiagnostics diagnostics;
    ProjectResolver resolver;
    Aggregator aggregator;

    bool refreshRunning = false; // a refresh started by refresh() or clearCache() runs
    int cacheWorkInFlight = 0;   // loads and refreshes of any origin still running
    bool clearPending = false;   // clearCache() asked while cache work ran
    bool refreshHasPublished = false;
    LoadState firstLoadState; // the message the bootstrap shows, for a verification to restore
    std::uint64_t rangeGeneration = 0; // bumping it cancels the running range computation
    QTimer timer;
    // Asked for when the store goes: its scans and verifications stop and save nothing.
    std::stop_source stop;
    // Held by every load, clear and refresh of the cache, so a refresh's file list is
    // exactly its table's.
    std::shared_ptr<std::mutex> cacheTurn = std::make_shared<std::mutex>();
};

UsageStore::UsageStore(QObject* parent) : UsageStore(Options{}, parent) {}

UsageStore::UsageStore(Options options, QObject* parent)
    : QObject(parent), d_(std::make_unique<Impl>(std::move(options))) {
    d_->timer.setInterval(d_->options.timerIntervalMs);
    connect(&d_->timer, &QTimer::timeout, this, &UsageStore::refresh);
    if (!d_->options.start) return;
    bootstrap();
    d_->timer.start();
}

// The watchers of running work are children and die with the store, so no result is
// handed back afterwards; the work itself keeps the cache alive through its own reference.
UsageStore::~UsageStore() {
    stopWork();
}

void UsageStore::stopWork() {
    d_->timer.stop();
    d_->stop.request_stop();
}

void UsageStore::setState(LoadState state) {
    d_->state = std::move(state);
    emit stateChanged();
}

void UsageStore::setFirstLoadState(LoadState state) {
    d_->firstLoadState = state;
    setState(std::move(state));
}

void UsageStore::bootstrap() {
    setFirstLoadState(LoadState::scanning(readingCache));
    ++d_->cacheWorkInFlight;
    runInBackground(
        this,
        [cache = d_->cache, hold = d_->options.beforeLoad, turn = d_->cacheTurn,
         stop = d_->stop.get_token()] {
            const std::lock_guard held(*turn);
            if (hold) hold();
            return !stop.stop_requested() && cache->load();
        },
        [this](bool loaded) {
            --d_->cacheWorkInFlight;
            setFirstLoadState(LoadState::scanning(loaded ? updatingWhatChanged : firstFullScan));
            // Not held as the running refresh: a refresh asked for meanwhile runs alongside.
            startRefresh(false, false);
        });
}

void UsageStore::refresh() {
    if (d_->refreshRunning) return;
    startRefresh(true, false);
}

void UsageStore::clearCache() {
    clearVerification();
    // A refresh still running would save its old table after the clear and bring it back.
    if (d_->cacheWorkInFlight > 0) {
        d_->clearPending = true;
        return;
    }
    startRefresh(true, true);
}

void UsageStore::startRefresh(bool held, bool clearFirst) {
    if (held) d_->refreshRunning = true;
    ++d_->cacheWorkInFlight;
    runInBackground(
        this,
        [cache = d_->cache, homes = d_->homes, clearFirst, aggregator = d_->aggregator,
         userCalendar = d_->userCalendar(), clock = d_->options.clock, turn = d_->cacheTurn,
         stop = d_->stop.get_token()] {
            auto outcome = detail::refreshCache(*cache, homes, clearFirst, *turn, stop);
            if (!outcome.stopped)
                detail::summarize(outcome, homes, aggregator, userCalendar,
                                  clock ? clock() : systemNow());
            return outcome;
        },
        [this, held](detail::RefreshOutcome outcome) {
            if (!outcome.stopped) publishRefresh(std::move(outcome));
            --d_->cacheWorkInFlight;
            if (held) d_->refreshRunning = false;
            if (d_->clearPending && d_->cacheWorkInFlight == 0) {
                d_->clearPending = false;
                startRefresh(true, true);
            }
        });
}

// The history and today reports, yesterday at the same time, the roster's coverage and
// the inventory were built on the refresh's worker, today from the clock read there: over
// a large history those walks would hold the GUI thread for hundreds of milliseconds. Here they are
// only assigned, in the published order; what they replace is freed on a pool thread.
void UsageStore::publishRefresh(detail::RefreshOutcome outcome) {
    Impl& d = *d_;
    releaseInBackground(std::exchange(d.table, std::move(outcome.scan.table)));
    releaseInBackground(std::exchange(d.files, std::move(outcome.files)));
    releaseInBackground(std::exchange(d.diagnostics, std::move(outcome.scan.diagnostics)));
    d.refreshStats = outcome.scan.stats;
    emit refreshStatsChanged();

    releaseInBackground(
        std::exchange(d.history, std::make_shared<const Report>(std::move(outcome.history))));
    emit historyChanged();
    releaseInBackground(
        std::exchange(d.today, std::make_shared<const Report>(std::move(outcome.today))));
    d.sameTimeYesterday = outcome.sameTimeYesterday;
    emit todayChanged();

    releaseInBackground(
        std::exchange(d.roster, std::make_shared<const AgentRoster>(std::move(outcome.roster))));
    emit rosterChanged();
    d.homeInventory = std::move(outcome.inventory);
    emit homeInventoryChanged();

    d.lastRefresh = d.now();
    emit lastRefreshChanged();
    d.refreshHasPublished = true;
    setState(LoadState::ready());
    recomputeRange();
    emit refreshPublished();
}

void UsageStore::selectRange(const RangeSelection& selection) {
    if (!(selection == d_->rangeSelection)) {
        d_->rangeSelection = selection;
        emit rangeSelectionChanged();
    }
    recomputeRange();
}

void UsageStore::recomputeRange() {
    Impl& d = *d_;
    const std::uint64_t generation = ++d.rangeGeneration;
    const RangeSelection selection = d.rangeSelection;
    d.rangeIsComputing = true;
    emit rangeIsComputingChanged();
    runInBackground(
        this,
        [table = d.table, files = d.files, diagnostics = d.diagnostics, selection,
         aggregator = d.aggregator, now = d.now()] {
            DateRange range = selection.resolved(now, aggregator.calendar());
            return RangeOutcome{
                range,
                std::make_shared<const Report>(aggregator.report(*table, range, diagnostics)),
                files};
        },
        [this, generation, selection](RangeOutcome outcome) {
            // A later computation cancelled this one, or the selection moved on.
            if (generation != d_->rangeGeneration || !(d_->rangeSelection == selection)) {
                releaseInBackground(std::move(outcome.report));
                return;
            }
            releaseInBackground(std::exchange(d_->rangeReport, std::move(outcome.report)));
            d_->rangeReportFiles = std::move(outcome.files);
            d_->rangeReportRange = outcome.range;
            d_->rangeReportSelection = selection;
            emit rangeReportChanged();
            d_->rangeIsComputing = false;
            emit rangeIsComputingChanged();
        });
}

void UsageStore::runFullVerification() {
    setState(LoadState::scanning(fullVerification));
    runInBackground(
        this,
        [cache = d_->cache, homes = d_->homes, stop = d_->stop.get_token()] {
            // A background check: its threads yield to everything the user is doing.
            return atLowPriority([&] { return cache->verifyAgainstFullScan(homes, stop); });
        },
        [this](std::optional<ScanCache::VerificationResult> result) {
            if (!result) return; // stopped: only the store's end asks that
            d_->verification = std::move(*result);
            emit verificationChanged();
            // Before the first refresh publishes, "ready" would show empty figures as final.
            setState(d_->refreshHasPublished ? LoadState::ready() : d_->firstLoadState);
        });
}

void UsageStore::clearVerification() {
    d_->verification.reset();
    emit verificationChanged();
}

const std::string& UsageStore::disclaimer() {
    static const std::string text(Derived::disclaimer);
    return text;
}

const UsageStore::LoadState& UsageStore::state() const noexcept {
    return d_->state;
}
const Report& UsageStore::today() const noexcept {
    return *d_->today;
}
const std::shared_ptr<const Report>& UsageStore::todayShared() const noexcept {
    return d_->today;
}
const Report& UsageStore::history() const noexcept {
    return *d_->history;
}
const std::shared_ptr<const Report>& UsageStore::historyShared() const noexcept {
    return d_->history;
}
const UsageStore::SameTimeYesterday& UsageStore::sameTimeYesterday() const noexcept {
    return d_->sameTimeYesterday;
}
const RangeSelection& UsageStore::rangeSelection() const noexcept {
    return d_->rangeSelection;
}
const Report& UsageStore::rangeReport() const noexcept {
    return *d_->rangeReport;
}
const std::shared_ptr<const Report>& UsageStore::rangeReportShared() const noexcept {
    return d_->rangeReport;
}
const std::optional<DateRange>& UsageStore::rangeReportRange() const noexcept {
    return d_->rangeReportRange;
}
const std::optional<RangeSelection>& UsageStore::rangeReportSelection() const noexcept {
    return d_->rangeReportSelection;
}
bool UsageStore::rangeIsComputing() const noexcept {
    return d_->rangeIsComputing;
}
std::optional<double> UsageStore::lastRefresh() const noexcept {
    return d_->lastRefresh;
}
const std::optional<ScanCache::RefreshStats>& UsageStore::refreshStats() const noexcept {
    return d_->refreshStats;
}
const std::optional<ScanCache::VerificationResult>& UsageStore::verification() const noexcept {
    return d_->verification;
}
const AgentRoster& UsageStore::roster() const noexcept {
    return *d_->roster;
}
const std::shared_ptr<const AgentRoster>& UsageStore::rosterShared() const noexcept {
    return d_->roster;
}
const std::vector<SourceHome>& UsageStore::homes() const noexcept {
    return d_->homes;
}
const std::vector<UsageStore::HomeInfo>& UsageStore::homeInventory() const noexcept {
    return d_->homeInventory;
}
const std::shared_ptr<const RequestTable>& UsageStore::table() const noexcept {
    return d_->table;
}
const std::shared_ptr<const std::vector<FileProvenance>>&
UsageStore::rangeReportFiles() const noexcept {
    return d_->rangeReportFiles;
}
const std::string& UsageStore::cachePath() const noexcept {
    return d_->cache->cachePath();
}
const ScanDiagnostics& UsageStore::diagnostics() const noexcept {
    return d_->diagnostics;
}
const ProjectResolver& UsageStore::resolver() const noexcept {
    return d_->resolver;
}
const Aggregator& UsageStore::aggregator() const noexcept {
    return d_->aggregator;
}
const Calendar& UsageStore::calendar() const noexcept {
    return d_->aggregator.calendar();
}
Calendar UsageStore::userCalendar() const {
    return d_->userCalendar();
}
double UsageStore::now() const {
    return d_->now();
}

} // namespace vantery::app
