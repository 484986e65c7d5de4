#include "model/ProjectsTabModel.hpp"

#include <algorithm>

#include "model/Fmt.hpp"

namespace vantery::app::ProjectsTabModel {

namespace {

template <class Map>
std::vector<BucketTableRow> sortedRows(const Map& map, const Report& history, bool withNotes) {
    std::vector<BucketTableRow> rows;
    rows.reserve(map.size());
    for (const auto& [key, bucket] : map)
        rows.push_back({key, bucket, withNotes ? provenanceNote(history, key) : std::nullopt});
    // Only the priced sum orders rows; equal sums keep the map's order.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const BucketTableRow& a, const BucketTableRow& b) {
                         return b.bucket.cost.priced < a.bucket.cost.priced;
                     });
    return rows;
}

} // namespace

std::int64_t foldedCount(const Report& history) {
    return std::count_if(
        history.projectProvenance.begin(), history.projectProvenance.end(), [](const auto& kv) {
            return kv.second.contains("worktreeFolded") || kv.second.contains("gitRootFolded");
        });
}

std::optional<std::string> provenanceNote(const Report& history, const std::string& project) {
    const auto it = history.projectProvenance.find(project);
    if (it == history.projectProvenance.end()) return std::nullopt;
    const auto& set = it->second;
    std::string note;
    const auto add = [&note](const char* part) {
        if (!note.empty()) note += " \u00b7 ";
        note += part;
    };
    if (set.contains("worktreeFolded")) add("includes worktrees");
    if (set.contains("gitRootFolded")) add("includes subdirectories");
    if (set.contains("missing")) add("some requests have no cwd");
    if (note.empty()) return std::nullopt;
    return note;
}

std::vector<TileText> tiles(const Report& history) {
    return {
        countTile("canonical projects", static_cast<std::int64_t>(history.byProject.size()),
                  std::nullopt),
        countTile("raw rows (cwd)", static_cast<std::int64_t>(history.byRawCwd.size()),
                  "how many there would be without grouping"),
        countTile("grouped", foldedCount(history), "worktree or subdirectory"),
    };
}

Table table(const Report& history, bool showRaw, std::optional<std::string> loading) {
    Table t;
    t.subtitle = showRaw ? "exactly what the transcript says, with no grouping at all"
                         : "worktrees and subdirectories folded onto the repo root";
    if (loading) { // no count before anything was read, not even 0
        t.title = showRaw ? "Raw breakdown" : "Projects";
        t.loading = std::move(loading);
        return t;
    }
    if (showRaw) {
        t.rows = sortedRows(history.byRawCwd, history, false);
        t.title = "Raw breakdown (" + std::to_string(t.rows.size()) + " rows)";
    } else {
        t.rows = sortedRows(history.byProject, history, true);
        t.title = "Projects (" + std::to_string(t.rows.size()) + ")";
    }
    return t;
}

std::string explanation() {
    return "The project label comes from the `cwd` of each request. Raw, that splits one repo "
           "across many rows: "
           "sub-agents working in a worktree write `cwd = .../.claude/worktrees/agent-xxxx`, and a "
           "session started "
           "in a subdirectory shows up separately from the root.";
}

} // namespace vantery::app::ProjectsTabModel
