// The plain-text summary: golden layouts, widths in user-perceived characters, the
// "more rows" lines, and the human number formats.
#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "ExportSample.hpp"
#include "Golden.hpp"
#include "StrayControls.hpp"
#include "export/ExportParts.hpp"
#include "vantery/base/Text.hpp"
#include "vantery/export/Exporter.hpp"

using namespace vantery;
using vantery::testing::bucketWith;
using vantery::testing::matchesGolden;

namespace {

using Axis = Exporter::Axis;

Exporter::Options summaryOptions(std::int64_t limit) {
    auto options = vantery::testing::sampleOptions();
    options.periodLabel = "Client A, m\u00e4rz \u2014 \u65e5\u672c";
    options.summaryAxes = {Axis::agent, Axis::project, Axis::model, Axis::day, Axis::hour};
    options.summaryRowLimit = limit;
    return options;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

// The block of lines under a title, up to the next empty line.
std::vector<std::string> block(const std::string& text, std::string_view title) {
    auto all = linesOf(text);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] != title) continue;
        for (std::size_t j = i + 1; j < all.size() && !all[j].empty(); ++j)
            out.push_back(all[j]);
    }
    return out;
}

} // namespace

TEST(ExportSummary, GoldenForTheSampleReport) {
    std::string text =
        Exporter::clipboardSummary(vantery::testing::sampleReport(), summaryOptions(3));
    EXPECT_TRUE(matchesGolden(text, "export/summary.txt"));
}

TEST(ExportSummary, GoldenForAScanThatReadNothing) {
    auto options = summaryOptions(3);
    options.periodLabel.reset();
    options.from.reset();
    options.sourceFiles.clear();
    std::string text = Exporter::clipboardSummary(Report{}, options);
    EXPECT_TRUE(matchesGolden(text, "export/summary-empty.txt"));
    EXPECT_EQ(text.find("BY "), std::string::npos) << "no axis block without rows";

    Report scanned;
    scanned.diagnostics.filesScanned = 3;
    auto lines = linesOf(Exporter::clipboardSummary(scanned, options));
    ASSERT_GT(lines.size(), 6u);
    EXPECT_EQ(lines[5], "TOTAL      unknown — no request in range");
    EXPECT_EQ(lines[6], "           no request falls in the selected range");
}

TEST(ExportSummary, RowsLineUpInCharactersNotBytes) {
    auto report = vantery::testing::sampleReport();
    report.byProject.erase("=\u0301SUM(A1)\nsecond line"); // a label that breaks its line
    std::string text = Exporter::clipboardSummary(report, summaryOptions(10));
    for (auto title : {"BY AGENT", "BY PROJECT", "BY MODEL", "BY DAY", "BY HOUR"}) {
        auto rows = block(text, title);
        ASSERT_FALSE(rows.empty()) << title;
        for (const auto& row : rows) {
            // Two blanks, 38 characters of label, two blanks, then the cost.
            auto rest = text::dropCharacters(row, 42);
            EXPECT_EQ(text::prefixCharacters(row, 2), "  ") << row;
            EXPECT_EQ(text::prefixCharacters(text::dropCharacters(row, 40), 2), "  ") << row;
            EXPECT_TRUE(rest.substr(0, 1) == "$" || rest.substr(0, 5) == "\u2265 $" ||
                        rest.substr(0, 7) == "unknown")
                << row;
        }
    }
    // A 50-character label is cut to its first 38; the decomposed é counts as one.
    EXPECT_NE(text.find("  ~/a-very-long-project-name-that-goes-o  $0.01  ·  "), std::string::npos);
    EXPECT_NE(text.find("  re\u0301dacteur" + std::string(29, ' ') + "  $0.01  ·  "),
              std::string::npos);
    EXPECT_EQ(text.find("more row"), std::string::npos);
}

TEST(ExportSummary, MoreRowsLines) {
    auto report = vantery::testing::sampleReport();
    auto text = Exporter::clipboardSummary(report, summaryOptions(3));
    auto agents = block(text, "BY AGENT"); // four agents
    ASSERT_EQ(agents.size(), 4u);
    EXPECT_EQ(agents[3], "  (1 more row — the CSV export has all of them)");
    auto models = block(text, "BY MODEL"); // five models
    ASSERT_EQ(models.size(), 4u);
    EXPECT_EQ(models[3], "  (2 more rows — the CSV export has all of them)");
    auto days = block(text, "BY DAY"); // two days: no extra line
    EXPECT_EQ(days.size(), 2u);

    text = Exporter::clipboardSummary(report, summaryOptions(0));
    EXPECT_EQ(block(text, "BY HOUR"),
              std::vector<std::string>{"  (7 more rows — the CSV export has all of them)"});
    text = Exporter::clipboardSummary(report, summaryOptions(-1)); // taken as 0
    EXPECT_EQ(block(text, "BY DAY"),
              std::vector<std::string>{"  (2 more rows — the CSV export has all of them)"});
}

