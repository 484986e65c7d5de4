#pragma once
// The Provenance tab as plain values: the listed days, newest first, and below every
// open node its projects, sessions and agents, each grouped from the store's table
// and priced with the core's Bucket::add on the request's own day.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vantery/base/Calendar.hpp"
#include "vantery/model/AgentIdentity.hpp"
#include "vantery/model/RequestTable.hpp"
#include "vantery/report/Bucket.hpp"
#include "vantery/report/ProjectResolver.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

/// The project labels of the working directories of a table, each directory resolved
/// once (empty transcript path). Labels are numbered in the order they are first met.
class ProjectLabels {
  public:
    explicit ProjectLabels(const RequestTable& table) : labelOf_(table.sizes().cwds, unresolved) {}

    /// The label of a row's directory, resolving the directory on its first meeting.
    std::uint32_t resolve(const RequestTable& table, const RequestRow& row,
                          const ProjectResolver& resolver);
    /// The label of a row whose directory was resolved before.
    std::uint32_t of(const RequestRow& row) const noexcept { return labelOf_[row.cwd]; }
    const std::string& text(std::uint32_t label) const noexcept { return texts_[label]; }
    /// The number of a label text met so far; absent otherwise.
    std::optional<std::uint32_t> find(const std::string& text) const;

  private:
    static constexpr std::uint32_t unresolved = 0xffffffffu;
    std::vector<std::uint32_t> labelOf_; ///< per directory id
    std::vector<std::string> texts_;
    std::unordered_map<std::string, std::uint32_t> byText_;
};

/// Which rows of a table each local day of one calendar holds, and the project of every
/// row: built once per published table (off the GUI thread), so that an open node walks
/// only its day's rows instead of the whole history. Immutable.
class ProvenanceIndex {
  public:
    /// Resolves every distinct working directory once with `resolver` and files every
    /// row under its local day in `userCalendar`.
    static std::shared_ptr<const ProvenanceIndex> build(std::shared_ptr<const RequestTable> table,
                                                        const Calendar& userCalendar,
                                                        const ProjectResolver& resolver);

    /// True when the index was built over exactly this table and in this calendar's zone.
    bool covers(const RequestTable& table, const Calendar& userCalendar) const noexcept;
    /// The positions of the rows on `day`, in table order.
    std::span<const std::uint32_t> rowsOn(LocalDay day) const;
    const ProjectLabels& labels() const noexcept { return labels_; }
    const RequestTable& table() const noexcept { return *table_; }

  private:
    ProvenanceIndex(std::shared_ptr<const RequestTable> table, Calendar calendar)
        : table_(std::move(table)), calendar_(std::move(calendar)), labels_(*table_) {}

    std::shared_ptr<const RequestTable> table_;
    Calendar calendar_;
    ProjectLabels labels_;
    std::vector<LocalDay> days_; ///< ascending, distinct
    /// days_[i]'s rows are order_[dayStarts_[i] .. dayStarts_[i+1])
    std::vector<std::uint32_t> dayStarts_;
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
    const RequestTable& table;
    const ProjectResolver& resolver;
    const Calendar& calendar;     ///< the aggregator's: the history's day keys
    const Calendar& userCalendar; ///< the user's current calendar: which rows are on a day
    /// Used only when it covers `table` in `userCalendar`; otherwise every row is walked.
    const ProvenanceIndex* index = nullptr;
    /// The store's message until its first publish (loadingText): nothing is read yet.
    std::optional<std::string> loading = std::nullopt;
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
    /// Set until the store's first publish: shown alone, with no table, day or empty line.
    std::optional<std::string> loading;
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

/// The day's requests grouped by project, by session of one project, by agent of one
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
