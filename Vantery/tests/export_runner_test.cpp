// The store's export runner: outcomes arrive later with the texts and files the core's
// exporter makes for the published report, one export at a time, a cancelled dialog
// starts nothing, and a store destroyed meanwhile hands nothing back.
#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "StoreFixture.hpp"
#include "model/ExportRequest.hpp"
#include "model/ExportRunner.hpp"
#include "support/FakeExportServices.hpp"
#include "vantery/base/Text.hpp"

namespace vantery::app {
namespace {

using Outcome = ExportController::Outcome;
using testing::waitFor;

class ExportRunnerTest : public ::testing::Test {
  protected:
    testing::StoreFixture fx;
    std::unique_ptr<UsageStore> store;
    std::shared_ptr<testing::FakeDialogs> dialogs = std::make_shared<testing::FakeDialogs>();
    std::shared_ptr<testing::FakeClipboard> clipboard = std::make_shared<testing::FakeClipboard>();
    std::shared_ptr<testing::CountingWriter> writer = std::make_shared<testing::CountingWriter>();
    QObject context;
    std::optional<Outcome> outcome;
    int outcomes = 0;

    void SetUp() override {
        *fx.clock = fx.at(2025, 10, 5, 14, 0);
        fx.home.transcript("-w-app/a.jsonl",
                           testing::haikuLine("1", "2025-10-04T08:00:00Z", 2) +
                               testing::haikuLine("2", "2025-10-05T09:00:00Z", 3, "s2"));
        fx.home.transcript("-w-lib/b.jsonl", testing::haikuLine("3", "2025-10-02T08:00:00Z", 1));
        store = std::make_unique<UsageStore>(fx.options());
        QSignalSpy ranges(store.get(), &UsageStore::rangeReportChanged);
        ASSERT_TRUE(waitFor(ranges));
    }
    ExportRunner& runner() { return ExportRunner::of(*store); }
    void start(ExportOperation operation) {
        runner().start(operation, {dialogs, clipboard, writer}, &context, [this](const Outcome& o) {
            outcome = o;
            ++outcomes;
        });
    }
    bool waitForOutcome() {
        QSignalSpy running(&runner(), &ExportRunner::runningChanged);
        return runner().isRunning() ? running.wait(10'000) && outcome.has_value()
                                    : outcome.has_value();
    }
};

std::string readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<unreadable>";
}

TEST_F(ExportRunnerTest, EveryBreakdownArrivesLaterWithTheExportersTextsOneExportAtATime) {
    const QString folder = QString::fromStdString(fx.cacheDir / "exports");
    ASSERT_TRUE(QDir().mkpath(folder));
    dialogs->folder = folder.toStdString();
    auto request = currentExportRequest(*store);
    ASSERT_TRUE(request);
    request->options.sourceFiles = *request->sourceFiles;
    ASSERT_EQ(request->options.sourceFiles.size(), 2u);

    start(ExportOperation::everyBreakdown);
    EXPECT_FALSE(outcome); // the files are written on a worker
    EXPECT_TRUE(runner().isRunning());
    EXPECT_FALSE(runner().canStart());
    start(ExportOperation::copySummary); // refused while one runs
    EXPECT_EQ(dialogs->asked, 1);

    ASSERT_TRUE(waitForOutcome());
    EXPECT_EQ(*outcome, Outcome::wrote(8, folder.toStdString()));
    EXPECT_EQ(outcomes, 1);
    EXPECT_EQ(clipboard->text, "what the user had");
    EXPECT_TRUE(runner().canStart());
    ASSERT_EQ(writer->names.size(), 8u);
    const auto& options = request->options;
    EXPECT_EQ(readFile(folder + "/" + QString::fromStdString(writer->names[1])),
              Exporter::breakdownCSV(*request->report, Exporter::Axis::rawCwd, options));
    // The provenance document lists the cache's files, read on the worker.
    EXPECT_EQ(readFile(folder + "/" + QString::fromStdString(writer->names.back())),
              Exporter::provenanceCSV(*request->report, options));
}

// The figure in a CSV line "<section>,<key>,<value>,…".
std::string csvValue(const std::string& csv, const std::string& key) {
    const auto at = csv.find("," + key + ",");
    if (at == std::string::npos) return "<absent>";
    const auto from = at + key.size() + 2;
    return csv.substr(from, csv.find_first_of(",\r\n", from) - from);
}

// A refresh that publishes while an export is on its way never mixes two snapshots into
// it: the provenance document's files are those of the report's refresh.
TEST_F(ExportRunnerTest, TheProvenanceReconcilesWithAReportAnotherRefreshHasOvertaken) {
    for (int round = 0; round < 10; ++round) {
        const auto request = currentExportRequest(*store);
        ASSERT_TRUE(request);
        const std::string id = "r" + std::to_string(round);
        fx.home.transcript("-w-app/" + id + ".jsonl",
                           testing::haikuLine(id, "2025-10-05T10:00:00Z", 1));
        QSignalSpy ranges(store.get(), &UsageStore::rangeReportChanged);
        store->refresh();
        ASSERT_TRUE(waitFor(ranges));
        ASSERT_GT(store->rangeReport().total.requests, request->report->total.requests);

        Exporter::Options options = request->options;
        options.sourceFiles = *request->sourceFiles;
        const std::string csv = Exporter::provenanceCSV(*request->report, options);
        EXPECT_EQ(csvValue(csv, "requests_seen_in_files"), csvValue(csv, "requests_in_report"))
            << "round " << round;
        EXPECT_EQ(csvValue(csv, "requests_in_report"),
                  std::to_string(request->report->total.requests));
    }
}

TEST_F(ExportRunnerTest, SummaryReachesTheClipboardBeforeItsOutcome) {
    start(ExportOperation::copySummary);
    EXPECT_EQ(clipboard->text, "what the user had");
    ASSERT_TRUE(waitForOutcome());
    const auto request = currentExportRequest(*store);
    EXPECT_EQ(clipboard->text, Exporter::clipboardSummary(*request->report, request->options));
    EXPECT_EQ(*outcome,
              Outcome::copied(static_cast<std::int64_t>(text::characterCount(clipboard->text))));
    EXPECT_EQ(dialogs->asked, 0);
}

TEST_F(ExportRunnerTest, ACancelledDialogEndsAtOnceAndStartsNoWork) {
    QSignalSpy running(&runner(), &ExportRunner::runningChanged);
    start(ExportOperation::projectCSV);
    EXPECT_EQ(outcome, Outcome::cancelled()); // delivered before start() returns
    EXPECT_FALSE(runner().isRunning());
    EXPECT_EQ(running.count(), 2); // disabled while the dialog was open, then enabled
    testing::drainBackgroundWork();
    EXPECT_EQ(outcomes, 1);
    EXPECT_TRUE(writer->names.empty());
}

TEST_F(ExportRunnerTest, AStoreOrContextGoneMidExportHearsNothing) {
    dialogs->file = fx.cacheDir / "out.csv";
    start(ExportOperation::projectCSV);
    ASSERT_TRUE(runner().isRunning());
    store.reset();
    testing::drainBackgroundWork();
    EXPECT_FALSE(outcome);

    SetUp();
    auto* gone = new QObject;
    runner().start(ExportOperation::copySummary, {dialogs, clipboard, writer}, gone,
                   [this](const Outcome& o) { outcome = o; });
    delete gone;
    QSignalSpy running(&runner(), &ExportRunner::runningChanged);
    ASSERT_TRUE(running.wait(10'000));
    EXPECT_FALSE(outcome);
    EXPECT_TRUE(runner().canStart()); // the export still ended
}

} // namespace
} // namespace vantery::app
