// The export controller over fake dialogs, clipboard and writer: which files a folder
// export writes and in what order, what a failure leaves behind, cancels, the outcome
// texts, the options named after the report's own range, and the atomic writer.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

#include "model/ExportController.hpp"
#include "support/FakeExportServices.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/report/Aggregator.hpp"

using namespace vantery;
using namespace vantery::app;
using Outcome = ExportController::Outcome;

namespace {

using vantery::app::testing::CountingWriter;
using vantery::app::testing::FakeClipboard;
using vantery::app::testing::FakeDialogs;

std::string readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    return f.readAll().toStdString();
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

/// A file-size limit stands in for a full disk: a write past it fails (EFBIG) instead of
/// raising SIGXFSZ. The old limit comes back at the end of the scope.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limited = old_;
        limited.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    bool ok() const { return ok_; }

  private:
    rlimit old_{};
    void (*oldHandler_)(int);
    bool ok_ = false;
};

UsageRecord record(double ts, std::string model, std::string session, std::string cwd,
                   AgentIdentity agent) {
    UsageRecord r;
    r.timestamp = ts;
    r.model = std::move(model);
    r.sessionId = std::move(session);
    r.rawCwd = std::move(cwd);
    r.agent = std::move(agent);
    r.sourceHome = ".claude";
    r.input = 1200;
    r.output = 300;
    r.cacheRead = 5000;
    return r;
}

class ExportControllerTest : public ::testing::Test {
  protected:
    Calendar calendar = *Calendar::named("Europe/Paris");
    DateRange range{LocalDay::fromYMD(2026, 3, 9), LocalDay::fromYMD(2026, 3, 10)};
    // Two days, so the report has no hours: seven axes hold rows.
    Report report =
        Aggregator(calendar, ProjectResolver("/home/u", false))
            .report(
                std::vector<UsageRecord>{
                    record(calendar.instantOf(range.from, 10, 0, 0), "claude-sonnet-4-5", "s1",
                           "/home/u/café", AgentIdentity::mainSession()),
                    record(calendar.instantOf(range.through, 15, 30, 0), "claude-opus-4-1", "s2",
                           "/home/u/👩‍👩‍👧 tools",
                           AgentIdentity::named("scout", "a1b2c3d4e5")),
                },
                range, ScanDiagnostics{});
    double now = calendar.instantOf(range.through, 18, 0, 0);
    Exporter::Options options = ExportController::options(range, {}, calendar, now);

    QTemporaryDir temp;
    QString exports = temp.filePath("exports");
    FakeDialogs dialogs;
    FakeClipboard clipboard;
    CountingWriter writer;

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(exports)); }

    /// The three steps in a row, as the runner takes them across threads.
    Outcome run(ExportOperation operation) {
        const auto target = ExportController::ask(operation, options, dialogs);
        if (!target) return Outcome::cancelled();
        return ExportController::deliver(
            ExportController::produce(*target, report, options, writer), clipboard);
    }
};

} // namespace

TEST_F(ExportControllerTest, SaveAllWritesSevenBreakdownsThenProvenanceForAMultiDayRange) {
    dialogs.folder = exports.toStdString();
    const Outcome outcome = run(ExportOperation::everyBreakdown);

    EXPECT_EQ(outcome, Outcome::wrote(8, exports.toStdString()));
    EXPECT_EQ(outcome.message(), "8 files written to exports");
    EXPECT_EQ(Outcome::wrote(8, exports.toStdString() + "/").message(), outcome.message());
    EXPECT_EQ(Outcome::wrote(8, "/").message(), "8 files written to /");
    EXPECT_EQ(dialogs.prompt, "Export here");
    EXPECT_EQ(dialogs.message, "Every breakdown for 2026-03-09 → 2026-03-10, one CSV per axis, "
                               "plus the provenance document.");

    const std::string p = "-2026-03-09-2026-03-10.csv";
    const std::vector<std::string> order = {"vantery-project" + p,     "vantery-raw_cwd" + p,
                                            "vantery-session" + p,     "vantery-agent" + p,
                                            "vantery-model" + p,       "vantery-day" + p,
                                            "vantery-source_home" + p, "vantery-provenance" + p};
    EXPECT_EQ(writer.names, order);
    // Exactly these files: no hour file, no temporary left behind.
    QStringList expected;
    for (const auto& n : order)
        expected << QString::fromStdString(n);
    expected.sort();
    EXPECT_EQ(filesIn(exports), expected);
    EXPECT_EQ(readFile(exports + "/vantery-model" + QString::fromStdString(p)),
              Exporter::breakdownCSV(report, Exporter::Axis::model, options));
    EXPECT_EQ(readFile(exports + "/vantery-provenance" + QString::fromStdString(p)),
              Exporter::provenanceCSV(report, options));
}

