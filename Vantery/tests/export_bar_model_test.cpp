#include <gtest/gtest.h>

#include "model/ExportBarModel.hpp"
#include "support/RecordFixtures.hpp"

using namespace vantery;
using namespace vantery::app;

TEST(ExportBarModel, NoteFollowsWroteCopiedFailedThenCancelled) {
    const DateRange range(LocalDay::fromYMD(2026, 11, 1), LocalDay::fromYMD(2026, 11, 30));
    ExportNote note;
    note.record(std::nullopt, false); // a cancelled first export shows nothing
    EXPECT_FALSE(buildExportBar(note, false, range).note);

    note.record("8 files written to exports", false);
    auto bar = buildExportBar(note, false, range);
    EXPECT_EQ(bar.note, "8 files written to exports");
    EXPECT_FALSE(bar.noteFailed);

    note.record("Summary copied \u2014 412 characters", false);
    EXPECT_EQ(buildExportBar(note, false, range).note, "Summary copied \u2014 412 characters");

    note.record("Export failed: disk full", true);
    bar = buildExportBar(note, false, range);
    EXPECT_EQ(bar.note, "Export failed: disk full");
    EXPECT_TRUE(bar.noteFailed);

    // Cancelled: the failure text stays, no longer drawn as a failure.
    note.record(std::nullopt, false);
    bar = buildExportBar(note, false, range);
    EXPECT_EQ(bar.note, "Export failed: disk full");
    EXPECT_FALSE(bar.noteFailed);
}

TEST(ExportBarModel, ButtonsAreDisabledWhileARangeComputesOrBeforeAnyReport) {
    const DateRange range(LocalDay::fromYMD(2026, 11, 1), LocalDay::fromYMD(2026, 11, 30));
    const ExportNote none;
    const auto bar = buildExportBar(none, false, range);
    EXPECT_TRUE(bar.enabled);
    EXPECT_FALSE(buildExportBar(none, true, range).enabled);
    EXPECT_FALSE(buildExportBar(none, false, std::nullopt).enabled);

    ASSERT_EQ(bar.buttons.size(), 3u);
    EXPECT_EQ(bar.buttons[0].label, "Export CSV\u2026");
    EXPECT_TRUE(bar.buttons[0].prominent);
    EXPECT_EQ(bar.buttons[1].label, "Export every breakdown\u2026");
    EXPECT_EQ(bar.buttons[1].tooltip,
              "one CSV per axis plus the provenance document, into a folder you pick");
    EXPECT_FALSE(bar.buttons[1].prominent);
    EXPECT_EQ(bar.buttons[2].label, "Copy summary");
    EXPECT_EQ(bar.buttons[2].action, ExportAction::copySummary);
}

TEST(ExportBarModel, OptionsNameThePeriodTheReportWasComputedFor) {
    const Calendar cal = fixtures::berlin();
    const double now = fixtures::at(cal, 2026, 12, 7, 14, 30);
    const DateRange november(LocalDay::fromYMD(2026, 11, 1), LocalDay::fromYMD(2026, 11, 30));
    const Exporter::Options o = exportOptions(november, now, cal, {});
    EXPECT_EQ(o.periodLabel, "November 2026");
    EXPECT_EQ(o.from, november.from);
    EXPECT_EQ(o.to, november.through);
    EXPECT_EQ(o.generatedAt, now);
    EXPECT_EQ(o.calendar, cal);
    EXPECT_FALSE(o.limitPerAxis);
    EXPECT_FALSE(o.byteOrderMark);
    EXPECT_EQ(o.summaryRowLimit, 10);
    ASSERT_EQ(o.summaryAxes.size(), 3u);
    EXPECT_EQ(o.summaryAxes[1], Exporter::Axis::agent);
    EXPECT_EQ(Exporter::suggestedFileName(Exporter::Document::breakdown(Exporter::Axis::project), o),
              "vantery-project-november-2026.csv");
}