TEST(ExportSummary, ProvenanceBlockLeavesOutTheHeaderFacts) {
    auto text = Exporter::clipboardSummary(vantery::testing::sampleReport(), summaryOptions(3));
    auto prov = block(text, "PROVENANCE");
    ASSERT_FALSE(prov.empty());
    for (const auto& l : prov) {
        EXPECT_EQ(l.find("generated_at"), std::string::npos);
        EXPECT_EQ(l.find("disclaimer"), std::string::npos);
    }
    // An empty note ends the line at its value.
    EXPECT_NE(
        std::find(prov.begin(), prov.end(), "  total_tokens" + std::string(22, ' ') + "  19580"),
        prov.end());
    auto all = linesOf(text);
    EXPECT_EQ(all.back(), "— Estimate from usage \u00d7 list API prices. Not a bill.");
    EXPECT_EQ(text.back(), '\n');
}

// Names from the transcripts hold whatever a folder or a model id can: a pasted summary
// must not stop at a NUL, break a line, carry hidden text nor have its own words
// reversed by an override.
TEST(ExportSummary, NamesCarryNoControlOrDirectionCharacter) {
    using namespace std::string_literals;
    auto report = vantery::testing::sampleReport();
    // Tag characters spell text a reader never sees; U+2028 breaks the line.
    const std::string evil = "ev\u202Eil\0p\u200Br\uFEFFo\U000E0041\U000E007F\u2028j"s,
                      hebrew = "\u05E9\u05DC\u05D5\u05DD";
    report.byProject[evil] = bucketWith(1, 9000, 0);
    report.byProject[hebrew] = bucketWith(1, 0.01, 0);
    report.byModel["m\0od\u202Eel"s] = bucketWith(1, 0, 1, {"m\0od\u202Eel"s, hebrew});
    report.total.cost.unpricedModels = {"m\0od\u202Eel"s, hebrew};
    report.total.cost.unpricedRequests = 2;
    report.bySource["\u202Ehome\0"s] = bucketWith(1, 1, 0);
    report.diagnostics.filesUnreadable.push_back("/h/\u202Ebad\0.jsonl"s);
    report.diagnostics.longestLinePath = "/h/" + hebrew + "\x1B[2J.jsonl";
    auto options = summaryOptions(10);
    options.sourceFiles.back().path = "/h/p/\u202Elsonj.jsonl"; // one that contributes

    const std::string text = Exporter::clipboardSummary(report, options);
    EXPECT_EQ(vantery::testing::strayControl(text), "");
    // Only the controls go: the rest of each name stays, and a right-to-left name is
    // isolated without moving the cost column.
    EXPECT_NE(text.find("  evilproj" + std::string(30, ' ') + "  $9,000.00  \u00b7  "),
              std::string::npos);
    EXPECT_NE(text.find("  \u2068" + hebrew + "\u2069" + std::string(34, ' ') + "  $0.01  "),
              std::string::npos);
    EXPECT_NE(text.find("no known price for: model; \u2068" + hebrew + "\u2069"),
              std::string::npos);
    EXPECT_NE(text.find("/h/bad.jsonl"), std::string::npos);
    EXPECT_NE(text.find("/h/p/lsonj.jsonl"), std::string::npos);
}

TEST(ExportSummary, HumanFormats) {
    EXPECT_EQ(detail::ExportParts::humanCost(Bucket{}), "unknown — no request in range");
    EXPECT_EQ(detail::ExportParts::humanCost(bucketWith(3, 0.0, 3, {"zeta", "alpha"})),
              "unknown — no known price for alpha, zeta");
    EXPECT_EQ(detail::ExportParts::humanCost(bucketWith(3, 1234.5, 0)), "$1,234.50");
    EXPECT_EQ(detail::ExportParts::humanCost(bucketWith(3, 0.0, 0)), "$0.00");
    EXPECT_EQ(detail::ExportParts::humanCost(bucketWith(3, 12.5, 2, {"b", "a"})),
              "\u2265 $12.50 [2 requests with no known price (a, b) are not included]");

    detail::ExportParts::Stamps stamps(Calendar::utc());
    EXPECT_EQ(detail::ExportParts::span(Bucket{}, stamps),
              "unknown — the report holds no dated request");
    Bucket b;
    b.firstActivity = 0;
    b.lastActivity = 86399.5;
    EXPECT_EQ(detail::ExportParts::span(b, stamps), "1970-01-01T00:00:00Z to 1970-01-01T23:59:59Z");
}