TEST_F(ExportControllerTest, AFailedThirdWriteKeepsTheFirstTwoAndStops) {
    dialogs.folder = exports.toStdString();
    writer.failOn = 3;
    const Outcome outcome = run(ExportOperation::everyBreakdown);

    EXPECT_EQ(outcome, Outcome::failed("disk full"));
    EXPECT_EQ(outcome.message(), "Export failed: disk full");
    EXPECT_EQ(writer.names.size(), 3u); // nothing attempted after the failure
    EXPECT_EQ(filesIn(exports), (QStringList{"vantery-project-2026-03-09-2026-03-10.csv",
                                             "vantery-raw_cwd-2026-03-09-2026-03-10.csv"}));
}

TEST_F(ExportControllerTest, AFullDiskEndsSaveAllWithNoFileCutShort) {
    std::vector<std::pair<QString, std::string>> texts;
    for (auto& [axis, csv] : Exporter::allBreakdownCSVs(report, options))
        texts.emplace_back(QString::fromStdString(Exporter::suggestedFileName(
                               Exporter::Document::breakdown(axis), options)),
                           std::move(csv));
    texts.emplace_back(QString::fromStdString(
                           Exporter::suggestedFileName(Exporter::Document::provenance(), options)),
                       Exporter::provenanceCSV(report, options));
    // Room for the first file: every file up to the first longer one fits, that one fails.
    const std::size_t room = texts[0].second.size();
    std::size_t fits = 1;
    while (fits < texts.size() && texts[fits].second.size() <= room)
        ++fits;
    ASSERT_LT(fits, texts.size());

    dialogs.folder = exports.toStdString();
    Outcome outcome;
    {
        FileSizeLimit limit(room);
        ASSERT_TRUE(limit.ok());
        outcome = run(ExportOperation::everyBreakdown);
    }
    EXPECT_EQ(outcome.kind, Outcome::Kind::failed);
    EXPECT_EQ(outcome.text.rfind("could not write " + texts[fits].first.toStdString(), 0), 0u)
        << outcome.text;
    QStringList written;
    for (std::size_t i = 0; i < fits; ++i) {
        written << texts[i].first;
        EXPECT_EQ(readFile(exports + "/" + texts[i].first), texts[i].second);
    }
    written.sort();
    EXPECT_EQ(filesIn(exports), written);
}

TEST_F(ExportControllerTest, ProjectCSVWritesTheChosenFile) {
    const QString path = exports + "/invoice.csv";
    dialogs.file = path.toStdString();
    const Outcome outcome = run(ExportOperation::projectCSV);

    EXPECT_EQ(outcome, Outcome::wrote(1, exports.toStdString()));
    EXPECT_EQ(outcome.message(), "1 file written to exports");
    EXPECT_EQ(dialogs.suggestedName, "vantery-project-2026-03-09-2026-03-10.csv");
    EXPECT_EQ(dialogs.message, "The project breakdown for 2026-03-09 → 2026-03-10.");
    EXPECT_EQ(readFile(path), Exporter::breakdownCSV(report, Exporter::Axis::project, options));

    // A write error becomes the outcome rather than passing for success.
    writer.failOn = 2;
    EXPECT_EQ(run(ExportOperation::projectCSV), Outcome::failed("disk full"));
}

TEST_F(ExportControllerTest, CancellingEitherDialogWritesNothing) {
    EXPECT_EQ(run(ExportOperation::everyBreakdown), Outcome::cancelled());
    EXPECT_EQ(run(ExportOperation::projectCSV), Outcome::cancelled());
    dialogs.file = "";
    EXPECT_EQ(run(ExportOperation::projectCSV), Outcome::cancelled());
    EXPECT_TRUE(writer.names.empty());
    EXPECT_EQ(Outcome::cancelled().message(), std::nullopt);

    // Without a period label both dialogs name "the selected period".
    options.periodLabel.reset();
    run(ExportOperation::everyBreakdown);
    EXPECT_EQ(dialogs.message, "Every breakdown for the selected period, one CSV per axis, plus "
                               "the provenance document.");
    run(ExportOperation::projectCSV);
    EXPECT_EQ(dialogs.message, "The project breakdown for the selected period.");
}

