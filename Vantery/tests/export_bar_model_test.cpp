#include <gtest/gtest.h>

#include "model/ExportBarModel.hpp"

using namespace vantery::app;
using Outcome = ExportController::Outcome;

TEST(ExportBarModel, NoteFollowsWroteCopiedFailedThenCancelled) {
    ExportNote note;
    note.record(Outcome::cancelled()); // a cancelled first export shows nothing
    EXPECT_FALSE(buildExportBar(note, true).note);

    note.record(Outcome::wrote(8, "/tmp/exports"));
    auto bar = buildExportBar(note, true);
    EXPECT_EQ(bar.note, "8 files written to exports");
    EXPECT_FALSE(bar.noteFailed);

    note.record(Outcome::copied(412));
    EXPECT_EQ(buildExportBar(note, true).note, "Summary copied \u2014 412 characters");

    note.record(Outcome::failed("disk full"));
    bar = buildExportBar(note, true);
    EXPECT_EQ(bar.note, "Export failed: disk full");
    EXPECT_TRUE(bar.noteFailed);

    // Cancelled: the failure text stays, no longer drawn as a failure.
    note.record(Outcome::cancelled());
    bar = buildExportBar(note, true);
    EXPECT_EQ(bar.note, "Export failed: disk full");
    EXPECT_FALSE(bar.noteFailed);
}

TEST(ExportBarModel, ButtonsInBarOrderOnlyTheFirstProminent) {
    const auto bar = buildExportBar({}, false);
    EXPECT_FALSE(bar.enabled);
    ASSERT_EQ(bar.buttons.size(), 3u);
    EXPECT_EQ(bar.buttons[0].label, "Export CSV\u2026");
    EXPECT_EQ(bar.buttons[0].operation, ExportOperation::projectCSV);
    EXPECT_TRUE(bar.buttons[0].prominent);
    EXPECT_EQ(bar.buttons[1].label, "Export every breakdown\u2026");
    EXPECT_EQ(bar.buttons[1].tooltip,
              "one CSV per axis plus the provenance document, into a folder you pick");
    EXPECT_FALSE(bar.buttons[1].prominent);
    EXPECT_EQ(bar.buttons[2].label, "Copy summary");
    EXPECT_EQ(bar.buttons[2].operation, ExportOperation::copySummary);
    EXPECT_TRUE(buildExportBar({}, true).enabled);
}
