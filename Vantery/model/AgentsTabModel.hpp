#pragma once
// Everything the Agents tab shows, as plain values: how the priced cost splits between
// the main session and its sub-agents, the filterable ranking of every agent, and how
// far names and rosters cover the agents seen. Widgets only lay these out.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QLocale>
#include <QString>

#include "model/BucketTableModel.hpp"
#include "model/FigureTexts.hpp"
#include "model/TileText.hpp"
#include "vantery/ingest/AgentRoster.hpp"
#include "vantery/model/AgentIdentity.hpp"
#include "vantery/report/Bucket.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app {

namespace AgentsTabModel {

/// Which report the tab reads: today's or the whole history's.
enum class Scope { today, all };
/// The picker's segment labels, in declaration order: "Today", "All history".
std::string scopeLabel(Scope scope);
inline constexpr Scope scopes[] = {Scope::today, Scope::all};

/// A tile whose figure is a cost, drawn as the cost columns draw it: "≥ " in the accent
/// colour with the caveat marker while some of its requests are unpriced.
struct CostTile {
    std::string title;
    CostEstimate cost;
    std::optional<std::string> note;

    friend bool operator==(const CostTile&, const CostTile&) = default;
};

/// How exact the split bar may look, read from the tiles' shares: exact; one side's share
/// a lower bound (its unpriced requests could take it further: that side is hatched);
/// or no share at all (the bar is drawn as unknown, with no division).
enum class BarLook { exact, mainAtLeast, subagentAtLeast, unknown };

/// The split card below the scope picker.
struct Split {
    /// Set when the report holds no request: the card then shows this line instead of
    /// the bar and tiles.
    std::optional<std::string> unknownText;
    double main = 0;     ///< priced dollars of the main session
    double subagent = 0; ///< priced dollars of every other agent
    /// "main session" and "sub-agents", each its agents' summed estimate, noted with its
    /// share of the priced cost (no note while nothing is priced); empty with `unknownText`.
    std::vector<CostTile> costTiles;
    /// "distinct agents"; empty with `unknownText`.
    std::vector<TileText> tiles;
    BarLook look = BarLook::exact;
    /// The bar's tooltip while it is not exact: the two shares as the tiles read, or why
    /// there is none.
    std::string barTip;
};

/// The split of `report`'s cost between the main session and its sub-agents.
Split split(const Report& report);

/// The two rectangles of the split bar, `width` wide: the main session's from x = 0,
/// width × main / total wide, then 2 apart the sub-agents' over what remains (never
/// negative). Both zero when there is no priced cost or the share is unknown: the bar
/// is then one unknown stretch.
struct SplitBar {
    double mainWidth = 0;
    double subagentX = 0;
    double subagentWidth = 0;
    BarLook look = BarLook::exact;
};
SplitBar splitBar(const Split& split, double width);

/// The caption under an agent's row: "session <8 chars>", then from a roster entry
/// "type …" and "model …", then the project, joined by " · "; none without any part.
/// The roster is consulted only for an agent with a recorded session.
std::optional<std::string> accessory(const Report& report, const AgentRoster& roster,
                                     const AgentIdentity& agent);

/// One row of the ranking.
struct AgentRow {
    bool isMain = false; ///< the dot: main session or sub-agent
    BucketTableRow row;  ///< label (the agent's label), bucket and caption
};

/// The ranking card for one query.
struct Ranking {
    std::string title;                  ///< "Ranking (<n>)", n counting every match
    std::int64_t count = 0;             ///< every row that passed the filter
    std::vector<AgentRow> rows;         ///< the first rowLimit of them, costliest first
    std::optional<std::string> caption; ///< "showing the first 200 of <n>" past the limit
};

inline constexpr int rowLimit = 200;

/// Whether `label` contains `query`, ignoring case by the rules of `locale` (and
/// canonically equivalent spellings); an empty query matches every label. The query is
/// used as typed, blanks included.
bool matches(std::string_view label, std::string_view query, const QLocale& locale = QLocale());

/// Every agent of a report, ranked for each keystroke of the filter. A history can hold
/// hundreds of thousands of agents: rows are made only for the ones shown, and labels are
/// folded for comparison at the first query that needs them (so one ranking serves one
/// thread at a time).
class AgentRanking {
  public:
    AgentRanking() = default;
    AgentRanking(std::shared_ptr<const Report> report, std::shared_ptr<const AgentRoster> roster,
                 const QLocale& locale = QLocale());

    /// The rows whose label contains `query` (see `matches`), ordered by priced cost,
    /// highest first (equal costs keep the report's order), cut to rowLimit.
    Ranking filtered(std::string_view query) const;
    std::size_t size() const noexcept { return report_ ? report_->byAgent.size() : 0; }

  private:
    QString fold(std::string_view text) const;

    QLocale locale_;
    std::shared_ptr<const Report> report_;
    std::shared_ptr<const AgentRoster> roster_;
    mutable std::vector<QString> folded_; // by agent, once a query asked for them
};

/// The coverage card's paragraph: plain text but for one "**…**" span meant in bold; its
/// backticks are text.
std::string coverageText();
/// `text` as escaped rich text, each "**…**" span in bold.
QString emphasized(std::string_view text);
/// "named agents", "anonymous", "enriched from roster".
std::vector<TileText> coverageTiles(const RosterCoverage& coverage);
/// The line after the lock mark, verbatim.
std::string rosterPrivacyText();

/// The card titles and subtitles, and the other fixed texts of the tab.
inline constexpr const char* splitTitle = "Main session vs sub-agents";
inline constexpr const char* splitSubtitle =
    "an agent is \u201cwhat was worked on\u201d; the project is only \u201cwhere\u201d";
/// The ranking card's title, followed by " (<n>)" once there is something to count.
inline constexpr const char* rankingTitle = "Ranking";
inline constexpr const char* coverageTitle = "Where agent names come from";
inline constexpr const char* coverageSubtitle = "so it is clear what is known and what is not";
inline constexpr const char* filterPlaceholder = "filter by name";
inline constexpr const char* firstColumn = "agent";

} // namespace AgentsTabModel
} // namespace vantery::app
