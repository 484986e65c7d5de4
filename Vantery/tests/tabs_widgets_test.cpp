// The Today and Date range tabs over a real store: they follow its publications, write
// only the selection, and show how each export went.
#include <QAbstractButton>
#include <QDateEdit>
#include <QLabel>
#include <QScrollArea>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "TempDir.hpp"
#include "TranscriptLine.hpp"
#include "model/UsageStore.hpp"
#include "support/FakeExportServices.hpp"
#include "widgets/RangeTab.hpp"
#include "widgets/TodayTab.hpp"

using namespace vantery;
using namespace vantery::app;

namespace {

Calendar berlin() {
    return *Calendar::named("Europe/Berlin");
}

std::string line(int id, const std::string& timestamp, long long inputTokens,
                 const std::string& model = "claude-haiku-4-5") {
    vantery::testing::UsageLine l;
    l.timestamp = timestamp;
    l.messageId = "msg_" + std::to_string(id);
    l.requestId = "req_" + std::to_string(id);
    l.cwd = "/w/app";
    l.model = model;
    l.input = inputTokens;
    l.output = 0;
    return vantery::testing::usageLine(l);
}

struct Fixture {
    vantery::testing::TempHome home;
    vantery::testing::TempDir cacheDir;
    std::unique_ptr<UsageStore> store;

