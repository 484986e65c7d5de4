// The provenance document: golden texts for a fixed report and for a report from a
// scan that read nothing, the period rules, the per-file lines and the read-back.
#include <gtest/gtest.h>

#include <memory>

#include "CsvReader.hpp"
#include "ExportSample.hpp"
#include "Golden.hpp"
#include "export/ExportParts.hpp"
#include "vantery/export/Exporter.hpp"

using namespace vantery;
using vantery::testing::matchesGolden;
using vantery::testing::parseCsv;
using vantery::testing::sampleOptions;

namespace {

const detail::ExportParts::ProvenanceLine*
find(const std::vector<detail::ExportParts::ProvenanceLine>& lines, std::string_view item) {
    for (const auto& l : lines)
        if (l.item == item) return &l;
    return nullptr;
}

std::vector<detail::ExportParts::ProvenanceLine> lines(const Report& r,
                                                       const Exporter::Options& o) {
    return detail::ExportParts::provenanceLines(r, o, detail::ExportParts::Stamps(o.calendar));
}

const std::string U = "unknown — no source file was read, so this counter was never populated";

} // namespace

TEST(ExportProvenance, GoldenForTheSampleReport) {
    std::string csv = Exporter::provenanceCSV(vantery::testing::sampleReport(), sampleOptions());
    EXPECT_TRUE(matchesGolden(csv, "export/provenance.csv"));
}

TEST(ExportProvenance, GoldenForAScanThatReadNothing) {
    auto options = Exporter::Options{.generatedAt = vantery::testing::sampleGeneratedAt(),
                                     .calendar = vantery::testing::sampleCalendar(),
                                     .byteOrderMark = true};
    std::string csv = Exporter::provenanceCSV(Report{}, options);
    EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_TRUE(matchesGolden(csv, "export/provenance-empty.csv"));

    auto ls = lines(Report{}, options);
    for (auto item : {"requests", "files_scanned", "bytes_read", "usage_lines_seen",
                      "unique_requests", "scan_duration_seconds", "lines_rejected_invalid_json",
                      "lines_rejected_total", "unreadable_files", "longest_line_bytes"}) {
        ASSERT_TRUE(find(ls, item)) << item;
        EXPECT_EQ(find(ls, item)->value, U) << item;
    }
    for (auto item : {"total_tokens", "active_days", "cache_write_assumed_requests",
                      "web_fetch_requests", "unpriced_requests"})
        EXPECT_EQ(find(ls, item)->value, "0") << item;
    EXPECT_EQ(find(ls, "period")->value,
              "unknown — the caller named no period and the report holds no dated request");
    EXPECT_FALSE(find(ls, "requests_seen_in_files"));
    EXPECT_EQ(find(ls, "project_labels")->value,
              "unknown — the report carries no label provenance");
}

TEST(ExportProvenance, ReadsBackLineForLine) {
    auto report = vantery::testing::sampleReport();
    auto options = sampleOptions();
    auto parsed = parseCsv(Exporter::provenanceCSV(report, options));
    ASSERT_TRUE(parsed.has_value());
    auto ls = lines(report, options);
    ASSERT_EQ(parsed->size(), ls.size() + 1);
    EXPECT_EQ((*parsed)[0], (std::vector<std::string>{"section", "item", "value", "note"}));
    for (std::size_t i = 0; i < ls.size(); ++i) {
        const auto& row = (*parsed)[i + 1];
        ASSERT_EQ(row.size(), 4u);
        EXPECT_EQ(row[0], ls[i].section);
        // None of the sample's provenance texts starts with a guarded character.
        EXPECT_EQ(row[1], ls[i].item);
        EXPECT_EQ(row[2], ls[i].value);
        EXPECT_EQ(row[3], ls[i].note);
    }
    // Sections come in their fixed order.
    const std::vector<std::string> order = {"report", "figure",      "scan",
                                            "home",   "source file", "unification",
                                            "loss",   "assumption",  "attribution"};
    std::size_t at = 0;
    for (const auto& l : ls) {
        while (at < order.size() && order[at] != l.section)
            ++at;
        ASSERT_LT(at, order.size()) << "section " << l.section << " out of order";
    }
}

