#pragma once
// Everything the Projects tab shows, as plain values: the explanation of how working
// directories fold into projects with its three counts, and the cost-ordered table of
// canonical projects (with a note on what each one folds) or of raw directories.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/BucketTableModel.hpp"
#include "model/TileText.hpp"
#include "vantery/report/Report.hpp"

namespace vantery::app::ProjectsTabModel {

/// The number of canonical projects folded from a worktree or a subdirectory: the
/// provenance sets holding "worktreeFolded" or "gitRootFolded" (a set holding both counts once).
std::int64_t foldedCount(const Report& history);

/// A canonical project's caption: "includes worktrees", "includes subdirectories", "some
/// requests have no cwd", in that order, for the provenances its set holds, joined by
/// " · "; none when there is nothing to say or the project has no set.
std::optional<std::string> provenanceNote(const Report& history, const std::string& project);

/// The three counts of the explanation card: "canonical projects", "raw rows (cwd)",
/// "grouped"; the same whichever mode the table is in.
std::vector<TileText> tiles(const Report& history);

/// The table card of one mode.
struct Table {
    std::string title; ///< "Projects (<n>)" or "Raw breakdown (<n> rows)"
    std::string subtitle;
    std::vector<BucketTableRow> rows; ///< every row, priced cost descending, ties in map order
    /// Set until the store's first publish (loadingText): shown alone, in place of the
    /// rows, under a title without a count.
    std::optional<std::string> loading;
};

/// The table of canonical projects (with provenance notes) or, with `showRaw`, of the
/// raw working directories exactly as the report keys them (no notes). With `loading`
/// the history is not read yet: no rows and no count.
Table table(const Report& history, bool showRaw, std::optional<std::string> loading = std::nullopt);

/// The explanation paragraph, verbatim (its backticks are text).
std::string explanation();

inline constexpr const char* explanationTitle = "How projects are grouped";
/// The toggle's label around its inline-code word: before + "cwd" + after.
inline constexpr const char* toggleBefore = "Show the raw breakdown, by exact ";
inline constexpr const char* toggleCode = "cwd";
inline constexpr const char* firstColumn = "project";

} // namespace vantery::app::ProjectsTabModel
