// The Projects tab's counts, titles, rows and provenance notes, headless.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "model/ProjectsTabModel.hpp"
#include "support/RecordFixtures.hpp"

using namespace vantery;
using namespace vantery::app;
using namespace vantery::app::ProjectsTabModel;
using vantery::app::fixtures::costing;

namespace {

std::vector<std::string> texts(const std::vector<TileText>& tiles) {
    std::vector<std::string> out;
    for (const auto& t : tiles)
        out.push_back(t.figure.text);
    return out;
}

} // namespace

TEST(ProjectsTabModel, EmptyHistory) {
    const Report empty;
    EXPECT_EQ(texts(tiles(empty)), (std::vector<std::string>{"0", "0", "0"}));
    const Table canonical = table(empty, false);
    EXPECT_EQ(canonical.title, "Projects (0)");
    EXPECT_EQ(canonical.subtitle, "worktrees and subdirectories folded onto the repo root");
    EXPECT_TRUE(canonical.rows.empty());
    const Table raw = table(empty, true);
    EXPECT_EQ(raw.title, "Raw breakdown (0 rows)");
    EXPECT_EQ(raw.subtitle, "exactly what the transcript says, with no grouping at all");
}

TEST(ProjectsTabModel, FoldedCountAndNotesInBothModes) {
    Report h;
    h.byProject["~/all"] = costing(1);
    h.byProject["~/missing"] = costing(5, 3); // unpriced requests do not lift it
    h.byProject["~/exact"] = costing(5);
    h.byProject["~/fallback"] = costing(9);
    h.byProject["~/none"] = costing(2);
    h.byProject["~/sub"] = costing(7);
    h.projectProvenance["~/all"] = {"missing", "gitRootFolded", "worktreeFolded"};
    h.projectProvenance["~/missing"] = {"missing"};
    h.projectProvenance["~/exact"] = {"exact"};
    h.projectProvenance["~/fallback"] = {"rawFallback"};
    h.projectProvenance["~/sub"] = {"gitRootFolded", "exact"};
    h.projectProvenance["~/ghost"] = {};
    for (int i = 0; i < 9; ++i)
        h.byRawCwd[fmt::format("~/all/.claude/worktrees/agent-{}", i)] = costing(i % 3);

    EXPECT_EQ(foldedCount(h), 2); // "~/all" holds both folds and counts once
    const auto t = tiles(h);
    EXPECT_EQ(texts(t), (std::vector<std::string>{"6", "9", "2"}));
    EXPECT_EQ(t[1].note, "how many there would be without grouping");
    EXPECT_EQ(t[2].note, "worktree or subdirectory");

    const Table canonical = table(h, false);
    EXPECT_EQ(canonical.title, "Projects (6)");
    std::vector<std::pair<std::string, std::optional<std::string>>> rows;
    for (const auto& r : canonical.rows)
        rows.emplace_back(r.label, r.accessory);
    const std::vector<std::pair<std::string, std::optional<std::string>>> expected{
        {"~/fallback", std::nullopt},
        {"~/sub", "includes subdirectories"},
        {"~/exact", std::nullopt}, // ties keep the map's order
        {"~/missing", "some requests have no cwd"},
        {"~/none", std::nullopt},
        {"~/all",
         "includes worktrees \u00b7 includes subdirectories \u00b7 some requests have no cwd"},
    };
    EXPECT_EQ(rows, expected);

    const Table raw = table(h, true);
    EXPECT_EQ(raw.title, "Raw breakdown (9 rows)");
    ASSERT_EQ(raw.rows.size(), 9u);
    EXPECT_EQ(raw.rows.front().label, "~/all/.claude/worktrees/agent-2");
    for (const auto& r : raw.rows)
        EXPECT_FALSE(r.accessory) << r.label;
    EXPECT_EQ(texts(tiles(h)), texts(t)); // the tiles do not follow the toggle
}

TEST(ProjectsTabModel, CountsGroupDigitsInTilesButNotInTitles) {
    Report h;
    for (int i = 0; i < 1234; ++i)
        h.byProject[fmt::format("~/p{}", i)] = costing(1);
    EXPECT_EQ(tiles(h)[0].figure.text, "1,234");
    EXPECT_EQ(table(h, false).title, "Projects (1234)");
}