    explicit Fixture(bool withData, const std::string& extraLines = {}) {
        if (withData)
            home.transcript("-w-app/s1.jsonl", line(1, "2026-11-03T10:00:00Z", 2'000'000) +
                                                   line(2, "2026-11-20T10:00:00Z", 1'000'000) +
                                                   line(3, "2026-12-07T09:00:00Z", 500'000) +
                                                   extraLines);
        UsageStore::Options o;
        o.home = home.path();
        o.cachePath = cacheDir / "cache.bin";
        o.calendar = berlin();
        o.clock = [] { return berlin().instantOf(LocalDay::fromYMD(2026, 12, 7), 14, 30, 0); };
        o.userCalendar = berlin;
        o.timerIntervalMs = 3'600'000;
        store = std::make_unique<UsageStore>(o);
        QSignalSpy ranges(store.get(), &UsageStore::rangeReportChanged);
        EXPECT_TRUE(ranges.wait(10'000));
    }
};

bool waitForReport(UsageStore& store) {
    QSignalSpy spy(&store, &UsageStore::rangeReportChanged);
    if (!spy.wait(10'000)) return false;
    QCoreApplication::processEvents(); // the tab's coalesced rebuild
    return true;
}

QLabel* labelWithText(const QWidget& w, const QString& text) {
    for (auto* label : w.findChildren<QLabel*>())
        if (label->text() == text) return label;
    return nullptr;
}

} // namespace

TEST(RangeTab, FollowsTheSelectionAndDisablesExportsWhileComputing) {
    Fixture f(true);
    // The CSV's write fails; the folder dialog is cancelled.
    auto dialogs = std::make_shared<app::testing::FakeDialogs>();
    dialogs->file = f.cacheDir / "out.csv";
    auto writer = std::make_shared<app::testing::CountingWriter>();
    writer->failOn = 1;
    RangeTab tab(*f.store, [&](QWidget*) {
        return ExportServices{dialogs, std::make_shared<app::testing::FakeClipboard>(), writer};
    });
    ASSERT_TRUE(waitForReport(*f.store)); // coming into view asks for a computation
    EXPECT_TRUE(labelWithText(tab, "What this period cost"));
    EXPECT_TRUE(labelWithText(tab, "By project (1)"));
    ASSERT_EQ(tab.exportButtons().size(), 3u);

    auto* lastMonth = tab.findChild<QAbstractButton*>("lastMonth");
    ASSERT_TRUE(lastMonth);
    lastMonth->click();
    EXPECT_EQ(f.store->rangeSelection().preset, RangePreset::lastMonth);
    EXPECT_TRUE(f.store->rangeIsComputing());
    for (auto* b : tab.exportButtons())
        EXPECT_FALSE(b->isEnabled());
    EXPECT_TRUE(labelWithText(tab, "November 2026")); // the title follows at once
    ASSERT_TRUE(waitForReport(*f.store));
    ASSERT_EQ(tab.exportButtons().size(), 3u);
    for (auto* b : tab.exportButtons())
        EXPECT_TRUE(b->isEnabled());

    // Re-picking the preset already selected asks for nothing.
    QSignalSpy computing(f.store.get(), &UsageStore::rangeIsComputingChanged);
    tab.findChild<QAbstractButton*>("lastMonth")->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(computing.count(), 0);

    QSignalSpy running(&ExportRunner::of(*f.store), &ExportRunner::runningChanged);
    tab.exportButtons()[0]->click();
    EXPECT_EQ(dialogs->message, "The project breakdown for November 2026.");
    for (auto* b : tab.exportButtons()) // until the write on the worker has ended
        EXPECT_FALSE(b->isEnabled());
    ASSERT_TRUE(running.wait(10'000) && running.count() == 2);
    ASSERT_TRUE(tab.exportNoteLabel());
    EXPECT_EQ(tab.exportNoteLabel()->text(), "Export failed: disk full");
    EXPECT_TRUE(tab.exportButtons()[0]->isEnabled());
    const QColor failedColour = tab.exportNoteLabel()->palette().color(QPalette::WindowText);
    tab.exportButtons()[1]->click();
    EXPECT_EQ(dialogs->message, "Every breakdown for November 2026, one CSV per axis, plus the "
                                "provenance document.");
    EXPECT_EQ(tab.exportNoteLabel()->text(), "Export failed: disk full");
    EXPECT_NE(tab.exportNoteLabel()->palette().color(QPalette::WindowText), failedColour);
}

TEST(RangeTab, CustomPickersShowTheSelectionsDaysAndAskForAComputationOnChange) {
    Fixture f(true);
    RangeTab tab(*f.store, {});
    tab.show();
    ASSERT_TRUE(waitForReport(*f.store));
    const auto pickers = tab.findChildren<QDateEdit*>();
    ASSERT_EQ(pickers.size(), 2);
    EXPECT_FALSE(pickers[0]->isVisible());

    tab.findChild<QAbstractButton*>("custom")->click();
    EXPECT_TRUE(pickers[0]->isVisible());
    // The default custom days: the 30 days ending today, whatever the locale's format.
    EXPECT_EQ(pickers[0]->text(), "2026-11-08");
    EXPECT_EQ(pickers[1]->text(), "2026-12-07");
    ASSERT_TRUE(waitForReport(*f.store));

    pickers[1]->setDate(QDate(2026, 11, 5)); // a last day before the first
    EXPECT_TRUE(f.store->rangeIsComputing());
    EXPECT_TRUE(labelWithText(tab, QString::fromUtf8("2026-11-05 \u2192 2026-11-08")));
    ASSERT_TRUE(waitForReport(*f.store));
    EXPECT_EQ(f.store->rangeReportRange()->label(), "2026-11-05 \u2192 2026-11-08");

    // Another preset hides the pickers and keeps the days.
    tab.findChild<QAbstractButton*>("last7Days")->click();
    EXPECT_FALSE(pickers[0]->isVisible());
    EXPECT_EQ(pickers[1]->text(), "2026-11-05");
}

TEST(RangeTab, EmptyPeriodShowsOnlyTheSelectorAndTheEmptyCard) {
    Fixture f(false);
    RangeTab tab(*f.store, {});
    ASSERT_TRUE(waitForReport(*f.store));
    EXPECT_TRUE(labelWithText(tab, "No requests in this period"));
    EXPECT_FALSE(labelWithText(tab, "What this period cost"));
    EXPECT_TRUE(tab.exportButtons().empty());
}

TEST(TodayTab, ShowsTheDayOrItsAbsence) {
    {
        Fixture f(true);
        TodayTab tab(*f.store);
        EXPECT_TRUE(labelWithText(tab, QString::fromUtf8("Today \u2014 2026-12-07")));
        EXPECT_TRUE(labelWithText(tab, QString::fromUtf8("Today\u2019s agents")));
        EXPECT_FALSE(labelWithText(tab, "No requests today"));
    }
    Fixture empty(false);
    TodayTab tab(*empty.store);
    EXPECT_TRUE(labelWithText(tab, "No requests today"));
    EXPECT_FALSE(labelWithText(tab, "What the cost is made of"));

    // A store that has not published yet shows no figure and no empty day.
    vantery::testing::TempHome home;
    UsageStore::Options o;
    o.home = home.path();
    o.cachePath = home / "cache.bin";
    o.start = false;
    UsageStore unread(o);
    TodayTab waiting(unread);
    EXPECT_TRUE(labelWithText(waiting, "waiting for the first scan"));
    EXPECT_FALSE(labelWithText(waiting, "No requests today"));
    EXPECT_FALSE(labelWithText(waiting, "$0.00"));
}

// An unpriced model with a 10,000-character name and one with controls in its name: the
// pages still fit the 1040-pixel window and every label shows names clean and isolated.
TEST(TodayTab, LongAndOddNamesKeepThePageInsideTheWindow) {
    const std::string odd = R"(odd\u0000\u202Ename)";
    Fixture f(true, line(4, "2026-12-07T10:00:00Z", 10, std::string(10'000, 'm')) +
                        line(5, "2026-12-07T11:00:00Z", 10, odd));
    ASSERT_EQ(f.store->today().total.requests, 3);
    TodayTab today(*f.store);
    RangeTab range(*f.store);
    for (QWidget* tab : {static_cast<QWidget*>(&today), static_cast<QWidget*>(&range)}) {
        QWidget* page = tab->findChild<QScrollArea*>()->widget();
        ASSERT_NE(page, nullptr);
        EXPECT_LE(page->minimumSizeHint().width(), 1040);
        EXPECT_LE(page->sizeHint().width(), 1040);
        for (auto* label : page->findChildren<QLabel*>()) {
            EXPECT_FALSE(label->text().contains(QChar(0))) << label->text().left(80).toStdString();
            EXPECT_LE(label->toolTip().size(), 1000);
        }
    }
    EXPECT_TRUE(labelWithText(today, QStringLiteral("oddname")));
}
