#pragma once
// The Provenance tab as plain values: the listed days, newest first, and below every
// open node its projects, sessions and agents, each grouped from the store's records
// and priced with the core's Bucket::add on the record's own day.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/UsageRecord.hpp"
#include "vantery/report/Bucket.hpp"
#include "vantery/report/ProjectResolver.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

/// Which records each local day of one calendar holds, and the project of every record:
/// built once per published set of records (off the GUI thread), so that an open node
/// walks only its day's records instead of the whole history. Immutable.
class ProvenanceIndex {
  public:
    /// Resolves every distinct working directory once with `resolver` (empty transcript
    /// path) and files every record under its local day in `userCalendar`.
    static std::shared_ptr<const ProvenanceIndex>
    build(std::shared_ptr<const std::vector<UsageRecord>> records, const Calendar& userCalendar,
          const ProjectResolver& resolver);

    /// True when the index was built over exactly these records and in this calendar's zone.
    bool covers(std::span<const UsageRecord> records, const Calendar& userCalendar) const noexcept;
    /// The positions of the records on `day`, in record order.
    std::span<const std::uint32_t> recordsOn(LocalDay day) const;
    /// The canonical project label of the record at `position`.
    const std::string& projectOf(std::uint32_t position) const {
        return projects_[projectOf_[position]];
    }
    const std::vector<UsageRecord>& records() const noexcept { return *records_; }

  private:
    explicit ProvenanceIndex(Calendar calendar) : calendar_(std::move(calendar)) {}

    std::shared_ptr<const std::vector<UsageRecord>> records_;
    Calendar calendar_;
    std::vector<std::string> projects_;
    std::vector<std::uint32_t> projectOf_; ///< per record: its label in projects_
    std::vector<LocalDay> days_;           ///< ascending, distinct
    std::vector<std::uint32_t>
        dayStarts_; ///< days_[i]'s records are order_[dayStarts_[i] .. dayStarts_[i+1])
    std::vector<std::uint32_t> order_;
};

/// The tab's view state: open days, open project and session nodes, listed days.
struct ProvenanceState {
    static constexpr int pageSize = 14;
    std::set<LocalDay> expandedDays;
    std::set<std::string> expandedKeys;
    int dayLimit = pageSize;

    /// Opens or closes one node; the open nodes below it keep their state.
    void toggleDay(LocalDay day);
    void toggleKey(const std::string& key);
    /// Lists 14 more days; the limit never decreases.
    void showMoreDays() { dayLimit += pageSize; }
};

/// What the tab reads of the store, for one redraw.
struct ProvenanceSource {
    const Report& history;
    std::span<const UsageRecord> records;
    const ProjectResolver& resolver;
    const Calendar& calendar;     ///< the aggregator's: the history's day keys
    const Calendar& userCalendar; ///< the user's current calendar: which records are on a day
    /// Used only when it covers `records` in `userCalendar`; otherwise every record is walked.
    const ProvenanceIndex* index = nullptr;
};

/// One row of the card, in display order.
struct ProvenanceRow {
    enum class Kind { day, project, session, agent, unknown };
    Kind kind = Kind::day;
    std::string label;
    Bucket bucket;
    std::optional<std::string> accessory;
    bool open = false;        ///< day, project, session: the chevron points down
    int markPadding = 0;      ///< leading padding of the mark: 0, 18, 36, 58; 30 for "unknown"
    bool mainSession = false; ///< agent: the main session's dot rather than a sub-agent's
    LocalDay day;             ///< the day whose subtree holds the row
    std::string nodeKey;      ///< project and session rows: what a press toggles
    bool endsDay = false;     ///< the day's divider (opacity 0.4) follows this row

    bool isButton() const noexcept {
        return kind == Kind::day || kind == Kind::project || kind == Kind::session;
    }
};

struct ProvenanceView {
    std::string title = "Provenance";
    std::string subtitle = "open a day to see the projects, then the sessions, agents and models "
                           "that produced the cost";
    std::string firstColumn = "day / project / session / agent";
    std::optional<std::string> emptyText; ///< "No day with activity." when no day is listed
    std::vector<ProvenanceRow> rows;
    std::optional<std::string> moreDays; ///< "Show 14 more days (of n)" while days are hidden
};

namespace ProvenanceTabModel {

template <class K> using Rows = std::vector<std::pair<K, Bucket>>;

/// The history's days, newest first, at most `dayLimit` of them.
std::vector<LocalDay> days(const Report& history, int dayLimit);

/// Node keys (never shown): "p|<ts>|<project>" and "s|<ts>|<project>|<session>", ts the
/// day start's seconds since 1970 as the shortest text that reads back, ".0" after a whole number.
std::string projectKey(double dayStart, const std::string& project);
std::string sessionKey(double dayStart, const std::string& project, const std::string& session);

/// The day's records grouped by project, by session of one project, by agent of one
/// session: priced cost, largest first (stable; equal costs in first-seen order).
Rows<std::string> projectsFor(const ProvenanceSource& source, LocalDay day);
Rows<std::string> sessionsFor(const ProvenanceSource& source, LocalDay day,
                              const std::string& project);
Rows<AgentIdentity> agentsFor(const ProvenanceSource& source, LocalDay day,
                              const std::string& project, const std::string& session);

/// "model ×n · model ×m", most used first; nothing without model counts.
std::optional<std::string> modelsSummary(const Bucket& bucket);

/// Every row of the card for the given state.
ProvenanceView build(const ProvenanceSource& source, const ProvenanceState& state);

} // namespace ProvenanceTabModel
} // namespace vantery::app
