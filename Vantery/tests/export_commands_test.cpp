// The File menu's export items over a running store: their texts and shortcuts, enabled
// only for a published report of the current selection with requests and not while an
// export runs, saying why when they are not, and the copied summary named after the range
// its report was computed for.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

#include "StoreFixture.hpp"
#include "model/ExportRequest.hpp"
#include "model/ExportRunner.hpp"
#include "widgets/ExportCommands.hpp"

namespace vantery::app {
namespace {

using testing::haikuLine;
using testing::StoreFixture;
using testing::waitFor;

bool allEnabled(const QMenu& menu, bool enabled) {
    for (const QAction* action : menu.actions())
        if (action->isEnabled() != enabled) return false;
    return true;
}

class ExportCommandsTest : public ::testing::Test {
  protected:
    StoreFixture fx;
    QWidget window;
    QMenu menu{"File"};
    void SetUp() override { *fx.clock = fx.at(2025, 10, 5, 14, 0); }
};

TEST_F(ExportCommandsTest, ItemsFollowThePublishedRangeAndCopyItsSummary) {
    fx.home.transcript("-w-app/a.jsonl", haikuLine("1", "2025-10-04T08:00:00Z", 2) +
                                             haikuLine("2", "2025-10-05T09:00:00Z", 3));
    UsageStore store(fx.options());
    installExportCommands(&menu, store, &window);

    const auto actions = menu.actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "Export CSV…");
    EXPECT_EQ(actions[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));
    EXPECT_EQ(actions[1]->text(), "Export Every Breakdown…");
    EXPECT_EQ(actions[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    EXPECT_EQ(actions[2]->text(), "Copy Summary");
    EXPECT_EQ(actions[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    EXPECT_TRUE(allEnabled(menu, false)); // nothing published yet
    EXPECT_EQ(actions[0]->statusTip(), "Waiting for the selected range to be computed");
    EXPECT_EQ(actions[2]->toolTip(), actions[2]->statusTip());

    QSignalSpy ranges(&store, &UsageStore::rangeReportChanged);
    ASSERT_TRUE(waitFor(ranges));
    ASSERT_EQ(store.rangeReport().total.requests, 2);
    EXPECT_TRUE(allEnabled(menu, true));

    const auto request = currentExportRequest(store);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->options.periodLabel, "2025-10-01 → 2025-10-05"); // this month so far
    // The summary is built on a worker: every item waits until it is on the clipboard.
    QSignalSpy running(&ExportRunner::of(store), &ExportRunner::runningChanged);
    actions[2]->trigger();
    EXPECT_TRUE(allEnabled(menu, false));
    ASSERT_TRUE(waitFor(running, 2));
    EXPECT_TRUE(allEnabled(menu, true));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              Exporter::clipboardSummary(*request->report, request->options));

    // A refresh recomputes the same selection: its published report stays the one to
    // export while the computation runs.
    bool enabledWhileComputing = false;
    auto watch = QObject::connect(&store, &UsageStore::refreshPublished, [&] {
        enabledWhileComputing = store.rangeIsComputing() && allEnabled(menu, true);
    });
    store.refresh();
    ASSERT_TRUE(waitFor(ranges, 2));
    QObject::disconnect(watch);
    EXPECT_TRUE(enabledWhileComputing);

    // A new selection: while its range computes, the published report is still the old
    // range's, and nothing is exported until the new one publishes.
    store.selectRange(RangeSelection(RangePreset::custom, fx.at(2025, 8, 1), fx.at(2025, 8, 2),
                                     *fx.clock, testing::testCalendar()));
    EXPECT_TRUE(store.rangeIsComputing());
    EXPECT_FALSE(currentExportRequest(store));
    EXPECT_TRUE(allEnabled(menu, false));
    EXPECT_EQ(actions[1]->statusTip(), "Waiting for the new range to be computed");
    ASSERT_TRUE(waitFor(ranges, 3));
    EXPECT_EQ(store.rangeReport().total.requests, 0);
    EXPECT_TRUE(allEnabled(menu, false));
    EXPECT_EQ(actions[0]->statusTip().toStdString(),
              "Nothing to export: no request in " + store.rangeReportRange()->title());
}

} // namespace
} // namespace vantery::app