TEST(ExportProvenance, PeriodDescription) {
    auto report = vantery::testing::sampleReport();
    auto options = sampleOptions();
    detail::ExportParts::Stamps stamps(options.calendar);
    EXPECT_EQ(detail::ExportParts::periodDescription(report, options, stamps),
              "2026-03-09 to 2026-03-10");
    options.periodLabel = "";
    EXPECT_EQ(detail::ExportParts::periodDescription(report, options, stamps),
              "2026-03-09 to 2026-03-10");
    options.periodLabel = "Sprint 4";
    EXPECT_EQ(detail::ExportParts::periodDescription(report, options, stamps), "Sprint 4");
    options.periodLabel.reset();
    options.to.reset();
    EXPECT_EQ(detail::ExportParts::periodDescription(report, options, stamps),
              "2026-03-09 to 2026-03-10 (derived from the data, not from a selected period)");
    options.from.reset();
    EXPECT_EQ(detail::ExportParts::periodDescription(Report{}, options, stamps),
              "unknown — the caller named no period and the report holds no dated request");
}

TEST(ExportProvenance, SourceFilesOutsideThePeriodOrFilteredOut) {
    auto report = vantery::testing::sampleReport();
    auto options = sampleOptions();
    options.from = options.to = LocalDay::fromYMD(2026, 2, 1);
    auto ls = detail::ExportParts::sourceFileLines(report, options);
    ASSERT_EQ(ls.size(), 4u);
    EXPECT_EQ(ls[0].item, "files_contributing");
    EXPECT_EQ(ls[0].value, "0");
    EXPECT_EQ(ls[0].note, "out of 6 files known to the cache");
    EXPECT_EQ(ls[1].value, "0");
    EXPECT_EQ(ls[3].item, "requests_in_more_than_one_file");
    EXPECT_EQ(ls[3].value, "0");
    EXPECT_EQ(ls[3].note, "no request appears twice across files");

    // A filter keeps the sub-agents' requests only: the resumed file still repeats R4.
    options = sampleOptions();
    options.recordFilter = [](const RequestRow& r) { return r.agent != 0; }; // 0: main session
    ls = detail::ExportParts::sourceFileLines(report, options);
    ASSERT_TRUE(find(ls, "files_contributing"));
    EXPECT_EQ(find(ls, "files_contributing")->value, "4");
    EXPECT_EQ(find(ls, "requests_seen_in_files")->value, "5"); // R2, R3, R4, R6, R7
    EXPECT_EQ(find(ls, "requests_in_more_than_one_file")->value, "1");
    EXPECT_FALSE(find(ls, "/srv/yahoo/s3.jsonl")); // R5 is the main session's
    const auto* shop = find(ls, "/home/ana/.claude/projects/shop/s1.jsonl");
    ASSERT_TRUE(shop);
    EXPECT_EQ(shop->value, "0.031250");
    EXPECT_EQ(shop->note, "1 request in range · 6 usage lines in the whole file");

    options.sourceFiles.clear();
    ls = detail::ExportParts::sourceFileLines(report, options);
    ASSERT_EQ(ls.size(), 1u);
    EXPECT_EQ(ls[0].item, "file_list");
}

TEST(ExportProvenance, HomeAndAttributionLines) {
    Report r;
    UsageRecord rec;
    rec.model = "claude-haiku-4-5";
    rec.output = 1000; // 0.005
    rec.sourceHome = ".claude";
    r.bySource[".claude"].add(rec, LocalDay::fromYMD(2026, 3, 1));
    r.diagnostics.filesScanned = 1;
    r.diagnostics.perHome[".claude"] = 1;
    r.diagnostics.perHome[".claude-idle"] = 4; // no requests in range: no home line
    auto ls = lines(r, sampleOptions());
    const auto* home = find(ls, ".claude");
    ASSERT_TRUE(home);
    EXPECT_EQ(home->section, "home");
    EXPECT_EQ(home->value, "0.005000");
    EXPECT_EQ(home->note, "1 transcript file · 1 request in range");
    EXPECT_FALSE(find(ls, ".claude-idle"));

    r.projectProvenance["a"] = {"rawFallback", "worktreeFolded"};
    r.projectProvenance["b"] = {"rawFallback"};
    auto attr = detail::ExportParts::attributionLines(r);
    ASSERT_EQ(attr.size(), 2u);
    EXPECT_EQ(attr[0].item, "project_labels_rawFallback");
    EXPECT_EQ(attr[0].value, "2");
    EXPECT_EQ(attr[1].item, "project_labels_worktreeFolded");
    EXPECT_EQ(attr[1].value, "1");
    r.projectProvenance = {{"a", {}}};
    EXPECT_TRUE(detail::ExportParts::attributionLines(r).empty());

    EXPECT_EQ(detail::ExportParts::plural(1, "file", "files"), "1 file");
    EXPECT_EQ(detail::ExportParts::plural(-1, "file", "files"), "-1 file");
    EXPECT_EQ(detail::ExportParts::plural(0, "file", "files"), "0 files");
    EXPECT_EQ(detail::ExportParts::plural(12345, "file", "files"), "12345 files");
}