TEST_F(ExportControllerTest, CopySummaryCountsUserPerceivedCharacters) {
    const Outcome outcome = run(ExportOperation::copySummary);
    ASSERT_EQ(clipboard.text, Exporter::clipboardSummary(report, options));
    // "é" as one scalar and the family emoji (five scalars, eight UTF-16 units) are one
    // character each.
    const auto characters = static_cast<std::int64_t>(text::characterCount(clipboard.text));
    EXPECT_EQ(outcome, Outcome::copied(characters));
    const auto utf16 = QString::fromStdString(clipboard.text).size();
    EXPECT_LT(characters, utf16 - 6);
    EXPECT_EQ(outcome.message(), "Summary copied — " + std::to_string(characters) + " characters");
    EXPECT_EQ(Outcome::copied(1).message(), "Summary copied — 1 characters");

    // A refused text fails, and the clipboard keeps what it held.
    clipboard.accepts = false;
    clipboard.text = "what the user had";
    const Outcome refused = run(ExportOperation::copySummary);
    EXPECT_EQ(refused.message(), "Export failed: the clipboard refused the text");
    EXPECT_EQ(clipboard.text, "what the user had");
}

TEST_F(ExportControllerTest, OptionsNameTheReportsOwnRange) {
    const DateRange march{LocalDay::fromYMD(2026, 3, 1), LocalDay::fromYMD(2026, 3, 31)};
    const auto o = ExportController::options(march, {}, calendar, now);
    EXPECT_EQ(o.periodLabel, "March 2026");
    EXPECT_EQ(o.from, march.from);
    EXPECT_EQ(o.to, march.through);
    EXPECT_EQ(o.generatedAt, now);
    EXPECT_EQ(o.calendar, calendar);
    EXPECT_FALSE(o.limitPerAxis.has_value());
    EXPECT_FALSE(o.byteOrderMark);
    EXPECT_EQ(o.summaryAxes,
              (std::vector<Exporter::Axis>{Exporter::Axis::project, Exporter::Axis::agent,
                                           Exporter::Axis::model}));
    EXPECT_EQ(o.summaryRowLimit, 10);
    EXPECT_EQ(Exporter::suggestedFileName(Exporter::Document::provenance(), o),
              "vantery-provenance-march-2026.csv");
}

TEST_F(ExportControllerTest, ExportsWaitForAReportOfTheCurrentSelectionWithRequests) {
    const RangeSelection custom(RangePreset::custom, calendar.instantOf(range.from, 12, 0, 0),
                                calendar.instantOf(range.through, 12, 0, 0), now, calendar);
    const RangeSelection other(RangePreset::last7Days, std::nullopt, std::nullopt, now, calendar);
    const std::optional<DateRange> published = range;
    const std::optional<RangeSelection> publishedFor = custom;
    // A refresh recomputing the same selection leaves its report valid: no wait.
    EXPECT_EQ(exportsUnavailable({report, published, publishedFor, custom}), std::nullopt);
    EXPECT_EQ(exportsUnavailable({report, published, publishedFor, other}),
              "Waiting for the new range to be computed");
    EXPECT_EQ(exportsUnavailable({report, std::nullopt, std::nullopt, custom}),
              "Waiting for the selected range to be computed");
    const Report empty;
    EXPECT_EQ(exportsUnavailable({empty, published, publishedFor, custom}),
              "Nothing to export: no request in " + range.title());
}

TEST(AtomicFileWriter, ReplacesTheTargetInsteadOfRewritingIt) {
    QTemporaryDir temp;
    const QString target = temp.filePath("out.csv");
    const QString witness = temp.filePath("witness");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("an older, longer content\n");
    }
    // A second name for the old file: written in place, it would change too.
    ASSERT_EQ(::link(QFile::encodeName(target).constData(), QFile::encodeName(witness).constData()),
              0);

    AtomicFileWriter writer;
    EXPECT_EQ(writer.write(target.toStdString(), "new\n"), std::nullopt);
    EXPECT_EQ(readFile(target), "new\n");
    EXPECT_EQ(readFile(witness), "an older, longer content\n");
    EXPECT_EQ(filesIn(temp.path()), (QStringList{"out.csv", "witness"}));
}

TEST(AtomicFileWriter, AFailureNamesTheFileAndLeavesNothing) {
    QTemporaryDir temp;
    AtomicFileWriter writer;
    const auto missingFolder = writer.write(temp.filePath("gone/out.csv").toStdString(), "x");
    ASSERT_TRUE(missingFolder.has_value());
    EXPECT_EQ(missingFolder->rfind("could not write out.csv (", 0), 0u) << *missingFolder;

    ASSERT_TRUE(QDir(temp.path()).mkdir("taken.csv"));
    EXPECT_TRUE(writer.write(temp.filePath("taken.csv").toStdString(), "x").has_value());
    EXPECT_TRUE(QFileInfo(temp.filePath("taken.csv")).isDir());
    EXPECT_TRUE(filesIn(temp.path()).isEmpty());
}
